// Inputs too long for a golden file, and memory running out while reading;
// the rest of reading standard input is in tests/e2e/cases/send_input.json.
#include <nlohmann/json.hpp>

#include "harness.h"

namespace {

class SendCommandTest : public SimTest {
protected:
    const std::vector<sim::StartedJob>& jobs() { return sim::computer().spooler.printers[0].started; }
    void load(size_t size, DWORD then_error, unsigned failing_allocation) {
        sim::load_scenario(R"({"spooler": {"printers": [{"name": "XP-58"}]}})");
        sim::StdinState& input = sim::computer().stdin_state;
        for (size_t i = 0; i < size; ++i) input.bytes.push_back(static_cast<char>(i * 7));
        input.then_error = then_error;
        sim::computer().fail_allocation_nth = failing_allocation;
    }
    RunResult send(size_t size, DWORD then_error, unsigned failing_allocation) {
        load(size, then_error, failing_allocation);
        return run({"send", "XP-58"});
    }
};

// The input is read into a block of 64 KiB that doubles up to 8 MiB.
TEST_F(SendCommandTest, LongInputs) {
    struct Row {
        size_t size;
        DWORD then_error;
        const char* error;  // null: sent whole
    };
    const Row rows[] = {
        {65535, ERROR_BROKEN_PIPE, nullptr},   {65536, ERROR_BROKEN_PIPE, nullptr},
        {65537, ERROR_BROKEN_PIPE, nullptr},   {131073, ERROR_BROKEN_PIPE, nullptr},
        {8388608, ERROR_BROKEN_PIPE, nullptr}, {8388609, ERROR_BROKEN_PIPE, "TOO_LARGE"},
        {10485760, ERROR_BROKEN_PIPE, "TOO_LARGE"}, {65536, ERROR_ACCESS_DENIED, "READ_FAILED"},
        {8388608, ERROR_ACCESS_DENIED, "READ_FAILED"},
    };
    for (const Row& row : rows) {
        RunResult result = send(row.size, row.then_error, 0);
        std::string last = result.out.substr(result.out.rfind('\n', result.out.size() - 2) + 1);
        nlohmann::json document = nlohmann::json::parse(last);
        EXPECT_EQ(result.exit_code, row.error == nullptr ? 0 : 1) << row.size;
        if (row.error == nullptr) {
            ASSERT_EQ(jobs().size(), 1u) << row.size;
            EXPECT_TRUE(jobs()[0].bytes == sim::computer().stdin_state.bytes) << row.size;
            EXPECT_EQ(document["bytes"], row.size);
        } else {
            EXPECT_EQ(document["error"], row.error) << row.size;
            EXPECT_TRUE(jobs().empty()) << row.size;
            if (std::string(row.error) == "TOO_LARGE") {
                EXPECT_EQ(last, "{\"ok\":false,\"error\":\"TOO_LARGE\",\"win32\":0,\"message\":\"Поток больше 8 МиБ\","
                                "\"printer\":\"XP-58\"}\n");
            }
        }
    }
}

// The read past 8 MiB (the 129th of 64 KiB pieces) failing without saying
// why is reported with 0, not with what the read before it left behind.
TEST_F(SendCommandTest, TheReadPastTheLimitFailingWithoutAnErrorNames0) {
    load(8388608, ERROR_BROKEN_PIPE, 0);
    sim::computer().stale_error = 0xC1EA4;
    sim::computer().faults.push_back({"ReadFile", 129, std::nullopt});
    EXPECT_EQ(run({"send", "XP-58"}).out,
              "{\"ok\":false,\"error\":\"READ_FAILED\",\"win32\":0,\"message\":\"Windows не сообщила "
              "причину\",\"printer\":\"XP-58\"}\n");
    EXPECT_TRUE(jobs().empty());
}

// A pipe's writer writing 0 bytes past 8 MiB has not closed the pipe.
TEST_F(SendCommandTest, AnEmptyReadPastTheLimitIsNotTheEndOfAPipe) {
    load(8388608, ERROR_BROKEN_PIPE, 0);
    sim::StdinState& input = sim::computer().stdin_state;
    input.in_pieces = true;
    input.pieces = {input.bytes, "", "x"};
    EXPECT_EQ(nlohmann::json::parse(run({"send", "XP-58"}).out)["error"], "TOO_LARGE");
    EXPECT_TRUE(jobs().empty());
}

TEST_F(SendCommandTest, MemoryRunningOutWhileReadingEndsWith3) {
    // The first block, then the doubling of a full one.
    for (auto [size, allocation] : {std::pair<size_t, unsigned>{2, 1}, {70000, 2}}) {
        RunResult result = send(size, ERROR_BROKEN_PIPE, allocation);
        EXPECT_EQ(result.exit_code, 3) << size;
        EXPECT_EQ(result.out, "") << size;
        EXPECT_TRUE(jobs().empty()) << size;
    }
}

}  // namespace
