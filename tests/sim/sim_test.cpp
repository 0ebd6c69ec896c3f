// The simulated Windows must keep the contracts of the real one, or tests
// against it prove nothing.
#include <windows.h>

#include <string>

#include "harness.h"

namespace {

using SimContract = SimTest;

std::u16string wide_of(const std::string& bytes, UINT code_page) {
    int n = MultiByteToWideChar(code_page, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::u16string out(static_cast<size_t>(n), u'\0');
    EXPECT_EQ(MultiByteToWideChar(code_page, 0, bytes.data(), static_cast<int>(bytes.size()),
                                  reinterpret_cast<LPWSTR>(out.data()), n),
              n);
    return out;
}

std::string bytes_of(const std::u16string& units, UINT code_page) {
    const WCHAR* text = reinterpret_cast<const WCHAR*>(units.data());
    int n = WideCharToMultiByte(code_page, 0, text, static_cast<int>(units.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    EXPECT_EQ(WideCharToMultiByte(code_page, 0, text, static_cast<int>(units.size()), out.data(), n, nullptr,
                                  nullptr),
              n);
    return out;
}

TEST_F(SimContract, Utf8DecodingReplacesEachIllFormedPiece) {
    EXPECT_EQ(wide_of("A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", CP_UTF8), u"A\u00e9\u20ac\U0001F600");
    EXPECT_EQ(wide_of("\x80", CP_UTF8), u"\uFFFD");
    EXPECT_EQ(wide_of("\xC0\xAF", CP_UTF8), u"\uFFFD\uFFFD");            // overlong
    EXPECT_EQ(wide_of("\xED\xA0\x80", CP_UTF8), u"\uFFFD\uFFFD\uFFFD");  // an encoded surrogate
    EXPECT_EQ(wide_of("\xE2\x82" "A", CP_UTF8), u"\uFFFD" u"A");         // cut short
    EXPECT_EQ(wide_of("\xF4\x90\x80\x80", CP_UTF8), u"\uFFFD\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(wide_of("\xFF", CP_UTF8), u"\uFFFD");
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "\xFF", 1, nullptr, 0), 0);
    EXPECT_EQ(GetLastError(), 1113u);
}

TEST_F(SimContract, Utf8EncodingReplacesLoneSurrogates) {
    EXPECT_EQ(bytes_of(u"\xD800x", CP_UTF8), "\xEF\xBF\xBDx");
    EXPECT_EQ(bytes_of(u"\xDC00", CP_UTF8), "\xEF\xBF\xBD");
    EXPECT_EQ(bytes_of(u"\U0001F600", CP_UTF8), "\xF0\x9F\x98\x80");
}

TEST_F(SimContract, SizingCallsAndTerminators) {
    // Length -1 counts the NUL; a room too small fails with ERROR_INSUFFICIENT_BUFFER.
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "Касса", -1, nullptr, 0), 6);
    WCHAR room[5];
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "Касса", -1, room, 5), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"Касса", -1, nullptr, 0, nullptr, nullptr), 11);
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "x", 0, nullptr, 0), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(SimContract, AnsiCodePageIs1251) {
    std::string all;
    for (int b = 0x80; b <= 0xFF; ++b) all.push_back(static_cast<char>(b));
    std::u16string wide = wide_of(all, CP_ACP);
    EXPECT_EQ(wide.substr(0, 4), u"\u0402\u0403\u201a\u0453");
    EXPECT_EQ(wide[0x98 - 0x80], 0x0098);
    EXPECT_EQ(wide[0xA8 - 0x80], u'Ё');
    EXPECT_EQ(wide[0xB9 - 0x80], u'№');
    EXPECT_EQ(wide.substr(0x40), u"АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдежзийклмнопрстуфхцчшщъыьэюя");
    EXPECT_EQ(bytes_of(wide, CP_ACP), all);  // and back, byte for byte
    BOOL used = FALSE;
    char out[8];
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, L"Ә1", 2, out, 8, nullptr, &used), 2);
    EXPECT_EQ(std::string(out, 2), "?1");
    EXPECT_TRUE(used);
}

TEST_F(SimContract, InvariantLowerCaseCoversKazakhAndLatin1) {
    std::u16string upper = u"ABCZ ÀÉÖØÞ × ЁЂЏ АЯ ӘҒҚҢӨҰҮҺІ Ӏ ŁŸ";
    std::u16string lower(upper.size() + 1, u'\0');
    int n = LCMapStringW(LOCALE_INVARIANT, LCMAP_LOWERCASE, reinterpret_cast<const WCHAR*>(upper.c_str()), -1,
                         reinterpret_cast<LPWSTR>(lower.data()), static_cast<int>(lower.size()));
    EXPECT_EQ(n, static_cast<int>(upper.size() + 1));
    lower.resize(upper.size());
    EXPECT_EQ(lower, u"abcz àéöøþ × ёђџ ая әғқңөұүһі ӏ łÿ");
}

TEST_F(SimContract, SystemTextsEndAsOnWindows) {
    for (DWORD code : {2u, 5u, 6u, 8u, 31u, 87u, 109u, 122u, 1168u, 1722u, 1801u, 1804u}) {
        WCHAR* text = nullptr;
        DWORD n = FormatMessageW(0x1300, nullptr, code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
        ASSERT_GT(n, 3u) << code;
        EXPECT_EQ(text[n - 3], L'.');
        EXPECT_EQ(text[n - 2], L'\r');
        EXPECT_EQ(text[n - 1], L'\n');
        EXPECT_EQ(text[n], 0);
        EXPECT_EQ(LocalFree(text), nullptr);
    }
    EXPECT_TRUE(sim::leaks().empty());
    WCHAR* leaked = nullptr;
    FormatMessageW(0x1300, nullptr, 5, 0, reinterpret_cast<LPWSTR>(&leaked), 0, nullptr);
    EXPECT_EQ(sim::leaks(), std::vector<std::string>{"local memory"});
    LocalFree(leaked);
}

TEST_F(SimContract, ClockMovesOnlyWithSleep) {
    sim::load_scenario(R"({"clock": {"utc": "2024-02-29T23:59:59.500Z", "utc_offset_minutes": 180,
                                     "tick_ms": 4294967000}})");
    SYSTEMTIME local;
    GetLocalTime(&local);
    EXPECT_EQ(local.wYear, 2024);
    EXPECT_EQ(local.wMonth, 3);
    EXPECT_EQ(local.wDay, 1);
    EXPECT_EQ(local.wHour, 2);
    EXPECT_EQ(local.wMinute, 59);
    EXPECT_EQ(local.wSecond, 59);
    EXPECT_EQ(local.wMilliseconds, 500);
    EXPECT_EQ(local.wDayOfWeek, 5);  // a Friday
    EXPECT_EQ(GetTickCount(), 4294967000u);
    Sleep(500);
    EXPECT_EQ(GetTickCount(), 204u);  // wrapped, as after 49.7 days of uptime
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    SYSTEMTIME utc = {2024, 3, 0, 1, 0, 0, 0, 0};
    FILETIME expected;
    ASSERT_TRUE(SystemTimeToFileTime(&utc, &expected));
    EXPECT_EQ(now.dwLowDateTime, expected.dwLowDateTime);
    EXPECT_EQ(now.dwHighDateTime, expected.dwHighDateTime);
}

TEST_F(SimContract, SystemTimeToFileTimeValidatesLikeWindows) {
    SYSTEMTIME epoch = {1970, 1, 4, 1, 0, 0, 0, 0};
    FILETIME ft;
    ASSERT_TRUE(SystemTimeToFileTime(&epoch, &ft));
    EXPECT_EQ((static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime, 116444736000000000ULL);
    SYSTEMTIME bad[] = {
        {1600, 12, 0, 31, 0, 0, 0, 0}, {2025, 2, 0, 29, 0, 0, 0, 0}, {2024, 13, 0, 1, 0, 0, 0, 0},
        {2024, 1, 0, 0, 0, 0, 0, 0},   {2024, 1, 0, 1, 24, 0, 0, 0}, {2024, 1, 0, 1, 0, 60, 0, 0},
        {2024, 1, 0, 1, 0, 0, 60, 0},  {2024, 1, 0, 1, 0, 0, 0, 1000},
    };
    for (const SYSTEMTIME& st : bad) {
        SetLastError(0);
        EXPECT_FALSE(SystemTimeToFileTime(&st, &ft));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    SYSTEMTIME leap = {2024, 2, 0, 29, 23, 59, 59, 999};
    EXPECT_TRUE(SystemTimeToFileTime(&leap, &ft));
}

TEST_F(SimContract, StandardInputIsAPipe) {
    sim::load_scenario(R"({"stdin": {"hex": "00ff0d0a"}})");
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    char bytes[8];
    DWORD got = 99;
    ASSERT_TRUE(ReadFile(in, bytes, sizeof bytes, &got, nullptr));
    EXPECT_EQ(std::string(bytes, got), std::string("\x00\xff\r\n", 4));
    SetLastError(0);
    EXPECT_FALSE(ReadFile(in, bytes, sizeof bytes, &got, nullptr));
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BROKEN_PIPE));

    sim::load_scenario(R"({"stdin": {"text": "AB", "then_error": 5}})");
    in = GetStdHandle(STD_INPUT_HANDLE);
    ASSERT_TRUE(ReadFile(in, bytes, 1, &got, nullptr));
    ASSERT_TRUE(ReadFile(in, bytes, 8, &got, nullptr));
    EXPECT_EQ(got, 1u);
    EXPECT_FALSE(ReadFile(in, bytes, 8, &got, nullptr));
    EXPECT_EQ(GetLastError(), 5u);
}

TEST_F(SimContract, LargeInputComesIn64KiBPieces) {
    sim::computer().stdin_state.bytes = std::string(200000, 'x');
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    std::string buffer(1 << 20, '\0');
    DWORD got = 0;
    ASSERT_TRUE(ReadFile(in, buffer.data(), 1 << 20, &got, nullptr));
    EXPECT_EQ(got, 65536u);
}

TEST_F(SimContract, TheNthCallFailsWithTheChosenError) {
    sim::computer().faults.push_back({"GetConsoleMode", 2, ERROR_ACCESS_DENIED});
    sim::computer().stdout_kind = sim::StdoutKind::console;
    DWORD mode;
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    EXPECT_TRUE(GetConsoleMode(out, &mode));
    EXPECT_FALSE(GetConsoleMode(out, &mode));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(GetConsoleMode(out, &mode));
}

TEST_F(SimContract, ScenarioErrorsAreReadable) {
    EXPECT_THROW(sim::load_scenario("{"), std::runtime_error);
    EXPECT_THROW(sim::load_scenario(R"({"stdout": "printer"})"), std::runtime_error);
    EXPECT_THROW(sim::load_scenario(R"({"stdin": {"hex": "0g"}})"), std::runtime_error);
    EXPECT_THROW(sim::load_scenario(R"({"clock": {"utc": "yesterday"}})"), std::runtime_error);
    EXPECT_NO_THROW(sim::load_scenario(R"({"future_key": {"anything": [1, 2]}})"));
}

}  // namespace
