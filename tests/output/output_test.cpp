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
