// The simulated spooler keeps the contracts the program relies on.
#include <winspool.h>

#include <string>
#include <vector>

#include "harness.h"

namespace {

class SpoolerContract : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        sim::load_scenario(R"({"spooler": {"default": "XP-58",
            "printers": [{"name": "XP-58", "port": "USB001", "driver": "XP-58 drv", "status": 128, "attributes": 1024,
                          "jobs": [{"id": 12, "document": "Morvik ESC/POS", "status": 16, "age_ms": 61000},
                                   {"id": 15, "document": "Чек", "status_text": "Ошибка"},
                                   {"id": 16, "submitted": "invalid"}]},
                         {"name": "Кухня", "port": "LPT1:", "jobs_count": 7}],
            "connections": [{"name": "\\\\SHOP-PC\\Bar", "attributes": 8}]}})");
    }
};

TEST_F(SpoolerContract, DefaultPrinterSizes) {
    WCHAR name[16];
    DWORD size = 0;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(GetDefaultPrinterW(nullptr, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(size, 6u);  // characters with the NUL
    size = 5;
    EXPECT_FALSE(GetDefaultPrinterW(name, &size));
    EXPECT_EQ(size, 6u);
    size = 6;
    EXPECT_TRUE(GetDefaultPrinterW(name, &size));
    EXPECT_EQ(u8(name), "XP-58");
    sim::computer().spooler.default_printer.reset();
    EXPECT_FALSE(GetDefaultPrinterW(name, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(SpoolerContract, EnumerationSizingExactLessAndMore) {
    DWORD needed = 0, returned = 0;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &returned));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    ASSERT_GT(needed, 2 * sizeof(PRINTER_INFO_2W));
    std::vector<BYTE> buffer(needed + 1);
    EXPECT_FALSE(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), needed - 1, &needed, &returned));
    EXPECT_TRUE(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), needed + 1, &needed, &returned));
    ASSERT_EQ(returned, 2u);
    const PRINTER_INFO_2W* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
    EXPECT_EQ(u8(info[0].pPrinterName), "XP-58");
    EXPECT_EQ(u8(info[0].pPortName), "USB001");
    EXPECT_EQ(u8(info[0].pDriverName), "XP-58 drv");
    EXPECT_EQ(info[0].Status, 128u);
    EXPECT_EQ(info[0].Attributes, 1024u);
    EXPECT_EQ(info[0].cJobs, 3u);
    EXPECT_EQ(info[1].cJobs, 7u);
    // The strings live in the same buffer, after the records.
    const BYTE* strings = buffer.data() + 2 * sizeof(PRINTER_INFO_2W);
    for (const PRINTER_INFO_2W& r : {info[0], info[1]}) {
        for (LPWSTR text : {r.pPrinterName, r.pPortName, r.pDriverName}) {
            const BYTE* at = reinterpret_cast<const BYTE*>(text);
            EXPECT_TRUE(at >= strings && at < buffer.data() + needed);
        }
    }

    EXPECT_FALSE(EnumPrintersW(PRINTER_ENUM_CONNECTIONS, nullptr, 4, nullptr, 0, &needed, &returned));
    buffer.assign(needed, 0);
    ASSERT_TRUE(EnumPrintersW(PRINTER_ENUM_CONNECTIONS, nullptr, 4, buffer.data(), needed, &needed, &returned));
    const PRINTER_INFO_4W* connection = reinterpret_cast<const PRINTER_INFO_4W*>(buffer.data());
    EXPECT_EQ(u8(connection[0].pPrinterName), "\\\\SHOP-PC\\Bar");
    EXPECT_EQ(connection[0].Attributes, 8u);

    // Nothing to list: success with size 0.
    sim::reset();
    EXPECT_TRUE(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &returned));
    EXPECT_EQ(needed, 0u);
    EXPECT_EQ(returned, 0u);
}

TEST_F(SpoolerContract, JobsFromAPositionWithALimit) {
    HANDLE printer = nullptr;
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(L"xp-58"), &printer, nullptr));  // any ASCII case
    DWORD needed = 0, returned = 0;
    EXPECT_FALSE(EnumJobsW(printer, 1, 1, 1, nullptr, 0, &needed, &returned));
    std::vector<BYTE> buffer(needed);
    ASSERT_TRUE(EnumJobsW(printer, 1, 1, 1, buffer.data(), needed, &needed, &returned));
    ASSERT_EQ(returned, 1u);
    const JOB_INFO_1W* job = reinterpret_cast<const JOB_INFO_1W*>(buffer.data());
    EXPECT_EQ(job->JobId, 15u);
    EXPECT_EQ(u8(job->pDocument), "Чек");
    EXPECT_EQ(u8(job->pStatus), "Ошибка");

    ASSERT_FALSE(EnumJobsW(printer, 0, 20, 1, nullptr, 0, &needed, &returned));
    buffer.assign(needed, 0);
    ASSERT_TRUE(EnumJobsW(printer, 0, 20, 1, buffer.data(), needed, &needed, &returned));
    job = reinterpret_cast<const JOB_INFO_1W*>(buffer.data());
    EXPECT_EQ(returned, 3u);
    EXPECT_EQ(job[0].pStatus, nullptr);
    // 61 s before 2026-03-01T06:05:07.250Z.
    EXPECT_EQ(job[0].Submitted.wHour, 6);
    EXPECT_EQ(job[0].Submitted.wMinute, 4);
    EXPECT_EQ(job[0].Submitted.wSecond, 6);
    EXPECT_EQ(job[0].Submitted.wMilliseconds, 250);
    FILETIME ft;
    EXPECT_FALSE(SystemTimeToFileTime(&job[2].Submitted, &ft));
    EXPECT_TRUE(ClosePrinter(printer));
    EXPECT_TRUE(sim::leaks().empty());
}

TEST_F(SpoolerContract, UnknownNamesAndCleanUpErrors) {
    HANDLE printer = reinterpret_cast<HANDLE>(1);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(OpenPrinterW(const_cast<LPWSTR>(L"XP-80"), &printer, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
    EXPECT_EQ(printer, nullptr);
    // Cyrillic letters are not folded by the spooler's name lookup.
    EXPECT_FALSE(OpenPrinterW(const_cast<LPWSTR>(L"КУХНЯ"), &printer, nullptr));
    // A connection opens like an empty queue.
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(L"\\\\shop-pc\\bar"), &printer, nullptr));
    SetLastError(0xdeadbeef);
    EXPECT_TRUE(ClosePrinter(printer));
    EXPECT_NE(GetLastError(), 0xdeadbeefu);  // clean-up leaves its own last error
}

TEST_F(SpoolerContract, StartedJobsJoinTheQueueWithTheNextFreeId) {
    HANDLE printer = nullptr;
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(L"Кухня"), &printer, nullptr));
    DOC_INFO_1W doc = {const_cast<LPWSTR>(L"Morvik test"), nullptr, const_cast<LPWSTR>(L"RAW")};
    EXPECT_EQ(StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&doc)), 17u);
    EXPECT_EQ(StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&doc)), 0u);  // one at a time
    ASSERT_TRUE(StartPagePrinter(printer));
    DWORD written = 0;
    ASSERT_TRUE(WritePrinter(printer, const_cast<char*>("abc"), 3, &written));
    EXPECT_EQ(written, 3u);
    EXPECT_EQ(sim::leaks().size(), 3u);  // handle, document, page
    ASSERT_TRUE(EndPagePrinter(printer));
    ASSERT_TRUE(EndDocPrinter(printer));
    ASSERT_TRUE(ClosePrinter(printer));
    EXPECT_TRUE(sim::leaks().empty());
    const sim::Printer& kitchen = sim::computer().spooler.printers[1];
    EXPECT_EQ(*kitchen.jobs_count, 8u);
    ASSERT_EQ(kitchen.jobs.size(), 1u);
    EXPECT_EQ(kitchen.jobs[0].id, 17u);
    EXPECT_EQ(kitchen.jobs[0].status, 0u);
    EXPECT_EQ(kitchen.started[0].bytes, "abc");
}

TEST_F(SpoolerContract, AJobLeftOpenIsALeak) {
    allow_leaks();  // failing releases and unclosed objects are the point here
    HANDLE printer = nullptr;
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(L"XP-58"), &printer, nullptr));
    DOC_INFO_1W doc = {const_cast<LPWSTR>(L"x"), nullptr, const_cast<LPWSTR>(L"RAW")};
    ASSERT_NE(StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&doc)), 0u);
    ClosePrinter(printer);
    EXPECT_EQ(sim::leaks(), std::vector<std::string>{"document XP-58 job 17"});
}

TEST_F(SpoolerContract, WriteBehaviours) {
    sim::Printer& xp = sim::computer().spooler.printers[0];
    xp.write.max_per_call = 4;
    xp.write.fail_at = 6;
    xp.write.fail_error = ERROR_NOT_READY;
    HANDLE printer = nullptr;
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(L"XP-58"), &printer, nullptr));
    DOC_INFO_1W doc = {const_cast<LPWSTR>(L"x"), nullptr, const_cast<LPWSTR>(L"RAW")};
    ASSERT_NE(StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&doc)), 0u);
    char data[10] = "012345678";
    DWORD written = 99;
    EXPECT_TRUE(WritePrinter(printer, data, 9, &written));
    EXPECT_EQ(written, 4u);
    EXPECT_TRUE(WritePrinter(printer, data + 4, 5, &written));
    EXPECT_EQ(written, 2u);  // stops before byte 6
    EXPECT_FALSE(WritePrinter(printer, data + 6, 3, &written));
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_READY));
    EndDocPrinter(printer);
    ClosePrinter(printer);
    EXPECT_EQ(xp.started[0].bytes, "012345");
}

HANDLE open_queue(const wchar_t* name) {
    HANDLE printer = nullptr;
    EXPECT_TRUE(OpenPrinterW(const_cast<LPWSTR>(name), &printer, nullptr));
    return printer;
}

TEST_F(SpoolerContract, GetPrinterSizingExactLessAndMore) {
    HANDLE printer = open_queue(L"XP-58");
    DWORD needed = 99;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(GetPrinterW(printer, 2, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    // "\\SHOP-PC", "XP-58", "USB001", "XP-58 drv", "RAW": 37 units with their NULs.
    ASSERT_EQ(needed, sizeof(PRINTER_INFO_2W) + 37 * 2);
    std::vector<BYTE> buffer(needed + 1, 0xCC);
    DWORD exact = needed;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(GetPrinterW(printer, 2, buffer.data(), exact - 1, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(needed, exact);
    EXPECT_EQ(buffer[0], 0xCC);  // nothing written
    for (DWORD size : {exact, exact + 1}) {
        std::fill(buffer.begin(), buffer.end(), 0xCC);
        ASSERT_TRUE(GetPrinterW(printer, 2, buffer.data(), size, &needed));
        EXPECT_EQ(needed, exact);
        EXPECT_EQ(buffer[exact], 0xCC);  // the byte past the record stays
        const PRINTER_INFO_2W* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
        EXPECT_EQ(u8(info->pPrinterName), "XP-58");
        EXPECT_EQ(u8(info->pPortName), "USB001");
        EXPECT_EQ(u8(info->pDriverName), "XP-58 drv");
        EXPECT_EQ(info->Status, 128u);
        EXPECT_EQ(info->Attributes, 1024u);
        EXPECT_EQ(info->cJobs, 3u);
    }
    sim::computer().spooler.printers[0].get_printer_error = ERROR_ACCESS_DENIED;
    needed = 99;
    EXPECT_FALSE(GetPrinterW(printer, 2, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(needed, 0u);
    ClosePrinter(printer);
}

TEST_F(SpoolerContract, GetJobSizingAndJobsNotInTheQueue) {
    HANDLE printer = open_queue(L"XP-58");
    DWORD needed = 0;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(GetJobW(printer, 15, 1, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    // "XP-58", "\\SHOP-PC", "kassa", "Чек", "RAW", "Ошибка": 37 units with their NULs.
    ASSERT_EQ(needed, sizeof(JOB_INFO_1W) + 37 * 2);
    DWORD exact = needed;
    std::vector<BYTE> buffer(exact + 1, 0xCC);
    EXPECT_FALSE(GetJobW(printer, 15, 1, buffer.data(), exact - 1, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(needed, exact);
    for (DWORD size : {exact, exact + 1}) {
        ASSERT_TRUE(GetJobW(printer, 15, 1, buffer.data(), size, &needed));
        const JOB_INFO_1W* job = reinterpret_cast<const JOB_INFO_1W*>(buffer.data());
        EXPECT_EQ(job->JobId, 15u);
        EXPECT_EQ(job->Position, 2u);
        EXPECT_EQ(u8(job->pDocument), "Чек");
        EXPECT_EQ(u8(job->pStatus), "Ошибка");
        EXPECT_EQ(buffer[exact], 0xCC);
    }

    // A job the queue does not hold: the sizing call reports 0.
    needed = 99;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(GetJobW(printer, 13, 1, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(needed, 0u);
    ClosePrinter(printer);
}

TEST_F(SpoolerContract, SetJobDeletesRefusesAndRecords) {
    sim::computer().spooler.printers[0].jobs[1].delete_error = ERROR_ACCESS_DENIED;
    HANDLE printer = open_queue(L"XP-58");
    DOC_INFO_1W doc = {const_cast<LPWSTR>(L"Morvik test"), nullptr, const_cast<LPWSTR>(L"RAW")};
    ASSERT_EQ(StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&doc)), 17u);
    ASSERT_TRUE(EndDocPrinter(printer));

    EXPECT_TRUE(SetJobW(printer, 12, 0, nullptr, JOB_CONTROL_DELETE));
    EXPECT_TRUE(SetJobW(printer, 17, 0, nullptr, JOB_CONTROL_DELETE));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetJobW(printer, 15, 0, nullptr, JOB_CONTROL_DELETE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(SetJobW(printer, 12, 0, nullptr, JOB_CONTROL_DELETE));  // gone already
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(SetJobW(printer, 16, 0, nullptr, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    // Pause and resume change the job's status bit.
    EXPECT_TRUE(SetJobW(printer, 16, 0, nullptr, JOB_CONTROL_PAUSE));
    EXPECT_EQ(sim::computer().spooler.printers[0].jobs[1].status, static_cast<DWORD>(JOB_STATUS_PAUSED));
    EXPECT_TRUE(SetJobW(printer, 16, 0, nullptr, JOB_CONTROL_RESUME));
    EXPECT_TRUE(ClosePrinter(printer));

    const sim::Printer& xp = sim::computer().spooler.printers[0];
    std::vector<DWORD> left;
    for (const sim::Job& job : xp.jobs) left.push_back(job.id);
    EXPECT_EQ(left, (std::vector<DWORD>{15, 16}));
    EXPECT_EQ(xp.jobs[1].status, 0u);
    EXPECT_EQ(xp.deleted_job_ids, (std::vector<DWORD>{12, 17}));
    EXPECT_TRUE(xp.started[0].deleted);
    // A deleted id is never given out again.
    printer = open_queue(L"XP-58");
    EXPECT_EQ(StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&doc)), 18u);
    EndDocPrinter(printer);
    ClosePrinter(printer);
    EXPECT_TRUE(sim::leaks().empty());
}

// A purge deletes job after job from a long queue: the rest keep their order,
// and EnumJobsW's FirstJob and GetJobW's Position count the queue as it is.
TEST(JobQueue, DeletionsKeepTheOrder) {
    sim::load_scenario(R"({"spooler": {"printers": [{"name": "XP-58"}]}})");
    sim::JobQueue& jobs = sim::computer().spooler.printers[0].jobs;
    for (DWORD id = 1; id <= 301; ++id) {
        sim::Job job;
        job.id = id <= 300 ? id : 6;  // a second job 6 at the end
        jobs.push_back(job);
    }
    HANDLE printer = open_queue(L"XP-58");
    for (DWORD id = 1; id <= 300; ++id) {
        if (id % 6 != 0) {
            EXPECT_TRUE(SetJobW(printer, id, 0, nullptr, JOB_CONTROL_DELETE)) << id;
        }
    }
    EXPECT_TRUE(SetJobW(printer, 6, 0, nullptr, JOB_CONTROL_DELETE));  // the first of the two
    std::vector<DWORD> left;
    for (const sim::Job& job : jobs) left.push_back(job.id);
    ASSERT_EQ(left.size(), 50u);
    EXPECT_EQ(std::vector<DWORD>(left.begin(), left.begin() + 3), (std::vector<DWORD>{12, 18, 24}));
    EXPECT_EQ(std::vector<DWORD>(left.end() - 3, left.end()), (std::vector<DWORD>{294, 300, 6}));

    DWORD needed = 0, returned = 0;
    EnumJobsW(printer, 48, 5, 1, nullptr, 0, &needed, &returned);
    std::vector<BYTE> buffer(needed);
    ASSERT_TRUE(EnumJobsW(printer, 48, 5, 1, buffer.data(), needed, &needed, &returned));
    ASSERT_EQ(returned, 2u);
    const JOB_INFO_1W* listed = reinterpret_cast<const JOB_INFO_1W*>(buffer.data());
    EXPECT_EQ(listed[0].JobId, 300u);
    EXPECT_EQ(listed[1].Position, 50u);
    GetJobW(printer, 300, 1, nullptr, 0, &needed);
    buffer.assign(needed, 0);
    ASSERT_TRUE(GetJobW(printer, 300, 1, buffer.data(), needed, &needed));
    EXPECT_EQ(reinterpret_cast<const JOB_INFO_1W*>(buffer.data())->Position, 49u);
    ClosePrinter(printer);
}

// The queue as GetJobW sees it: the ids still there, in order.
std::vector<DWORD> queue_ids(HANDLE printer, const std::vector<DWORD>& candidates) {
    std::vector<DWORD> present;
    for (DWORD id : candidates) {
        DWORD needed = 0;
        GetJobW(printer, id, 1, nullptr, 0, &needed);
        if (needed != 0) present.push_back(id);
    }
    return present;
}

DWORD printer_status(HANDLE printer, DWORD* attributes) {
    DWORD needed = 0;
    GetPrinterW(printer, 2, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    EXPECT_TRUE(GetPrinterW(printer, 2, buffer.data(), needed, &needed));
    const PRINTER_INFO_2W* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
    *attributes = info->Attributes;
    return info->Status;
}

TEST(Timeline, EventsHappenAtTheFirstCallAtOrAfterTheirTime) {
    sim::load_scenario(R"({"spooler": {"default": "XP-58",
        "printers": [{"name": "XP-58", "port": "USB001", "jobs": [{"id": 12, "status": 16}]}]},
      "timeline": [
        {"at_ms": 1500, "printer": "XP-58", "remove_job": 12},
        {"at_ms": 2000, "printer": "xp-58", "set_status": 16, "set_attributes": 1024,
         "set_job_status": {"id": 12, "status": 2}},
        {"at_ms": 2000, "printer": "XP-58", "set_job_status": {"id": 20, "status": 2}, "remove_job": 99},
        {"at_ms": 1000, "printer": "XP-58", "add_job": {"document": "Чужой"}},
        {"at_ms": 0, "printer": "XP-58", "add_job": {"id": 20, "document": "Заказ", "age_ms": 3000}},
        {"at_ms": -5, "set_default": null},
        {"at_ms": 2500, "set_default": "Кухня"},
        {"at_ms": 100, "printer": "Нет такого", "remove_job": 12}]})");
    sim::Computer& pc = sim::computer();
    // At 0 ms or before: applied before the program starts.
    EXPECT_FALSE(pc.spooler.default_printer.has_value());
    ASSERT_EQ(pc.spooler.printers[0].jobs.size(), 2u);
    EXPECT_EQ(pc.spooler.printers[0].jobs[1].id, 20u);

    HANDLE printer = open_queue(L"XP-58");
    Sleep(999);
    EXPECT_EQ(queue_ids(printer, {12, 20, 21}), (std::vector<DWORD>{12, 20}));
    Sleep(1);
    // The job that arrives later gets the next free id, stamped when it arrives.
    EXPECT_EQ(queue_ids(printer, {12, 20, 21}), (std::vector<DWORD>{12, 20, 21}));
    EXPECT_EQ(pc.spooler.printers[0].jobs[2].submitted.filetime, pc.clock.start_filetime + 1000 * 10000);

    Sleep(499);
    EXPECT_EQ(queue_ids(printer, {12}), (std::vector<DWORD>{12}));
    size_t logged = pc.call_log.size();
    Sleep(1);  // Sleep sees the clock before it moves it: the job is still there until the next call
    EXPECT_EQ(pc.spooler.printers[0].jobs.size(), 3u);
    EXPECT_EQ(queue_ids(printer, {12}), std::vector<DWORD>{});
    EXPECT_EQ(pc.call_log.size(), logged + 2);  // events add nothing to the log
    DWORD attributes = 0;
    EXPECT_EQ(printer_status(printer, &attributes), 0u);

    Sleep(500);  // paper out from 2000 ms; the event's job 12 is gone, the rest of it still applies
    EXPECT_EQ(printer_status(printer, &attributes), 16u);
    EXPECT_EQ(attributes, 1024u);
    EXPECT_EQ(pc.spooler.printers[0].jobs[0].id, 20u);
    EXPECT_EQ(pc.spooler.printers[0].jobs[0].status, 2u);
    EXPECT_EQ(pc.spooler.printers[0].jobs.size(), 2u);  // removing job 99 did nothing

    // Each event once: what the program changes afterwards stays.
    pc.spooler.printers[0].status = 0;
    Sleep(10000);
    EXPECT_EQ(printer_status(printer, &attributes), 0u);
    EXPECT_EQ(pc.spooler.printers[0].jobs.size(), 2u);
    EXPECT_EQ(sim::utf16_to_utf8(pc.spooler.default_printer.value_or(u"")), "Кухня");
    ClosePrinter(printer);

    // The same through the builder: due at the next call.
    pc.timeline.push_back(sim::TimelineEvent{});
    pc.timeline.back().at_ms = 12000;
    pc.timeline.back().printer = u"XP-58";
    pc.timeline.back().set_status = PRINTER_STATUS_OFFLINE;
    EXPECT_EQ(pc.spooler.printers[0].status, 0u);
    GetTickCount();
    EXPECT_EQ(pc.spooler.printers[0].status, static_cast<DWORD>(PRINTER_STATUS_OFFLINE));
}

}  // namespace
