#include "printing/probes.h"

#include <winspool.h>

#include <string>

#include "harness.h"

namespace {

// 2026-03-01T06:05:07.250Z, the simulator's start, in ms since 1970.
const unsigned long long kStartMs = 1772345107250ULL;

class ProbesTest : public SimTest {
protected:
    void open(const std::string& scenario) {
        sim::load_scenario(scenario);
        ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(L"XP-58"), &queue, nullptr));
    }
    void TearDown() override {
        if (queue != nullptr) ClosePrinter(queue);
        EXPECT_TRUE(sim::leaks().empty());
    }
    // Asks about a job; the outputs start out as garbage so that what the probe sets shows.
    int job(DWORD number, unsigned long long since_ms) {
        status = 0xdeadbeef;
        for (WCHAR& unit : text) unit = L'#';
        text[PROBE_TEXT_ROOM - 1] = 0;
        found = 777;
        error = 777;
        return probe_job(queue, number, since_ms, &status, text, &found, &error);
    }

    HANDLE queue = nullptr;
    DWORD status = 0;
    WCHAR text[PROBE_TEXT_ROOM];
    DWORD found = 0;
    DWORD error = 0;
};

TEST_F(ProbesTest, JobByNumber) {
    open(R"({"spooler": {"printers": [{"name": "XP-58", "jobs": [
        {"id": 12, "status": 98, "status_text": "Нет связи с принтером"}, {"id": 13}]}]}})");
    EXPECT_EQ(job(12, 0), 1);
    EXPECT_EQ(status, 98u);
    EXPECT_EQ(u8(text), "Нет связи с принтером");
    EXPECT_EQ(found, 12u);

    // No status text: the text is emptied all the same.
    EXPECT_EQ(job(13, kStartMs), 1);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(u8(text), "");
    EXPECT_EQ(found, 13u);

    // Gone: the sizing call reports 0 and nothing else is asked.
    EXPECT_EQ(job(99, 0), 0);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(u8(text), "");
    EXPECT_EQ(found, 777u);
    EXPECT_EQ(sim::computer().call_counts["GetJobW"], 5u);
}

TEST_F(ProbesTest, JobsBySubmitTime) {
    open(R"({"spooler": {"printers": [{"name": "XP-58", "jobs": [
        {"id": 20, "age_ms": 100000, "status": 4096, "status_text": "old"},
        {"id": 21, "age_ms": 5001, "status": 1024},
        {"id": 22, "age_ms": 5000, "status": 1},
        {"id": 23, "age_ms": -1000, "status": 64, "status_text": "first text"},
        {"id": 24, "submitted": "invalid", "status": 2, "status_text": "second text"},
        {"id": 25, "submitted": "before_1970", "status": 16},
        {"id": 26, "age_ms": 5001}]}]}})");
    // 5000 ms before since_ms still counts, 5001 does not; unknown times always count.
    EXPECT_EQ(job(0, kStartMs), 1);
    EXPECT_EQ(status, 1u | 64 | 2 | 16);
    EXPECT_EQ(u8(text), "first text");
    EXPECT_EQ(found, 25u);

    // since_ms 0: every job, the first text, the last id.
    EXPECT_EQ(job(0, 0), 1);
    EXPECT_EQ(status, 4096u | 1024 | 1 | 64 | 2 | 16);
    EXPECT_EQ(u8(text), "old");
    EXPECT_EQ(found, 26u);

    // Nothing recent enough.
    sim::computer().spooler.printers[0].jobs.resize(2);
    EXPECT_EQ(job(0, kStartMs), 0);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(u8(text), "");
    EXPECT_EQ(found, 777u);

    sim::computer().spooler.printers[0].jobs.clear();
    EXPECT_EQ(job(0, 0), 0);
    EXPECT_EQ(found, 777u);
}

TEST_F(ProbesTest, OnlyTheFirst64JobsAndLongTextsCut) {
    open(R"({"spooler": {"printers": [{"name": "XP-58"}]}})");
    sim::Printer& printer = sim::computer().spooler.printers[0];
    for (DWORD id = 1; id <= 70; ++id) {
        sim::Job queued;
        queued.id = id;
        queued.status = id > 64 ? JOB_STATUS_PAPEROUT : 0;
        queued.submitted.filetime = sim::now_filetime();
        printer.jobs.push_back(queued);
    }
    printer.jobs[3].status_text = std::u16string(200, u'Ж');
    EXPECT_EQ(job(0, 0), 1);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(found, 64u);
    EXPECT_EQ(u8(text), sim::utf16_to_utf8(std::u16string(127, u'Ж')));
}

TEST_F(ProbesTest, PrinterSnapshotAndKeepingTheLastOne) {
    std::string port(200, 'P');
    port.replace(0, 3, "USB");
    open(R"({"spooler": {"printers": [{"name": "XP-58", "port": ")" + port +
         R"(", "status": 16, "attributes": 1024, "jobs_count": 7}]}})");
    DWORD printer_status = 1, attributes = 1, jobs = 1;
    WCHAR port_name[PROBE_TEXT_ROOM] = L"old";
    probe_printer(queue, &printer_status, &attributes, &jobs, port_name);
    EXPECT_EQ(printer_status, 16u);
    EXPECT_EQ(attributes, 1024u);
    EXPECT_EQ(jobs, 7u);
    EXPECT_EQ(u8(port_name), port.substr(0, 127));

    // A spooler that cannot answer leaves the last snapshot: a scripted error,
    // then the sizing call and the second call failing in turn.
    sim::Printer& printer = sim::computer().spooler.printers[0];
    printer.status = 0;
    printer.attributes = 0;
    printer.jobs_count = 0;
    printer.port = u"LPT1";
    printer.get_printer_error = ERROR_ACCESS_DENIED;
    probe_printer(queue, &printer_status, &attributes, &jobs, port_name);
    printer.get_printer_error = 0;
    for (unsigned nth : {4u, 6u}) {
        sim::computer().faults = {{"GetPrinterW", nth, RPC_S_SERVER_UNAVAILABLE}};
        probe_printer(queue, &printer_status, &attributes, &jobs, port_name);
    }
    sim::computer().fail_allocation_nth = sim::computer().allocation_count + 1;
    probe_printer(queue, &printer_status, &attributes, &jobs, port_name);
    EXPECT_EQ(printer_status, 16u);
    EXPECT_EQ(attributes, 1024u);
    EXPECT_EQ(jobs, 7u);
    EXPECT_EQ(u8(port_name), port.substr(0, 127));
    EXPECT_EQ(sim::computer().call_counts["GetPrinterW"], 7u);
}

TEST_F(ProbesTest, MemoryShortMeansPresentAndAFailingSpoolerIsNoAnswer) {
    open(R"({"spooler": {"printers": [{"name": "XP-58", "jobs": [
        {"id": 12, "status": 64, "status_text": "Out of paper"}]}]}})");
    for (DWORD number : {12u, 0u}) {
        sim::computer().fail_allocation_nth = sim::computer().allocation_count + 1;
        EXPECT_EQ(job(number, 0), JOB_PRESENT) << number;
        EXPECT_EQ(status, 0u);
        EXPECT_EQ(u8(text), "");
        EXPECT_EQ(found, 777u);
    }
    sim::computer().fail_allocation_nth = 0;

    // By number, 87 (a job Windows does not know) and no error at all (Wine's
    // finished job) mean gone; anything else means the spooler could not say.
    // By time, every failure means that.
    struct Case {
        DWORD number;
        unsigned nth;  // 1: the sizing call, 2: the call that fills
        DWORD injected;
        JobPresence presence;
    };
    const Case cases[] = {
        {12, 1, ERROR_INVALID_PARAMETER, JOB_GONE},  {12, 1, ERROR_SUCCESS, JOB_GONE},
        {12, 1, RPC_S_SERVER_UNAVAILABLE, JOB_UNKNOWN}, {12, 2, ERROR_INVALID_PARAMETER, JOB_GONE},
        {12, 2, ERROR_SUCCESS, JOB_GONE},            {12, 2, ERROR_ACCESS_DENIED, JOB_UNKNOWN},
        {0, 1, ERROR_SUCCESS, JOB_UNKNOWN},          {0, 1, ERROR_INVALID_HANDLE, JOB_UNKNOWN},
        {0, 2, ERROR_SUCCESS, JOB_UNKNOWN},          {0, 2, RPC_S_SERVER_UNAVAILABLE, JOB_UNKNOWN},
    };
    for (const Case& c : cases) {
        sim::computer().call_counts.clear();
        sim::computer().faults = {{c.number != 0 ? "GetJobW" : "EnumJobsW", c.nth, c.injected}};
        EXPECT_EQ(job(c.number, 0), c.presence) << c.number << " " << c.nth << " " << c.injected;
        EXPECT_EQ(error, c.presence == JOB_UNKNOWN ? c.injected : 777u) << c.number << " " << c.nth;
        EXPECT_EQ(status, 0u);
        EXPECT_EQ(found, 777u);
    }

    // A spooler that answers every job query of the queue with 1722.
    sim::computer().faults.clear();
    sim::computer().spooler.printers[0].get_job_error = RPC_S_SERVER_UNAVAILABLE;
    EXPECT_EQ(job(12, 0), JOB_UNKNOWN);
    EXPECT_EQ(job(99, 0), JOB_UNKNOWN);
    EXPECT_EQ(error, static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
}

}  // namespace
