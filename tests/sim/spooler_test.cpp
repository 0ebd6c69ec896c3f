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

}  // namespace
