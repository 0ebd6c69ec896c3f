// What the simulated Windows does where the program depends on it beyond the
// protocols of contracts_test.cpp: conversions and lower case, the clock,
// standard input, fault injection, the scenario loader's errors, a long queue's
// order after deletions and the timeline. What shows from outside (finding
// queues, what jobs receive, job numbers, driver pages) is e2e group "simulator".
#include <windows.h>
#include <winspool.h>

#include <algorithm>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/transcript.h"

namespace {

using namespace std::string_literals;
using namespace transcript;

// UTF-16 units in hexadecimal, so that replacements and controls show.
std::string codes(const WCHAR* units, int count) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += hex(std::string{static_cast<char>(units[i] >> 8), static_cast<char>(units[i])}) + " ";
    return text.substr(0, text.size() - 1);
}

std::string time_text(const SYSTEMTIME& t) {
    char text[64];
    snprintf(text, sizeof text, "%04u-%02u-%02u (day %u) %02u:%02u:%02u.%03u", t.wYear, t.wMonth, t.wDay, t.wDayOfWeek,
             t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
    return text;
}

// Each queue's jobs in order (id/status), its status/attributes, and the default printer.
std::string queues() {
    std::string text;
    for (const sim::Printer& printer : sim::computer().spooler.printers) {
        text += "  " + sim::utf16_to_utf8(printer.name) + ":";
        for (const sim::Job& job : printer.jobs)
            text += " " + std::to_string(job.id) + "/" + std::to_string(job.status);
        text += ", status " + std::to_string(printer.status) + "/" + std::to_string(printer.attributes) + "\n";
    }
    return text + "  default " + sim::utf16_to_utf8(sim::computer().spooler.default_printer.value_or(u"none")) + "\n";
}

using SimContract = SimTest;

TEST_F(SimContract, TextsAsWindowsConvertsThem) {
    std::string text;
    WCHAR wide[256];
    char bytes[16];
    std::string high;  // the ANSI code page's upper half
    for (int b = 0x80; b <= 0xFF; ++b) high.push_back(static_cast<char>(b));
    for (const std::string& given : {"A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"s, "\x80"s, "\xFF"s, "\xC0\xAF"s,
                                     "\xED\xA0\x80"s, "\xE2\x82\x41"s, "\xF4\x90\x80\x80"s, high}) {
        UINT code_page = given == high ? CP_ACP : CP_UTF8;
        int n = MultiByteToWideChar(code_page, 0, given.data(), static_cast<int>(given.size()), wide, 256);
        text += std::to_string(code_page) + ": " + hex(given) + "\n  " + codes(wide, n) + "\n";
    }
    STEP(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "\xFF", 1, nullptr, 0));
    for (const std::u16string& units : {u"\xD800x"s, u"\xDC00"s, u"\U0001F600"s}) {
        int n = WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<const WCHAR*>(units.data()),
                                    static_cast<int>(units.size()), bytes, 16, nullptr, nullptr);
        text += "UTF-16 " + codes(reinterpret_cast<const WCHAR*>(units.data()), static_cast<int>(units.size())) +
                " -> UTF-8 " + hex(std::string(bytes, static_cast<size_t>(n))) + "\n";
    }
    STEP(LCMapStringW(LOCALE_INVARIANT, LCMAP_LOWERCASE, L"ABCZ ÀÉÖØÞ × ЁЂЏ АЯ ӘҒҚҢӨҰҮҺІ Ӏ ŁŸ", -1, wide, 256));
    expect_golden(text + "  " + u8(wide) + "\n");
}

TEST_F(SimContract, TheClockMovesOnlyWithSleep) {
    sim::load_scenario(R"({"clock": {"utc": "2024-02-29T23:59:59.500Z", "utc_offset_minutes": 180,
                                     "tick_ms": 4294967000}})");
    std::string text;
    SYSTEMTIME now;
    FILETIME ft;
    auto filetime = [&] { return std::to_string(static_cast<ULONGLONG>(ft.dwHighDateTime) << 32 | ft.dwLowDateTime); };
    for (DWORD ms : {0u, 500u, 86400000u}) {
        Sleep(ms);
        GetLocalTime(&now);
        GetSystemTimeAsFileTime(&ft);
        text += "after Sleep(" + std::to_string(ms) + "): local " + time_text(now) + ", file time " + filetime() +
                ", tick " + std::to_string(GetTickCount()) + "\n";
    }
    // SystemTimeToFileTime checks every field but the day of the week.
    SYSTEMTIME times[] = {
        {1970, 1, 4, 1, 0, 0, 0, 0},  {2024, 2, 6, 29, 23, 59, 59, 999}, {1600, 12, 0, 31, 0, 0, 0, 0},
        {30828, 1, 0, 1, 0, 0, 0, 0}, {2025, 2, 0, 29, 0, 0, 0, 0},      {2024, 13, 0, 1, 0, 0, 0, 0},
        {2024, 4, 0, 31, 0, 0, 0, 0}, {2024, 1, 0, 0, 0, 0, 0, 0},       {2024, 1, 0, 1, 24, 0, 0, 0},
        {2024, 1, 0, 1, 0, 60, 0, 0}, {2024, 1, 0, 1, 0, 0, 60, 0},      {2024, 1, 0, 1, 0, 0, 0, 1000}};
    for (SYSTEMTIME& t : times) {
        ft = {};
        text += time_text(t) + ": ";
        STEP(SystemTimeToFileTime(&t, &ft));
        text += "  file time " + filetime() + "\n";
    }
    expect_golden(text);
}

TEST_F(SimContract, StandardInputIsAPipeOf64KiBPieces) {
    sim::load_scenario(R"({"stdin": {"hex": "00ff0d0a"}})");
    sim::computer().stdin_state.bytes += std::string(200000, 'x');
    std::string text, buffer(1 << 20, '\0');
    DWORD got = 0;
    for (DWORD wanted : {1u, 1u << 20, 1u << 20, 1u << 20, 1u << 20, 1u << 20}) {
        STEP(ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer.data(), wanted, &got, nullptr));
        text += "  " + std::to_string(got) + " of " + std::to_string(wanted) + (got > 0 ? ": " : "") +
                hex(buffer.substr(0, std::min<DWORD>(got, 4))) + "\n";
    }
    expect_golden(text);
}

// The loader's own calls (it reads the clock) count for no rule.
TEST_F(SimContract, FaultsFailTheNthCallOrEveryCallWithOrWithoutAnError) {
    sim::load_scenario(R"({"stdout": "console", "clock": {"utc": "2024-02-29T23:59:59.500Z"}, "faults": [
        {"function": "GetConsoleMode", "nth": 2, "error": 5}, {"function": "FlushFileBuffers"},
        {"function": "SystemTimeToFileTime", "nth": 1, "error": 87}]})");
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    SYSTEMTIME epoch = {1970, 1, 4, 1, 0, 0, 0, 0};
    FILETIME ft;
    std::string text;
    for (int call = 0; call < 3; ++call) {
        STEP(GetConsoleMode(out, &mode));
        STEP(FlushFileBuffers(out));
        STEP(SystemTimeToFileTime(&epoch, &ft));
    }
    expect_golden(text);
}

// Text is recorded with exactly the units given and the font selected then, and only on a page.
TEST_F(SimContract, ADriverPageRecordsWhatIsDrawnOnIt) {
    sim::load_scenario(R"({"spooler": {"printers": [{"name": "XP-58", "devcaps": {"LOGPIXELSY": 203}}]}})");
    HDC dc = CreateDCW(L"WINSPOOL", L"XP-58", nullptr, nullptr);
    HGDIOBJ font = CreateFontW(-39, 0, 0, 0, FW_BOLD, 0, 0, 0, 0, 0, 0, 0, 0, L"Arial"), stock = nullptr;
    DOCINFOW doc = {sizeof(DOCINFOW), L"Morvik test (driver)", nullptr, nullptr, 0};
    std::string text;
    STEP(GetDeviceCaps(dc, LOGPIXELSY));
    STEP(GetDeviceCaps(dc, HORZRES));  // not reported: the program must fall back
    STEP(StartDocW(dc, &doc));
    STEP(StartDocW(dc, &doc));
    STEP(TextOutW(dc, 1, 1, L"before the page", 15));
    STEP(StartPage(dc));
    STEP(stock = SelectObject(dc, font));
    STEP(TextOutW(dc, 28, 14, L"Morvik and more", 6));
    STEP(TextOutW(dc, 28, 68, L"Ә\0x", 3));
    STEP(SelectObject(dc, stock));
    STEP(TextOutW(dc, 0, 0, L"stock", 5));
    STEP(EndPage(dc));
    STEP(TextOutW(dc, 1, 1, L"after the page", 14));
    STEP(EndDoc(dc));
    STEP(CreateDCW(L"DISPLAY", L"XP-58", nullptr, nullptr));  // Windows ignores it; here a wrong driver name shows
    DeleteObject(font);
    DeleteDC(dc);
    expect_golden(text + sim::state_json());
}

// Each line of scenarios/bad.txt, and what loading it says.
TEST_F(SimContract, TheLoaderSaysWhatIsWrongWithAScenario) {
    std::string text, line;
    for (std::istringstream lines(file("scenarios/bad.txt")); std::getline(lines, line);) {
        try {
            sim::load_scenario(line);
            text += line + "\n  loads\n";
        } catch (const std::runtime_error& e) {
            text += line + "\n  " + e.what() + "\n";
        }
    }
    expect_golden(text);
}

// A purge deletes job after job from a long queue: the rest keep their order,
// and EnumJobsW's FirstJob and GetJobW's Position count the queue as it is.
TEST_F(SimContract, DeletionsKeepTheQueueInOrder) {
    sim::load_scenario(R"({"spooler": {"printers": [{"name": "XP-58"}]}})");
    sim::JobQueue& jobs = sim::computer().spooler.printers[0].jobs;
    for (DWORD id = 1; id <= 301; ++id) jobs.push_back(sim::Job{id <= 300 ? id : 6, u"", 0, u"", {}, 0});
    HANDLE printer = nullptr;
    OpenPrinterW(const_cast<LPWSTR>(L"XP-58"), &printer, nullptr);
    int refused = 0;
    for (DWORD id = 1; id <= 300; ++id) refused += id % 6 != 0 && !SetJobW(printer, id, 0, nullptr, JOB_CONTROL_DELETE);
    std::string text = "250 deleted, " + std::to_string(refused) + " refused\n";
    STEP(SetJobW(printer, 6, 0, nullptr, JOB_CONTROL_DELETE));  // the first of the two
    BYTE buffer[4096];
    DWORD needed = 0, returned = 0;
    const JOB_INFO_1W* listed = reinterpret_cast<const JOB_INFO_1W*>(buffer);
    STEP(EnumJobsW(printer, 48, 5, 1, buffer, sizeof buffer, &needed, &returned));
    for (DWORD i = 0; i < returned; ++i)
        text += "  " + std::to_string(listed[i].JobId) + " at " + std::to_string(listed[i].Position) + "\n";
    STEP(GetJobW(printer, 300, 1, buffer, sizeof buffer, &needed));
    text += "  300 at " + std::to_string(listed[0].Position) + "\n";
    ClosePrinter(printer);
    expect_golden(text + queues());
}

TEST_F(SimContract, TimelineEventsHappenAtTheFirstCallAtOrAfterTheirTime) {
    load("timeline");
    sim::Computer& pc = sim::computer();
    std::string text = "loaded\n" + queues();
    for (DWORD ms : {999u, 1u, 0u, 500u, 500u, 10000u}) {
        Sleep(ms);
        text += "Sleep(" + std::to_string(ms) + ")\n" + queues();
        size_t logged = pc.call_log.size();
        GetTickCount();
        text += "GetTickCount() at " + std::to_string(pc.clock.elapsed_ms) + " ms, " +
                std::to_string(pc.call_log.size() - logged) + " call logged\n" + queues();
        if (pc.clock.elapsed_ms == 2000) pc.spooler.printers[0].status = 0;  // each event once: this stays
    }
    text += "the job added at 1000 ms was submitted " +
            std::to_string(pc.spooler.printers[0].jobs[1].submitted.filetime - pc.clock.start_filetime) +
            " units after the start\n";
    sim::TimelineEvent offline;  // built in C++: due at the next call
    offline.at_ms = 12000;
    offline.printer = u"XP-58";
    offline.set_status = PRINTER_STATUS_OFFLINE;
    pc.timeline.push_back(offline);
    GetTickCount();
    expect_golden(text + "an event added in C++, then GetTickCount()\n" + queues());
}

}  // namespace
