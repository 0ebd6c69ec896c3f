// Pure functions that read best as tables of inputs and outputs; what the
// commands make of them is in the golden files of tests/e2e.
#include <nlohmann/json.hpp>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "app/dispatch.h"
#include "base/numbers.h"
#include "harness.h"
#include "output/errors.h"
#include "output/format.h"
#include "output/json.h"
#include "texts/near_names.h"

namespace {

using Tables = SimTest;

const WCHAR* w(const std::u16string& text) { return reinterpret_cast<const WCHAR*>(text.c_str()); }

// A format that is not a literal, so that each row can pass what it likes.
// The length returned is the whole result's, whatever the room.
template <typename... Args>
std::string formatted(size_t room, const char* format, Args... args) {
    char out[64];
    size_t length = format_text(out, room, format, args...);
    EXPECT_EQ(length, format_text(nullptr, 0, format, args...)) << format;
    EXPECT_EQ(length >= room ? room - 1 : length, strlen(out)) << format;
    return out;
}

TEST_F(Tables, FormatText) {
    EXPECT_EQ(formatted(64, "%d|%d|%d|%u", 5, -5, 0, 4294967295u), "5|-5|0|4294967295");
    EXPECT_EQ(formatted(64, "[%4d|%04d|%04d|%4d|%2d]", 42, 42, -42, -7, 12345), "[  42|0042|-042|  -7|12345]");
    EXPECT_EQ(formatted(64, "%x|%04x|%x|%2x", 255u, 255u, 0u, 0xabcdefu), "ff|00ff|0|abcdef");
    EXPECT_EQ(formatted(64, "[%10u|%012x|%9d|%09u]", 5u, 255u, 7, 8u), "[         5|0000000000ff|        7|000000008]");
    // The l is read as a long, 64-bit on Linux.
    EXPECT_EQ(formatted(64, "%lu|%ld", 4294967301UL, -4294967301L), "4294967301|-4294967301");
    EXPECT_EQ(formatted(64, "%llu|%lld", 18446744073709551615ULL, -9223372036854775807LL - 1),
              "18446744073709551615|-9223372036854775808");
    EXPECT_EQ(formatted(64, "%s|%s|100%%", "abc", static_cast<const char*>(nullptr)), "abc||100%");
    // Cut to the room, the NUL included; a conversion it does not know ends the text.
    EXPECT_EQ(formatted(5, "%s", "abcdefgh"), "abcd");
    EXPECT_EQ(formatted(4, "%d", 12345), "123");
    EXPECT_EQ(formatted(1, "%s", "abc"), "");
    EXPECT_EQ(formatted(64, "ab%qcd%d", 1), "ab");

    TextBuffer buffer = {};
    append(&buffer, "<");
    append_format(&buffer, "%s|%d", std::string(3000, 'z').c_str(), 5);  // whole, however long
    EXPECT_EQ(std::string(buffer.data, buffer.length), "<" + std::string(3000, 'z') + "|5");
    EXPECT_EQ(buffer.data[buffer.length], 0);
    free(buffer.data);

    // The program's texts in 1251 become UTF-8; UTF-8 beside them, cut short
    // or not, stays as it is. (This file is compiled in UTF-8.)
    struct Row {
        const char* format;
        const char* argument;
        const char* expected;
    } rows[] = {
        {"\xce\xf8\xe8\xe1\xea\xe0 \xab%s\xbb \x97 \xb9", "Принтер", "Ошибка «Принтер» — №"},
        {"%s\xb8\x98\x96", "ё→", "ё→ё→–"},
        {"%s\xc0", "\xd0", "РА"},  // a lead without its continuation is a letter
        {"%s", "\xe0\xa4\x85\xf0\x9f\x98\x80", "\xe0\xa4\x85😀"},
        {"%s", "\xe2\x82\xac\xf0\x9f\x98\x80", "€😀"},
    };
    for (const Row& row : rows) {
        TextBuffer decoded = {};
        append_format(&decoded, row.format, row.argument);
        EXPECT_EQ(std::string(decoded.data, decoded.length), row.expected) << row.expected;
        free(decoded.data);
    }
    TextBuffer appended = {};
    append(&appended, "\xcd\xe5\xf2 \x98 ");
    append(&appended, "Да");
    EXPECT_EQ(std::string(appended.data, appended.length), "Нет → Да");
    free(appended.data);
}

std::string json_of(const WCHAR* text) {
    TextBuffer buffer = {};
    append_json_string(&buffer, text);
    std::string json(buffer.data, buffer.length);
    free(buffer.data);
    return json;
}

TEST_F(Tables, JsonEscapesEveryByteClass) {
    std::u16string units;
    for (char16_t c = 1; c < 0x80; ++c) units.push_back(c);
    units += u"Касса «XP-58» — ок";
    EXPECT_EQ(json_of(w(units)),
              "\"\\u0001\\u0002\\u0003\\u0004\\u0005\\u0006\\u0007\\u0008\\t\\n\\u000b\\u000c\\r\\u000e\\u000f"
              "\\u0010\\u0011\\u0012\\u0013\\u0014\\u0015\\u0016\\u0017\\u0018\\u0019\\u001a\\u001b\\u001c\\u001d"
              "\\u001e\\u001f !\\\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\\\]^_`"
              "abcdefghijklmnopqrstuvwxyz{|}~\x7f"
              "Касса «XP-58» — ок\"");
    EXPECT_EQ(nlohmann::json::parse(json_of(w(units))).get<std::string>(), sim::utf16_to_utf8(units));
    // A lone surrogate becomes U+FFFD; a pair stays one character.
    const char16_t lone[] = {u'A', 0xD800, u'B', 0xDC00, 0xD83D, 0xDE00, 0};
    EXPECT_EQ(json_of(reinterpret_cast<const WCHAR*>(lone)), "\"A\xEF\xBF\xBD" "B\xEF\xBF\xBD\xF0\x9F\x98\x80\"");
    EXPECT_EQ(json_of(nullptr), "\"\"");
}

TEST_F(Tables, Win32MessageTrimsTheEndAndLeavesTheLastErrorAlone) {
    struct Row {
        DWORD code;
        const char16_t* text;  // null: the built-in text, or none
        const char* trimmed;   // win32_message
        const char* line;      // win32_message_line
    };
    const Row rows[] = {
        {1801, nullptr, "The printer name is invalid", "The printer name is invalid."},
        {70000, u"Ends with a dot and blank. ", "Ends with a dot and blank", "Ends with a dot and blank. "},
        {70001, u"Tab stops it.\t\r\n", "Tab stops it.\t", "Tab stops it.\t"},
        {70002, u"...\r\n", "", "..."},
        {70003, u"Принтер. Не найден.\r\n\r\n", "Принтер. Не найден", "Принтер. Не найден."},
        {99999, nullptr, "", ""},
    };
    for (const Row& row : rows) {
        if (row.text != nullptr) sim::computer().messages[row.code] = row.text;
        SetLastError(0xdeadbeef);  // FormatMessageW sets its own error when it finds no text
        char* trimmed = win32_message(row.code);
        char* line = win32_message_line(row.code);
        EXPECT_STREQ(trimmed, row.trimmed) << row.code;
        EXPECT_STREQ(line, row.line) << row.code;
        EXPECT_EQ(GetLastError(), 0xdeadbeefu) << row.code;
        free(trimmed);
        free(line);
    }
}

// What the command line takes as a number, and its value: any other text is
// refused (BAD_NUMBER), never taken for 0 or its leading digits.
TEST_F(Tables, Numbers) {
    struct Row {
        const char16_t* text;
        bool number;
        unsigned long long value;  // when a number
    };
    const unsigned long long kLargest = 18446744073709551615ULL;
    const Row rows[] = {
        {u"45", true, 45}, {u"007", true, 7}, {u"0", true, 0}, {u"18446744073709551615", true, kLargest},
        {u"18446744073709551616", true, kLargest}, {u"18446744073709551609", true, 18446744073709551609ULL},
        {u"99999999999999999999999", true, kLargest},
        {u"", false, 0}, {u"+5", false, 0}, {u"-5", false, 0}, {u" 5", false, 0}, {u"5 ", false, 0},
        {u"0x10", false, 0}, {u"1e3", false, 0}, {u"25s", false, 0}, {u"1,5", false, 0},
        {u"\uff15", false, 0},  // a fullwidth 5 is no ASCII digit
    };
    for (const Row& row : rows) {
        std::u16string text = row.text;
        WCHAR* argv[] = {nullptr, nullptr, const_cast<WCHAR*>(w(text))};
        EXPECT_EQ(is_number(argv[2]), row.number) << sim::utf16_to_utf8(text);
        if (row.number) {
            EXPECT_EQ(parse_number(3, argv, 2, L"20"), row.value) << sim::utf16_to_utf8(text);
        }
    }
    WCHAR empty[] = {0};
    WCHAR* argv[] = {nullptr, nullptr, empty};
    EXPECT_EQ(parse_number(3, argv, 2, L"20"), 20u);  // empty: the default
    EXPECT_EQ(parse_number(2, argv, 2, L"20"), 20u);  // absent: the default

    // Ages and digits divided in 32-bit steps.
    const unsigned long long kNumbers[] = {0, 9, 10, 65535, 4294967295ULL, 4294967296ULL, 1771916707250ULL, kLargest};
    for (unsigned long long value : kNumbers) {
        for (unsigned divisor : {1u, 10u, 16u, 1000u, 10000u, 60000u, 65535u}) {
            unsigned remainder = 0;
            EXPECT_EQ(divide_small(value, divisor, &remainder), value / divisor) << value << " / " << divisor;
            EXPECT_EQ(remainder, value % divisor) << value << " % " << divisor;
        }
    }
}

TEST_F(Tables, NormalizeName) {
    struct Row {
        std::u16string name;
        std::u16string folded;
    };
    const Row rows[] = {
        {u"", u""},
        {u"\t (-)._", u""},
        {u"A\tB C(D)E-F.G_H", u"abcdefgh"},
        {u"A/B,C:D\u00A0E\\F\"G", u"a/b,c:d\u00A0e\\f\"g"},  // other punctuation and blanks are kept
        {u"\x01Q\rR\nS\x1b", u"\x01q\rr\ns\x1b"},
        {u"ӘҒҚҢӨҰҮҺІ ЁЖ ÀÉ", u"әғқңөұүһіёжàé"},
        {std::u16string(50, u'-') + std::u16string(300, u'B'), std::u16string(300, u'b')},  // whole, never cut
        {std::u16string(259, u'Я') + u"Z", std::u16string(259, u'я') + u"z"},
    };
    for (const Row& row : rows) {
        WCHAR* folded = normalized_name(w(row.name));
        EXPECT_EQ(u8(folded), sim::utf16_to_utf8(row.folded)) << sim::utf16_to_utf8(row.name);
        free(folded);
    }
}

}  // namespace
