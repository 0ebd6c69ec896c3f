#include "inventory/printer_inventory.h"
#include "inventory/spooler_read.h"

#include <winspool.h>

#include <string>

#include "harness.h"

namespace {

using PrinterInventoryTest = SimTest;

const PrinterEntry& entry(int i) { return printer_inventory.printers[i]; }

// The names in the inventory, in order, joined by "|".
std::string names() {
    std::string joined;
    for (int i = 0; i < printer_inventory.printer_count; ++i) joined += (i ? "|" : "") + u8(entry(i).name);
    return joined;
}

sim::Printer queue(const std::string& name) {
    sim::Printer p;
    p.name = sim::utf8_to_utf16(name);
    p.port = u"USB001";
    p.driver = u"Receipt Driver";
    return p;
}

bool is_virtual(const char16_t* port, const char16_t* driver, const char16_t* name) {
    return is_virtual_printer(reinterpret_cast<const WCHAR*>(port), reinterpret_cast<const WCHAR*>(driver),
                              reinterpret_cast<const WCHAR*>(name));
}

bool contains(const char16_t* text, const char16_t* fragment) {
    return wide_contains_nocase(reinterpret_cast<const WCHAR*>(text), reinterpret_cast<const WCHAR*>(fragment));
}

TEST_F(PrinterInventoryTest, LocalQueuesThenConnectionsWithoutDuplicates) {
    sim::load_scenario(R"({"spooler": {
        "default": "xp-58",
        "printers": [
            {"name": "XP-58", "port": "USB001", "driver": "XP-58 Driver", "attributes": 584, "status": 129,
             "jobs_count": 0}
        ],
        "connections": [
            {"name": "xp-58", "attributes": 8},
            {"name": "\\\\SHOP-PC\\Kitchen", "port": "IP_10.0.0.9", "driver": "Kitchen Driver",
             "attributes": 8, "status": 2,
             "jobs": [{"id": 3, "document": "Order", "age_ms": 1000}]},
            {"name": "\\\\shop-pc\\KITCHEN", "attributes": 0}
        ]}})");
    collect_printers();

    EXPECT_EQ(names(), "XP-58|\\\\SHOP-PC\\Kitchen");
    EXPECT_EQ(u8(printer_inventory.default_printer), "xp-58");

    const PrinterEntry& local = entry(0);
    EXPECT_EQ(u8(local.port), "USB001");
    EXPECT_EQ(u8(local.driver), "XP-58 Driver");
    EXPECT_EQ(local.attributes, 584u);
    EXPECT_EQ(local.status, 129u);
    EXPECT_EQ(local.jobs, 0u);
    EXPECT_TRUE(local.details);
    EXPECT_TRUE(local.is_default);  // ASCII case is ignored
    EXPECT_FALSE(local.is_virtual);

    // A connection is known by name and attributes only, and its jobs are not read.
    const PrinterEntry& connection = entry(1);
    EXPECT_FALSE(connection.details);
    EXPECT_EQ(u8(connection.port), "");
    EXPECT_EQ(u8(connection.driver), "");
    EXPECT_EQ(connection.attributes, 8u | PRINTER_ATTRIBUTE_NETWORK);
    EXPECT_EQ(connection.status, 0u);
    EXPECT_EQ(connection.jobs, 0u);
    EXPECT_EQ(connection.job_count, 0);
    EXPECT_FALSE(connection.is_default);
    EXPECT_EQ(sim::computer().call_counts["OpenPrinterW"], 0u);
    EXPECT_TRUE(sim::leaks().empty());
}

TEST_F(PrinterInventoryTest, ASecondCollectionStartsFromEmpty) {
    sim::load_scenario(R"({"spooler": {"default": "A", "printers": [
        {"name": "A", "jobs": [{"id": 1}, {"id": 2}]}, {"name": "B"}]}})");
    collect_printers();
    ASSERT_EQ(printer_inventory.printer_count, 2);
    EXPECT_EQ(entry(0).job_count, 2);

    sim::computer().spooler.default_printer.reset();
    sim::computer().spooler.printers.pop_back();
    sim::computer().spooler.printers[0].jobs.clear();
    collect_printers();
    EXPECT_EQ(names(), "A");
    EXPECT_EQ(u8(printer_inventory.default_printer), "");
    EXPECT_FALSE(entry(0).is_default);
    EXPECT_EQ(entry(0).job_count, 0);  // the slot was cleared, not left from the first run
}

TEST_F(PrinterInventoryTest, VirtualPortsMatchTheWholeNameInAnyCase) {
    for (const char16_t* port : {u"Nul", u"nul", u"NUL:", u"file:", u"XPSPort:", u"portprompt:", u"ShrFax:",
                                 u"ad_port"}) {
        EXPECT_TRUE(is_virtual(port, u"Receipt Driver", u"Kassa")) << sim::utf16_to_utf8(port);
    }
    for (const char16_t* port : {u"XPSPort:2", u"FILE", u"NUL:1", u" nul", u"USB001", u"LPT1:", u""}) {
        EXPECT_FALSE(is_virtual(port, u"Receipt Driver", u"Kassa")) << sim::utf16_to_utf8(port);
    }
    // A file path ending in .PDF, or holding .pdf anywhere.
    EXPECT_TRUE(is_virtual(u"C:\\Receipts\\DAY.PDF", u"Receipt Driver", u"Kassa"));
    EXPECT_TRUE(is_virtual(u"C:\\out.pdf.tmp", nullptr, nullptr));
    EXPECT_FALSE(is_virtual(u"C:\\out_pdf", nullptr, nullptr));
}

TEST_F(PrinterInventoryTest, VirtualFragmentsInTheDriverOrTheName) {
    EXPECT_TRUE(is_virtual(u"USB001", u"Receipt Driver", u"Office Telefax"));
    EXPECT_TRUE(is_virtual(u"USB001", u"Generic pdf Writer", u"Kassa"));
    EXPECT_TRUE(is_virtual(u"USB001", nullptr, u"Send To Notes"));
    EXPECT_TRUE(is_virtual(u"USB001", u"anydesk printer", nullptr));
    EXPECT_TRUE(is_virtual(u"USB001", u"Receipt Driver", u"Факс бухгалтерии"));
    EXPECT_TRUE(is_virtual(u"", u"", u"my onenote"));
    EXPECT_TRUE(is_virtual(u"", u"", u"XPS DOCUMENT WRITER"));
    // Only ASCII letters fold: Cyrillic capitals or a lower-case first letter do not match "Факс".
    EXPECT_FALSE(is_virtual(u"USB001", u"Receipt Driver", u"ФАКС бухгалтерии"));
    EXPECT_FALSE(is_virtual(u"USB001", u"Receipt Driver", u"факс"));
    EXPECT_FALSE(is_virtual(u"USB001", u"SendTo", u"XPS Writer"));
    EXPECT_FALSE(is_virtual(u"USB001", nullptr, nullptr));

    // Through the inventory: a connection is classified by its name.
    sim::load_scenario(R"({"spooler": {
        "printers": [{"name": "Office Telefax", "port": "USB002", "driver": "Laser"},
                     {"name": "ФАКС", "port": "USB003", "driver": "Laser"},
                     {"name": "Kassa", "port": "Nul", "driver": "Laser"}],
        "connections": [{"name": "\\\\SHOP-PC\\PDF"}]}})");
    collect_printers();
    ASSERT_EQ(printer_inventory.printer_count, 4);
    EXPECT_TRUE(entry(0).is_virtual);
    EXPECT_FALSE(entry(1).is_virtual);
    EXPECT_TRUE(entry(2).is_virtual);
    EXPECT_TRUE(entry(3).is_virtual);
}

TEST_F(PrinterInventoryTest, ContainsNocase) {
    EXPECT_TRUE(contains(u"Office Telefax", u"FAX"));
    EXPECT_TRUE(contains(u"pdf", u"PDF"));
    EXPECT_TRUE(contains(u"a", u""));  // an empty fragment is found in any text
    EXPECT_FALSE(contains(u"", u""));
    EXPECT_FALSE(contains(u"", u"a"));
    EXPECT_FALSE(contains(u"PD", u"PDF"));
    EXPECT_FALSE(contains(u"ФАКС", u"факс"));
    EXPECT_FALSE(wide_contains_nocase(nullptr, L"a"));
    EXPECT_FALSE(wide_contains_nocase(L"a", nullptr));
}

TEST_F(PrinterInventoryTest, UnreadableDefaultPrinterMarksNoEntry) {
    const std::string long_name(259, 'L');  // with its NUL one more than the 259 characters offered
    const std::string fitting_name(258, 'F');
    struct Case {
        const char* what;
        std::optional<std::string> default_name;
        DWORD error;
        bool marked;
    };
    for (const Case& c : {Case{"fails", std::string("XP-58"), ERROR_ACCESS_DENIED, false},
                          Case{"none", std::nullopt, 0, false}, Case{"too long", long_name, 0, false},
                          Case{"fits", fitting_name, 0, true}}) {
        sim::reset();
        for (const std::string& name : {std::string("XP-58"), long_name, fitting_name}) {
            sim::computer().spooler.printers.push_back(queue(name));
        }
        if (c.default_name) sim::computer().spooler.default_printer = sim::utf8_to_utf16(*c.default_name);
        sim::computer().spooler.default_error = c.error;
        collect_printers();
        ASSERT_EQ(printer_inventory.printer_count, 3) << c.what;
        EXPECT_EQ(u8(printer_inventory.default_printer), c.marked ? fitting_name : "") << c.what;
        EXPECT_FALSE(entry(0).is_default) << c.what;
        EXPECT_FALSE(entry(1).is_default) << c.what;
        EXPECT_EQ(bool(entry(2).is_default), c.marked) << c.what;
    }
}

TEST_F(PrinterInventoryTest, JobsWithTheirAges) {
    // The clock starts at 2026-03-01T06:05:07.250Z.
    const unsigned long long now_ms = 1772345107250ULL;
    sim::load_scenario(R"({"spooler": {"printers": [{"name": "XP-58", "jobs": [
        {"id": 7, "document": "Morvik ESC/POS", "status": 16, "status_text": "Печать", "age_ms": 60000},
        {"id": 8, "age_ms": -5000},
        {"id": 9, "age_ms": 0},
        {"id": 10, "submitted": "invalid"},
        {"id": 11, "submitted": "before_1970"},
        {"id": 12, "submitted": "1970-01-01T00:00:00.000Z"},
        {"id": 13, "submitted": "1970-01-01T00:00:00.001Z"},
        {"id": 14, "document": "", "age_ms": 1}
    ]}]}})");
    EXPECT_EQ(now_unix_ms(), now_ms);
    collect_printers();
    const PrinterEntry& p = entry(0);
    EXPECT_EQ(p.jobs, 8u);
    ASSERT_EQ(p.job_count, 8);
    const unsigned long long ages[] = {60000, 0, 0, 0, 0, 0, now_ms - 1, 1};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(p.job_list[i].id, 7u + i);
        EXPECT_EQ(p.job_list[i].age_ms, ages[i]) << "job " << p.job_list[i].id;
    }
    EXPECT_EQ(p.job_list[0].status, 16u);
    EXPECT_EQ(u8(p.job_list[0].doc), "Morvik ESC/POS");
    EXPECT_EQ(u8(p.job_list[0].status_text), "Печать");
    EXPECT_EQ(u8(p.job_list[1].status_text), "");
    EXPECT_EQ(u8(p.job_list[7].doc), "");
    // One reading of the clock for the whole queue; the queue is closed again.
    EXPECT_EQ(sim::computer().call_counts["GetSystemTimeAsFileTime"], 2u);  // one is the check above
    EXPECT_EQ(sim::computer().call_counts["ClosePrinter"], 1u);
    EXPECT_TRUE(sim::leaks().empty());
}

TEST_F(PrinterInventoryTest, LongTextsAreCut) {
    sim::Printer p = queue("");
    std::string name;
    for (int i = 0; i < 300; ++i) name += "Ж";
    p.name = sim::utf8_to_utf16(name);
    p.port = std::u16string(200, u'P');
    p.driver = std::u16string(200, u'D');
    sim::computer().spooler.printers.push_back(p);
    sim::Printer with_job = queue("Q");
    sim::Job job;
    job.id = 1;
    job.document = std::u16string(100, u'd');
    job.status_text = std::u16string(100, u's');
    with_job.jobs.push_back(job);
    sim::computer().spooler.printers.push_back(with_job);
    collect_printers();

    ASSERT_EQ(printer_inventory.printer_count, 2);
    std::string cut;
    for (int i = 0; i < 259; ++i) cut += "Ж";
    EXPECT_EQ(u8(entry(0).name), cut);
    EXPECT_EQ(u8(entry(0).port), std::string(127, 'P'));
    EXPECT_EQ(u8(entry(0).driver), std::string(127, 'D'));
    ASSERT_EQ(entry(1).job_count, 1);
    EXPECT_EQ(u8(entry(1).job_list[0].doc), std::string(63, 'd'));
    EXPECT_EQ(u8(entry(1).job_list[0].status_text), std::string(63, 's'));
}

TEST_F(PrinterInventoryTest, AtMost64Printers) {
    for (int i = 0; i < 70; ++i) sim::computer().spooler.printers.push_back(queue("Q" + std::to_string(i)));
    sim::computer().spooler.connections.push_back(queue("\\\\SHOP-PC\\Kitchen"));
    collect_printers();
    ASSERT_EQ(printer_inventory.printer_count, 64);
    EXPECT_EQ(u8(entry(63).name), "Q63");
    EXPECT_TRUE(entry(63).details);

    // Connections fill the room the local queues leave, and no more.
    sim::reset();
    for (int i = 0; i < 60; ++i) sim::computer().spooler.printers.push_back(queue("Q" + std::to_string(i)));
    for (int i = 0; i < 6; ++i) sim::computer().spooler.connections.push_back(queue("C" + std::to_string(i)));
    collect_printers();
    ASSERT_EQ(printer_inventory.printer_count, 64);
    EXPECT_EQ(u8(entry(60).name), "C0");
    EXPECT_EQ(u8(entry(63).name), "C3");
    EXPECT_FALSE(entry(63).details);
}

TEST_F(PrinterInventoryTest, JobListLimitsAndFailures) {
    sim::Printer many = queue("Many");
    for (DWORD id = 1; id <= 25; ++id) {
        sim::Job job;
        job.id = id;
        job.submitted.filetime = sim::computer().clock.start_filetime;
        many.jobs.push_back(job);
    }
    sim::Printer counted = queue("Counted");  // the spooler counts more than it lists
    counted.jobs = {many.jobs[0], many.jobs[1], many.jobs[2]};
    counted.jobs_count = 30;
    sim::Printer closed = queue("Closed");
    closed.jobs = counted.jobs;
    closed.open_error = ERROR_ACCESS_DENIED;
    sim::Printer unlisted = queue("Unlisted");
    unlisted.jobs = counted.jobs;
    unlisted.enum_jobs_error = ERROR_GEN_FAILURE;
    sim::Printer emptied = queue("Emptied");  // counted, but gone by the time the list is read
    emptied.jobs_count = 2;
    sim::Printer uncounted = queue("Uncounted");  // a job count of 0: the queue is not opened
    uncounted.jobs = counted.jobs;
    uncounted.jobs_count = 0;
    sim::computer().spooler.printers = {many, counted, closed, unlisted, emptied, uncounted};
    collect_printers();

    ASSERT_EQ(printer_inventory.printer_count, 6);
    EXPECT_EQ(entry(0).jobs, 25u);
    ASSERT_EQ(entry(0).job_count, 20);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(entry(0).job_list[i].id, DWORD(i + 1));
    EXPECT_EQ(entry(1).jobs, 30u);
    EXPECT_EQ(entry(1).job_count, 3);
    EXPECT_EQ(entry(2).jobs, 3u);
    EXPECT_EQ(entry(2).job_count, 0);
    EXPECT_EQ(entry(3).jobs, 3u);
    EXPECT_EQ(entry(3).job_count, 0);
    EXPECT_EQ(entry(4).jobs, 2u);
    EXPECT_EQ(entry(4).job_count, 0);
    EXPECT_EQ(entry(5).jobs, 0u);
    EXPECT_EQ(entry(5).job_count, 0);

    // Each queue with jobs opened once; every handle that opened was closed.
    EXPECT_EQ(sim::computer().call_counts["OpenPrinterW"], 5u);
    EXPECT_EQ(sim::computer().call_counts["ClosePrinter"], 4u);
    EXPECT_TRUE(sim::leaks().empty());
}

TEST_F(PrinterInventoryTest, AFailedEnumerationLeavesTheOtherOne) {
    const std::string scenario = R"({"spooler": {
        "printers": [{"name": "XP-58", "jobs": [{"id": 1}]}],
        "connections": [{"name": "\\\\SHOP-PC\\Kitchen"}]}})";
    struct Case {
        const char* what;
        const char* function;
        unsigned nth;
        std::string expected;
    };
    // EnumPrintersW is called to size and then to fill, locals first.
    for (const Case& c : {Case{"local size", "EnumPrintersW", 1, "\\\\SHOP-PC\\Kitchen"},
                          Case{"local fill", "EnumPrintersW", 2, "\\\\SHOP-PC\\Kitchen"},
                          Case{"connection size", "EnumPrintersW", 3, "XP-58"},
                          Case{"connection fill", "EnumPrintersW", 4, "XP-58"}}) {
        sim::load_scenario(scenario);
        sim::computer().faults.push_back({c.function, c.nth, ERROR_GEN_FAILURE});
        collect_printers();
        EXPECT_EQ(names(), c.expected) << c.what;
        EXPECT_TRUE(sim::leaks().empty()) << c.what;
    }

    sim::load_scenario(R"({"spooler": {"enum_local_error": 1722,
        "printers": [{"name": "XP-58"}], "connections": [{"name": "\\\\SHOP-PC\\Kitchen"}]}})");
    collect_printers();
    EXPECT_EQ(names(), "\\\\SHOP-PC\\Kitchen");
    sim::load_scenario(R"({"spooler": {"enum_connections_error": 1722,
        "printers": [{"name": "XP-58"}], "connections": [{"name": "\\\\SHOP-PC\\Kitchen"}]}})");
    collect_printers();
    EXPECT_EQ(names(), "XP-58");
}

TEST_F(PrinterInventoryTest, AllocationFailuresAreNotFatal) {
    const std::string scenario = R"({"spooler": {
        "printers": [{"name": "XP-58", "jobs": [{"id": 1}]}],
        "connections": [{"name": "\\\\SHOP-PC\\Kitchen"}]}})";
    struct Case {
        const char* what;
        std::string expected;
        int job_count;
    };
    // The allocations, in order: local records, connection records, the job list.
    const Case cases[] = {{"local records", "\\\\SHOP-PC\\Kitchen", 0},
                          {"connection records", "XP-58", 1},
                          {"job list", "XP-58|\\\\SHOP-PC\\Kitchen", 0}};
    for (unsigned n = 0; n < 3; ++n) {
        sim::load_scenario(scenario);
        sim::computer().fail_allocation_nth = sim::computer().allocation_count + n + 1;
        EXPECT_NO_THROW(collect_printers()) << cases[n].what;  // a ProcessExit would be thrown
        EXPECT_EQ(names(), cases[n].expected) << cases[n].what;
        if (printer_inventory.printer_count > 0) {
            EXPECT_EQ(entry(0).job_count, cases[n].job_count) << cases[n].what;
        }
        EXPECT_TRUE(sim::leaks().empty()) << cases[n].what;
    }
}

}  // namespace
