#include "output/text_buffer.h"

#include "inventory/status_words.h"
#include "output/errors.h"
#include "output/json.h"

#include <nlohmann/json.hpp>
#include <stdlib.h>

#include <string>

#include "harness.h"

namespace {

class TextBufferTest : public SimTest {
protected:
    void TearDown() override { free(buffer.data); }
    std::string text() const { return buffer.data ? std::string(buffer.data, buffer.length) : std::string(); }
    TextBuffer buffer = {};
};

// Exit code when the code under test ends the process.
template <typename F>
int exit_code_of(F action) {
    try {
        action();
    } catch (const sim::ProcessExit& exit) {
        return static_cast<int>(exit.code);
    }
    return -1;
}

const StatusWord kTable[] = {
    {0x1, "paused", L"приостановлено"},
    {0x2, "error", L"ошибка"},
    {0x40, "paper_out", L"нет бумаги"},
    {0, nullptr, nullptr},
};

TEST_F(TextBufferTest, GrowsFrom1024ByDoubling) {
    append(&buffer, "x");
    EXPECT_EQ(buffer.capacity, 1024u);
    EXPECT_EQ(buffer.length, 1u);
    EXPECT_EQ(buffer.data[1], 0);

    TextBuffer exact = {};
    std::string k1024(1024, 'a');
    append(&exact, k1024.c_str());  // needs 1025 bytes with the NUL
    EXPECT_EQ(exact.capacity, 2048u);
    free(exact.data);

    TextBuffer large = {};
    append(&large, std::string(3000, 'b').c_str());
    EXPECT_EQ(large.capacity, 4096u);
    EXPECT_EQ(large.length, 3000u);
    free(large.data);

    TextBuffer growing = {};
    append(&growing, std::string(1000, 'c').c_str());
    EXPECT_EQ(growing.capacity, 1024u);
    append(&growing, std::string(100, 'd').c_str());
    EXPECT_EQ(growing.capacity, 2048u);
    EXPECT_EQ(growing.length, 1100u);
    EXPECT_EQ(std::string(growing.data, growing.length), std::string(1000, 'c') + std::string(100, 'd'));
    free(growing.data);
}

TEST_F(TextBufferTest, EmptyAppendAllocatesAndTerminates) {
    append(&buffer, "");
    ASSERT_NE(buffer.data, nullptr);
    EXPECT_EQ(buffer.capacity, 1024u);
    EXPECT_EQ(buffer.length, 0u);
    EXPECT_EQ(buffer.data[0], 0);
}

TEST_F(TextBufferTest, FormatPiecesAreCutTo511Bytes) {
    std::string long_text(600, 'z');
    append_format(&buffer, "%s", long_text.c_str());
    EXPECT_EQ(text(), std::string(511, 'z'));
    append_format(&buffer, "|%lu|%llu|%d", 4294967295UL, 18446744073709551615ULL, -5);
    EXPECT_EQ(text().substr(511), "|4294967295|18446744073709551615|-5");
}

TEST_F(TextBufferTest, JsonStringEscapesEveryByteClass) {
    append_json_string(&buffer, nullptr);
    EXPECT_EQ(text(), "\"\"");

    TextBuffer all = {};
    // Every code unit 1..0x7F, then Cyrillic, guillemets and a dash.
    std::u16string units;
    for (char16_t c = 1; c < 0x80; ++c) units.push_back(c);
    units += u"Касса «XP-58» — ок";
    append_json_string(&all, reinterpret_cast<const WCHAR*>(units.c_str()));
    std::string expected = "\"";
    for (int c = 1; c < 0x20; ++c) {
        if (c == '\n') expected += "\\n";
        else if (c == '\r') expected += "\\r";
        else if (c == '\t') expected += "\\t";
        else {
            char hex[8];
            snprintf(hex, sizeof hex, "\\u%04x", c);
            expected += hex;
        }
    }
    for (int c = 0x20; c < 0x80; ++c) {
        if (c == '"') expected += "\\\"";
        else if (c == '\\') expected += "\\\\";
        else expected += static_cast<char>(c);
    }
    expected += "Касса «XP-58» — ок\"";
    EXPECT_EQ(std::string(all.data, all.length), expected);
    EXPECT_NE(expected.find("\\u0008\\t\\n\\u000b\\u000c\\r"), std::string::npos);
    EXPECT_NE(expected.find("\\u001b"), std::string::npos);
    // It is one valid JSON string that decodes back to the text.
    EXPECT_EQ(nlohmann::json::parse(std::string(all.data, all.length)).get<std::string>(),
              sim::utf16_to_utf8(units));
    free(all.data);
}

TEST_F(TextBufferTest, JsonStringReplacesLoneSurrogates) {
    const char16_t units[] = {u'A', 0xD800, u'B', 0xDC00, 0xD83D, 0xDE00, 0};
    append_json_string(&buffer, reinterpret_cast<const WCHAR*>(units));
    EXPECT_EQ(text(), "\"A\xEF\xBF\xBD" "B\xEF\xBF\xBD\xF0\x9F\x98\x80\"");
    EXPECT_TRUE(nlohmann::json::accept(text()));
}

TEST_F(TextBufferTest, QuoteAndBackslashInAName) {
    append_json_string(&buffer, L"Kitchen \"2\" \\\\SHOP");
    EXPECT_EQ(text(), "\"Kitchen \\\"2\\\" \\\\\\\\SHOP\"");
}

TEST_F(TextBufferTest, Win32MessageTrimsDotsBlanksAndLineBreaks) {
    char* message = win32_message(1801);
    EXPECT_STREQ(message, "The printer name is invalid");
    free(message);

    sim::computer().messages[70000] = u"Ends with a dot and blank. ";
    sim::computer().messages[70001] = u"Tab stops it.\t\r\n";
    sim::computer().messages[70002] = u"...\r\n";
    sim::computer().messages[70003] = u"Принтер не найден.\r\n";
    const char* expected[] = {"Ends with a dot and blank", "Tab stops it.\t", "", "Принтер не найден"};
    for (DWORD i = 0; i < 4; ++i) {
        message = win32_message(70000 + i);
        EXPECT_STREQ(message, expected[i]) << i;
        free(message);
    }
    message = win32_message(99999);
    EXPECT_STREQ(message, "");
    free(message);
    EXPECT_TRUE(sim::leaks().empty());  // the system's buffer went back with LocalFree
}

TEST_F(TextBufferTest, Win32MessageLeavesTheLastErrorAlone) {
    SetLastError(0xdeadbeef);
    free(win32_message(99999));  // FormatMessageW fails and sets its own error
    EXPECT_EQ(GetLastError(), 0xdeadbeefu);
}

TEST_F(TextBufferTest, ErrorEnvelope) {
    append(&buffer, "{");
    append_error(&buffer, "OPEN_FAILED", 1801);
    append(&buffer, "}");
    EXPECT_EQ(text(),
              "{\"ok\":false,\"error\":\"OPEN_FAILED\",\"win32\":1801,"
              "\"message\":\"The printer name is invalid\"}");

    TextBuffer unknown = {};
    append(&unknown, "{");
    append_error(&unknown, "OPEN_FAILED", 4000000000u);
    append(&unknown, "}");
    EXPECT_EQ(std::string(unknown.data, unknown.length),
              "{\"ok\":false,\"error\":\"OPEN_FAILED\",\"win32\":4000000000,\"message\":\"\"}");
    free(unknown.data);

    TextBuffer quoted = {};
    sim::computer().messages[5] = u"Say \"no\"\\\r\n";
    append(&quoted, "{");
    append_error(&quoted, "WRITE_FAILED", 5);
    append(&quoted, "}");
    EXPECT_EQ(std::string(quoted.data, quoted.length),
              "{\"ok\":false,\"error\":\"WRITE_FAILED\",\"win32\":5,\"message\":\"Say \\\"no\\\"\\\\\"}");
    free(quoted.data);
}

TEST_F(TextBufferTest, StatusKeysAndWords) {
    append_status_keys(&buffer, 0, kTable);
    append_status_words(&buffer, 0, kTable);
    EXPECT_EQ(text(), "[]");

    TextBuffer keys = {};
    append_status_keys(&keys, 0x43 | 0x100, kTable);  // a bit without a row is passed over
    EXPECT_EQ(std::string(keys.data, keys.length), "[\"paused\",\"error\",\"paper_out\"]");
    free(keys.data);

    TextBuffer words = {};
    append_status_words(&words, 0x42, kTable);
    EXPECT_EQ(std::string(words.data, words.length), "ошибка, нет бумаги");
    free(words.data);
}

TEST_F(TextBufferTest, ToUtf8) {
    char* empty = to_utf8(nullptr);
    EXPECT_STREQ(empty, "");
    free(empty);
    char* cyrillic = to_utf8(L"Ёлка әҚ");
    EXPECT_STREQ(cyrillic, "Ёлка әҚ");
    free(cyrillic);
}

TEST_F(TextBufferTest, RunningOutOfMemoryEndsWithCode3) {
    sim::computer().fail_allocation_nth = sim::computer().allocation_count + 1;
    EXPECT_EQ(exit_code_of([&] { append(&buffer, "x"); }), 3);

    sim::computer().fail_allocation_nth = sim::computer().allocation_count + 1;
    EXPECT_EQ(exit_code_of([] { free(to_utf8(L"abc")); }), 3);

    sim::computer().fail_allocation_nth = sim::computer().allocation_count + 1;
    EXPECT_EQ(exit_code_of([] { free(win32_message(99999)); }), 3);

    // A doubling that fails keeps nothing half-done: the process is over.
    TextBuffer full = {};
    append(&full, std::string(1000, 'a').c_str());
    sim::computer().fail_allocation_nth = sim::computer().allocation_count + 1;
    EXPECT_EQ(exit_code_of([&] { append(&full, std::string(100, 'b').c_str()); }), 3);
    EXPECT_EQ(full.capacity, 1024u);
    free(full.data);
}

}  // namespace
