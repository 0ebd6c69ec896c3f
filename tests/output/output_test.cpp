#include "output/output.h"

#include "harness.h"

namespace {

using OutputTest = SimTest;

TEST_F(OutputTest, PipeGetsTheUtf8BytesFlushed) {
    console_mode = false;
    write_output("{\"printer\":\"Касса\"}\n");
    write_output("second\n");
    EXPECT_EQ(sim::computer().stdout_bytes, "{\"printer\":\"Касса\"}\nsecond\n");
    EXPECT_EQ(sim::computer().flush_count, 2u);
    EXPECT_TRUE(sim::computer().console_text.empty());
}

TEST_F(OutputTest, EmptyTextWritesNothingButStillFlushes) {
    console_mode = false;
    write_output("");
    EXPECT_EQ(sim::computer().stdout_bytes, "");
    EXPECT_EQ(sim::computer().flush_count, 1u);
}

TEST_F(OutputTest, ConsoleGetsUtf16WithoutTheNul) {
    sim::computer().stdout_kind = sim::StdoutKind::console;
    console_mode = true;
    write_output("Принтер «XP-58» — готов\r\n");
    EXPECT_EQ(sim::computer().console_text, u"Принтер «XP-58» — готов\r\n");
    write_output("");
    EXPECT_EQ(sim::computer().console_text, u"Принтер «XP-58» — готов\r\n");
    EXPECT_TRUE(sim::computer().stdout_bytes.empty());
}

// Windows 7's console host refuses a write much over 64 KiB whole; text goes
// in pieces of at most 8192 units, a surrogate pair never cut in two.
TEST_F(OutputTest, ConsoleTextGoesInPiecesOfAtMost8192Units) {
    sim::computer().stdout_kind = sim::StdoutKind::console;
    sim::computer().console_max_write = 8192;
    console_mode = true;
    std::string text = std::string(8191, 'a') + "\xF0\x9F\x98\x80" + std::string(9000, 'b') + "Ж\r\n";
    write_output(text.c_str());
    EXPECT_EQ(sim::utf16_to_utf8(sim::computer().console_text), text);
    EXPECT_EQ(sim::computer().call_counts["WriteConsoleW"], 3u);  // 8191, 8192 and the rest

    // A piece that fails ends the text there.
    sim::computer().console_text.clear();
    sim::computer().faults.push_back({"WriteConsoleW", 5, ERROR_NOT_ENOUGH_MEMORY});
    write_output(text.c_str());
    EXPECT_EQ(sim::computer().console_text, std::u16string(8191, u'a'));
}

TEST_F(OutputTest, ConsoleTextIsDroppedWhenMemoryRunsOut) {
    sim::computer().stdout_kind = sim::StdoutKind::console;
    console_mode = true;
    sim::computer().fail_allocation_nth = sim::computer().allocation_count + 1;
    write_output("потеряно\r\n");  // no exit: only this text is lost
    EXPECT_TRUE(sim::computer().console_text.empty());
    write_output("дальше\r\n");
    EXPECT_EQ(sim::computer().console_text, u"дальше\r\n");
}

TEST_F(OutputTest, NoStandardOutputDropsTheText) {
    for (sim::StdoutKind kind : {sim::StdoutKind::null, sim::StdoutKind::invalid}) {
        sim::reset();
        sim::computer().stdout_kind = kind;
        console_mode = false;
        write_output("{\"ok\":true}\n");
        EXPECT_TRUE(sim::computer().stdout_bytes.empty());
        EXPECT_EQ(sim::computer().call_counts["WriteFile"], 0u);
    }
}

TEST_F(OutputTest, ShortWritesAreRepeatedUntilEverythingIsWritten) {
    console_mode = false;
    // The first write fails outright: nothing more is tried, the text is lost.
    sim::computer().faults.push_back({"WriteFile", 1, ERROR_BROKEN_PIPE});
    write_output("lost\n");
    EXPECT_EQ(sim::computer().stdout_bytes, "");
    EXPECT_EQ(sim::computer().call_counts["WriteFile"], 1u);
    EXPECT_EQ(sim::computer().flush_count, 1u);
}

}  // namespace
