#include "printing/send_raw.h"

#include <stdlib.h>

#include <string>

#include "harness.h"
#include "output/output.h"

namespace {

class SendRawTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        sim::load_scenario(R"({"spooler": {"printers": [{"name": "XP-58", "port": "USB001", "driver": "XP-58"}]}})");
        console_mode = false;
    }
    void TearDown() override { free(members.data); }

    // Submits the bytes and returns the members it appended.
    std::string submit(const std::string& bytes, const wchar_t* printer = L"XP-58") {
        result = send_raw(printer, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()),
                          &members, L"Morvik ESC/POS", &job);
        return members.data ? std::string(members.data, members.length) : std::string();
    }
    sim::Printer& printer() { return sim::computer().spooler.printers[0]; }

    TextBuffer members = {};
    int result = -1;
    DWORD job = 777;
};

const std::string kReceipt(142, 'R');

TEST_F(SendRawTest, SuccessWritesTheProgressLineFirstAndEndsEverything) {
    std::string bytes("\x1b@\x00\x1a\r\n\xff", 7);
    EXPECT_EQ(submit(bytes), "\"ok\":true,\"job\":1,\"bytes\":7");
    EXPECT_EQ(result, 0);
    EXPECT_EQ(job, 1u);
    EXPECT_EQ(sim::computer().stdout_bytes, "{\"stage\":\"write\",\"job\":1}\n");
    ASSERT_EQ(printer().started.size(), 1u);
    const sim::StartedJob& started = printer().started[0];
    EXPECT_EQ(started.bytes, bytes);
    EXPECT_EQ(sim::utf16_to_utf8(started.document), "Morvik ESC/POS");
    EXPECT_EQ(sim::utf16_to_utf8(started.datatype), "RAW");
    EXPECT_EQ(started.pages, 1u);
    EXPECT_TRUE(started.ended);
    EXPECT_TRUE(sim::leaks().empty());
    // The progress line is flushed before the first byte is offered.
    const std::vector<std::string> expected = {"OpenPrinterW", "StartDocPrinterW", "StartPagePrinter", "GetStdHandle",
                                               "WriteFile",    "FlushFileBuffers", "WritePrinter",     "EndPagePrinter",
                                               "EndDocPrinter", "ClosePrinter"};
    EXPECT_EQ(sim::computer().call_log, expected);
}

TEST_F(SendRawTest, NoPrinterTouchesNoSpooler) {
    EXPECT_EQ(submit(kReceipt, L""),
              "\"ok\":false,\"error\":\"NO_PRINTER\",\"win32\":0,"
              "\"message\":\"Принтер не выбран, и принтера по умолчанию в Windows нет\"");
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(sim::computer().call_log.empty());
    EXPECT_EQ(job, 0u);
}

TEST_F(SendRawTest, ZeroBytesStillMakeAJob) {
    EXPECT_EQ(submit(""), "\"ok\":true,\"job\":1,\"bytes\":0");
    EXPECT_EQ(sim::computer().call_counts["WritePrinter"], 0u);
    EXPECT_TRUE(printer().started[0].ended);
    EXPECT_EQ(job, 1u);
}

TEST_F(SendRawTest, PartialWritesAreOfferedTheRest) {
    printer().write.max_per_call = 50;
    EXPECT_EQ(submit(kReceipt), "\"ok\":true,\"job\":1,\"bytes\":142");
    EXPECT_EQ(sim::computer().call_counts["WritePrinter"], 3u);
    EXPECT_EQ(printer().started[0].bytes, kReceipt);
}

TEST_F(SendRawTest, AFailingWriteReportsWhatWasAccepted) {
    printer().write.fail_at = 100;
    printer().write.fail_error = ERROR_GEN_FAILURE;
    EXPECT_EQ(submit(kReceipt),
              "\"ok\":false,\"error\":\"WRITE_FAILED\",\"win32\":31,"
              "\"message\":\"A device attached to the system is not functioning\","
              "\"job\":1,\"written\":100,\"bytes\":142");
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(printer().started[0].ended);  // ended, never cancelled
    EXPECT_EQ(printer().jobs.size(), 1u);
    EXPECT_TRUE(sim::leaks().empty());
}

TEST_F(SendRawTest, ASpoolerThatTakesNothingGivesShortWrite) {
    printer().write.accept_total = 0;
    EXPECT_EQ(submit(kReceipt), "\"ok\":false,\"error\":\"SHORT_WRITE\",\"win32\":0,\"message\":\"0/142\",\"job\":1");
    printer().write.accept_total = 1;  // counted per job
    free(members.data);
    members = {};
    EXPECT_EQ(submit(kReceipt), "\"ok\":false,\"error\":\"SHORT_WRITE\",\"win32\":0,\"message\":\"1/142\",\"job\":2");
    EXPECT_TRUE(sim::leaks().empty());
}

// A job the spooler could not commit was not printed: the first of the two
// ending calls that failed names the error, and both are always made.
TEST_F(SendRawTest, AJobTheSpoolerDidNotCommitIsAFailure) {
    printer().endpage_printer_error = ERROR_NOT_READY;
    printer().enddoc_printer_error = ERROR_DISK_FULL;
    EXPECT_EQ(submit(kReceipt),
              "\"ok\":false,\"error\":\"PRINT_FAILED\",\"win32\":21,\"message\":\"The device is not ready\","
              "\"job\":1,\"bytes\":142");
    EXPECT_EQ(result, 1);
    EXPECT_EQ(sim::computer().call_counts["EndDocPrinter"], 1u);
    EXPECT_FALSE(printer().started[0].ended);
    EXPECT_TRUE(printer().jobs.empty());  // dropped by the spooler
    EXPECT_TRUE(sim::leaks().empty());

    printer().endpage_printer_error = 0;
    free(members.data);
    members = {};
    EXPECT_EQ(submit(kReceipt),
              "\"ok\":false,\"error\":\"PRINT_FAILED\",\"win32\":112,"
              "\"message\":\"There is not enough space on the disk\",\"job\":2,\"bytes\":142");
}

TEST_F(SendRawTest, ErrorsAreTakenBeforeTheCleanUpOverwritesThem) {
    struct Case {
        const char* key;
        DWORD error;
        const char* expected;
    };
    const Case cases[] = {
        {"open_error", 5, "\"ok\":false,\"error\":\"OPEN_FAILED\",\"win32\":5,\"message\":\"Access is denied\""},
        {"startdoc_error", 1804,
         "\"ok\":false,\"error\":\"STARTDOC_FAILED\",\"win32\":1804,\"message\":\"The specified datatype is invalid\""},
        {"startpage_error", 1722,
         "\"ok\":false,\"error\":\"STARTPAGE_FAILED\",\"win32\":1722,\"message\":\"The RPC server is unavailable\""},
    };
    for (const Case& c : cases) {
        sim::load_scenario(std::string(R"({"spooler": {"printers": [{"name": "XP-58", ")") + c.key +
                           "\": " + std::to_string(c.error) + "}]}}");
        free(members.data);
        members = {};
        EXPECT_EQ(submit(kReceipt), c.expected) << c.key;
        EXPECT_EQ(result, 1);
        EXPECT_EQ(sim::computer().stdout_bytes, "") << "no progress line before the page started";
        EXPECT_TRUE(sim::leaks().empty()) << c.key;
        for (const sim::StartedJob& started : printer().started) EXPECT_TRUE(started.ended) << c.key;
    }
}

TEST_F(SendRawTest, UnknownQueue) {
    EXPECT_EQ(submit(kReceipt, L"XP-80"),
              "\"ok\":false,\"error\":\"OPEN_FAILED\",\"win32\":1801,\"message\":\"The printer name is invalid\"");
}

TEST_F(SendRawTest, NoProgressLineAtAConsole) {
    sim::computer().stdout_kind = sim::StdoutKind::console;
    console_mode = true;
    EXPECT_EQ(submit("AB"), "\"ok\":true,\"job\":1,\"bytes\":2");
    EXPECT_TRUE(sim::computer().console_text.empty());
}

// Every spooler call of a submission failing in turn: the error reported is
// the injected one, and nothing stays open or unended.
TEST_F(SendRawTest, EveryInjectedFailureLeavesTheSpoolerClean) {
    const char* steps[] = {"OpenPrinterW", "StartDocPrinterW", "StartPagePrinter", "WritePrinter",
                           "EndPagePrinter", "EndDocPrinter"};
    for (const char* step : steps) {
        sim::load_scenario(R"({"spooler": {"printers": [{"name": "XP-58"}]}})");
        sim::computer().faults.push_back({step, 1, ERROR_NOT_READY});
        free(members.data);
        members = {};
        std::string outcome = submit(kReceipt);
        EXPECT_NE(outcome.find("\"win32\":21,\"message\":\"The device is not ready\""), std::string::npos)
            << step << ": " << outcome;
        EXPECT_EQ(result, 1) << step;
        // An injected failure of an ending call leaves its page or document open.
        if (std::string(step).rfind("End", 0) != 0) {
            EXPECT_TRUE(sim::leaks().empty()) << step;
        }
    }
}

}  // namespace
