#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "harness.h"

namespace {

class PurgeTest : public SimTest {
protected:
    // XP-58, the default printer, holding these jobs; more printer keys after them.
    void queue(const std::string& jobs, const std::string& printer = "") {
        sim::load_scenario(R"({"spooler": {"default": "XP-58", "printers": [{"name": "XP-58", "jobs": )" + jobs +
                           printer + "}]}}");
    }
    RunResult purge(const std::vector<std::string>& args) {
        RunResult result = run(args);
        EXPECT_TRUE(nlohmann::json::accept(result.out)) << result.out;
        EXPECT_TRUE(result.leaks.empty());
        return result;
    }
    std::vector<DWORD> left() {
        std::vector<DWORD> ids;
        for (const sim::Job& job : sim::computer().spooler.printers[0].jobs) ids.push_back(job.id);
        return ids;
    }
    std::vector<DWORD> deleted() { return sim::computer().spooler.printers[0].deleted_job_ids; }
};

const char kMixedAges[] = R"([{"id": 1, "age_ms": 19900}, {"id": 2, "age_ms": 20000}, {"id": 3, "age_ms": -5000},
    {"id": 4, "submitted": "invalid"}, {"id": 5, "submitted": "before_1970"}, {"id": 6, "age_ms": 600000},
    {"id": 7, "age_ms": 19999}])";

TEST_F(PurgeTest, OldJobsGoYoungAndUnknownAgesStay) {
    queue(kMixedAges);
    RunResult result = purge({"purge", "XP-58"});
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.out, "{\"ok\":true,\"deleted\":2,\"failed\":0,\"skipped\":5,\"printer\":\"XP-58\"}\n");
    EXPECT_EQ(deleted(), (std::vector<DWORD>{2, 6}));
    EXPECT_EQ(left(), (std::vector<DWORD>{1, 3, 4, 5, 7}));
    nlohmann::json state = nlohmann::json::parse(sim::state_json());
    EXPECT_EQ(state["printers"][0]["deleted_job_ids"], (std::vector<DWORD>{2, 6}));

    // The default printer, an explicit 1 s: only the 19.9 s and 19.999 s jobs join in.
    queue(kMixedAges);
    EXPECT_EQ(purge({"purge", "", "1"}).out,
              "{\"ok\":true,\"deleted\":4,\"failed\":0,\"skipped\":3,\"printer\":\"XP-58\"}\n");
    EXPECT_EQ(left(), (std::vector<DWORD>{3, 4, 5}));
}

TEST_F(PurgeTest, MinimumAgeZeroDeletesEverything) {
    for (const char* age : {"0", "x"}) {
        queue(kMixedAges);
        RunResult result = purge({"purge", "XP-58", age});
        EXPECT_EQ(result.exit_code, 0);
        EXPECT_EQ(result.out, "{\"ok\":true,\"deleted\":7,\"failed\":0,\"skipped\":0,\"printer\":\"XP-58\"}\n") << age;
        EXPECT_EQ(deleted(), (std::vector<DWORD>{1, 2, 3, 4, 5, 6, 7}));
        EXPECT_TRUE(left().empty());
    }
}

TEST_F(PurgeTest, RefusedDeletionsReportTheLastError) {
    queue(R"([{"id": 1, "age_ms": 60000}, {"id": 2, "age_ms": 60000, "delete_error": 5},
              {"id": 3, "age_ms": 60000}])");
    RunResult result = purge({"purge", "XP-58"});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.out,
              "{\"ok\":false,\"deleted\":2,\"failed\":1,\"skipped\":0,\"error\":\"DELETE_FAILED\",\"win32\":5,"
              "\"message\":\"Access is denied\",\"printer\":\"XP-58\"}\n");
    EXPECT_EQ(left(), (std::vector<DWORD>{2}));

    queue(R"([{"id": 1, "age_ms": 60000, "delete_error": 1722}, {"id": 2, "age_ms": 60000, "delete_error": 21},
              {"id": 3, "age_ms": 100}])");
    EXPECT_EQ(purge({"purge", "XP-58"}).out,
              "{\"ok\":false,\"deleted\":0,\"failed\":2,\"skipped\":1,\"error\":\"DELETE_FAILED\",\"win32\":21,"
              "\"message\":\"The device is not ready\",\"printer\":\"XP-58\"}\n");
}

TEST_F(PurgeTest, OnlyTheFirst256JobsAreExamined) {
    queue("[]");
    sim::Printer& printer = sim::computer().spooler.printers[0];
    for (DWORD id = 1; id <= 300; ++id) {
        sim::Job job;
        job.id = id;
        job.submitted.filetime = sim::now_filetime() - 3600ULL * 1000 * 10000;
        printer.jobs.push_back(job);
    }
    RunResult result = purge({"purge", "XP-58"});
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.out, "{\"ok\":true,\"deleted\":256,\"failed\":0,\"skipped\":0,\"printer\":\"XP-58\"}\n");
    ASSERT_EQ(left().size(), 44u);
    EXPECT_EQ(left().front(), 257u);
}

TEST_F(PurgeTest, EmptyQueueUnknownQueueAndNoPrinter) {
    queue("[]");
    RunResult empty = purge({"purge", "XP-58"});
    EXPECT_EQ(empty.exit_code, 0);
    EXPECT_EQ(empty.out, "{\"ok\":true,\"deleted\":0,\"failed\":0,\"skipped\":0,\"printer\":\"XP-58\"}\n");

    queue("[]");
    RunResult unknown = purge({"purge", "XP-80"});
    EXPECT_EQ(unknown.exit_code, 1);
    EXPECT_EQ(unknown.out,
              "{\"ok\":false,\"error\":\"OPEN_FAILED\",\"win32\":1801,\"message\":\"The printer name is invalid\"}\n");

    for (const char* spooler : {R"({"spooler": {"printers": [{"name": "XP-58", "jobs": [{"id": 1}]}]}})",
                                R"({"spooler": {"default": "XP-58", "default_error": 1722}})"}) {
        sim::load_scenario(spooler);
        RunResult none = purge({"purge"});
        EXPECT_EQ(none.exit_code, 1);
        EXPECT_EQ(none.out,
                  "{\"ok\":false,\"error\":\"NO_PRINTER\",\"win32\":0,"
                  "\"message\":\"Принтер не выбран, и принтера по умолчанию в Windows нет\"}\n");
        EXPECT_EQ(sim::computer().call_counts["OpenPrinterW"], 0u);
    }
}

// A job list that cannot be read is no clean queue: it may be full of stuck jobs.
TEST_F(PurgeTest, UnreadableJobListIsAFailure) {
    const std::string rpc_failed =
        "{\"ok\":false,\"deleted\":0,\"failed\":0,\"skipped\":0,\"error\":\"ENUM_FAILED\",\"win32\":1722,"
        "\"message\":\"The RPC server is unavailable\",\"printer\":\"XP-58\"}\n";
    queue(R"([{"id": 1}])", R"(, "enum_jobs_error": 1722)");
    RunResult result = purge({"purge", "XP-58", "0"});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.out, rpc_failed);

    // The sizing call, then the second call failing.
    for (unsigned nth : {1u, 2u}) {
        queue(R"([{"id": 1}])");
        sim::computer().faults.push_back({"EnumJobsW", nth, RPC_S_SERVER_UNAVAILABLE});
        result = purge({"purge", "XP-58", "0"});
        EXPECT_EQ(result.exit_code, 1) << nth;
        EXPECT_EQ(result.out, rpc_failed) << nth;
        EXPECT_TRUE(deleted().empty());
    }

    // Memory for the list lacking; every other allocation failing ends the run with code 3.
    bool reported = false;
    for (unsigned nth = 1; nth <= 12; ++nth) {
        queue(R"([{"id": 1}])");
        sim::computer().fail_allocation_nth = nth;
        result = run({"purge", "XP-58", "0"});
        if (result.exit_code == 3) {
            EXPECT_EQ(result.out, "") << nth;
            continue;
        }
        if (result.exit_code == 0) break;  // past the last allocation
        EXPECT_EQ(result.out,
                  "{\"ok\":false,\"deleted\":0,\"failed\":0,\"skipped\":0,\"error\":\"ENUM_FAILED\",\"win32\":8,"
                  "\"message\":\"Not enough memory resources are available to process this command\","
                  "\"printer\":\"XP-58\"}\n")
            << nth;
        EXPECT_TRUE(result.leaks.empty());
        EXPECT_EQ(left().size(), 1u);
        reported = true;
    }
    EXPECT_TRUE(reported);
}

TEST_F(PurgeTest, AtAConsoleTheQueueNameComesFirst) {
    queue(R"([{"id": 1, "age_ms": 60000}])", "");
    sim::computer().stdout_kind = sim::StdoutKind::console;
    RunResult result = run({"purge"});
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.console,
              "Очередь «XP-58»: {\"ok\":true,\"deleted\":1,\"failed\":0,\"skipped\":0,\"printer\":\"XP-58\"}\n");

    sim::load_scenario(R"({"stdout": "console"})");
    EXPECT_EQ(run({"purge"}).console,
              "Очередь «»: {\"ok\":false,\"error\":\"NO_PRINTER\",\"win32\":0,"
              "\"message\":\"Принтер не выбран, и принтера по умолчанию в Windows нет\"}\n");

    queue(R"([{"id": 1}])", R"(, "enum_jobs_error": 1722)");
    sim::computer().stdout_kind = sim::StdoutKind::console;
    result = run({"purge", "xp-58"});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.console,
              "Очередь «xp-58»: {\"ok\":false,\"deleted\":0,\"failed\":0,\"skipped\":0,\"error\":\"ENUM_FAILED\","
              "\"win32\":1722,\"message\":\"The RPC server is unavailable\",\"printer\":\"xp-58\"}\n");
}

}  // namespace
