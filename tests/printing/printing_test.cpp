// What the golden cases of a test print cannot reach: a scenario cannot give
// the job a test print has just started a status text of its own.
#include <string>

#include "devices/device_inventory.h"
#include "harness.h"
#include "printing/watch.h"
#include "texts/follow_texts.h"

namespace {

const char kQueue[] = R"({"spooler": {"default": "XP-58", "printers": [{"name": "XP-58", "port": "USB001",
    "status": 16, "attributes": 1024, "jobs_count": 7,
    "jobs": [{"id": 12, "status": 64, "status_text": "Out of paper"}]}]}})";

class PrintingTest : public SimTest {};

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
