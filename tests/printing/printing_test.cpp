// What the golden cases of send, test, driver, watch and purge cannot reach:
// a scenario cannot make an allocation fail, nor give the job a test print
// has just started a status text of its own.
#include <winspool.h>

#include <nlohmann/json.hpp>
#include <string>

#include "devices/device_inventory.h"
#include "harness.h"
#include "printing/probes.h"
#include "printing/watch.h"
#include "texts/follow_texts.h"

namespace {

const char kQueue[] = R"({"spooler": {"default": "XP-58", "printers": [{"name": "XP-58", "port": "USB001",
    "status": 16, "attributes": 1024, "jobs_count": 7,
    "jobs": [{"id": 12, "status": 64, "status_text": "Out of paper"}]}]}})";

class PrintingTest : public SimTest {};

// A job is never taken for gone, nor the printer's last snapshot dropped,
// merely because memory for the spooler's answer was short.
TEST_F(PrintingTest, MemoryShortMeansThePresentJobAndTheLastSnapshot) {
    sim::load_scenario(kQueue);
    HANDLE queue = nullptr;
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(L"XP-58"), &queue, nullptr));
    for (DWORD number : {12u, 0u}) {
        DWORD status = 1, found = 777, error = 777;
        WCHAR text[PROBE_TEXT_ROOM] = L"stale";
        sim::computer().fail_allocation_nth = sim::computer().allocation_count + 1;
        EXPECT_EQ(probe_job(queue, number, 0, &status, text, &found, &error), JOB_PRESENT) << number;
        EXPECT_EQ(status, 0u);
        EXPECT_EQ(u8(text), "");
        EXPECT_EQ(found, 777u);
        EXPECT_EQ(error, 777u);
    }
    PrinterSnapshot snapshot = {1, 2, 3, L"LPT9", nullptr};
    sim::computer().fail_allocation_nth = sim::computer().allocation_count + 1;
    probe_printer(queue, &snapshot);
    EXPECT_EQ((std::vector<DWORD>{snapshot.status, snapshot.attributes, snapshot.jobs}), (std::vector<DWORD>{1, 2, 3}));
    EXPECT_EQ(u8(snapshot.port), "LPT9");
    ClosePrinter(queue);
}

// A job list that memory cannot hold is no clean queue: it may be full of
// stuck jobs. Every other allocation failing ends the run with code 3.
TEST_F(PrintingTest, PurgeWithoutMemoryForTheJobList) {
    bool reported = false;
    for (unsigned nth = 1; !reported; ++nth) {
        sim::load_scenario(kQueue);
        sim::computer().fail_allocation_nth = nth;
        RunResult result = run({"purge", "XP-58", "0"});
        ASSERT_NE(result.exit_code, 0) << "no allocation left to fail after " << nth;
        if (result.exit_code == 3) continue;
        nlohmann::json document = nlohmann::json::parse(result.out);
        EXPECT_EQ(document["error"], "ENUM_FAILED") << result.out;
        EXPECT_EQ(document["win32"], ERROR_NOT_ENOUGH_MEMORY) << result.out;
        EXPECT_TRUE(sim::computer().spooler.printers[0].deleted_job_ids.empty());
        reported = true;
    }
}

// The spooler's own text of the job comes before the status words in the
// hang report: the report with it is the report without it, the text and
// "; " put at the start of the job's line (its first ": ").
TEST_F(PrintingTest, HangReportStartsTheJobLineWithTheSpoolersText) {
    auto hang_report = [](const char* status_text) {
        sim::load_scenario(kQueue);
        sim::computer().spooler.printers[0].jobs[0].status_text = sim::utf8_to_utf16(status_text);
        FollowResult follow = follow_job(L"XP-58", 12);
        DeviceInventory devices = {};
        TextBuffer text = {};
        append_follow_result(&text, follow, devices, true);
        std::string said(text.data, text.length);
        free(text.data);
        free_job_state(&follow.state);
        return said;
    };
    std::string with_text = hang_report("Out of paper");
    std::string without = hang_report("");
    size_t at = with_text.find("Out of paper; ");
    ASSERT_NE(at, std::string::npos) << with_text;
    EXPECT_EQ(at, without.find(": ") + 2) << with_text;
    EXPECT_EQ(with_text.erase(at, std::string("Out of paper; ").size()), without);
}

}  // namespace
