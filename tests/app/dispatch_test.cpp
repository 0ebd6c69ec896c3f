// What the output cannot show; the command words, numbers and output kinds
// are in tests/e2e/cases/dispatch.json.
#include "harness.h"

namespace {

using DispatchTest = SimTest;

// Only a person who started the program without a command word is asked to
// press Enter, and only once the whole report is on the screen.
TEST_F(DispatchTest, TheWaitForEnter) {
    struct Row {
        const char* scenario;
        std::vector<std::string> args;
        unsigned reads;
    };
    const Row rows[] = {
        {R"({"stdout": "console"})", {}, 1},
        {R"({"stdout": "console"})", {""}, 1},
        {R"({"stdout": "console"})", {"report"}, 0},
        {R"({"stdout": "console", "stdin": "null"})", {}, 0},
        {R"({"stdout": "console", "stdin": "invalid"})", {}, 0},
        {R"({})", {}, 0},
        {R"({"stdout": "null"})", {}, 0},  // no standard output is no console
        {R"({"stdout": "invalid"})", {}, 0},
    };
    for (const Row& row : rows) {
        sim::load_scenario(row.scenario);
        run(row.args);
        const std::vector<std::string>& log = sim::computer().call_log;
        EXPECT_EQ(sim::computer().call_counts["ReadConsoleW"], row.reads) << row.scenario;
        if (row.reads > 0) {
            EXPECT_EQ(log.back(), "ReadConsoleW") << row.scenario;
            EXPECT_EQ(sim::utf16_to_utf8(sim::computer().console_input_read), "\r") << "one key, the Enter";
        }
    }
}

TEST_F(DispatchTest, OutOfMemoryEndsTheProcessWith3AndWritesNothing) {
    sim::computer().fail_allocation_nth = 1;
    RunResult result = run({"version"});
    EXPECT_EQ(result.exit_code, 3);
    EXPECT_EQ(result.out, "");
}

}  // namespace
