// The simulated GDI records what a driver would print and audits every
// context, font, document and page, so a command that leaves one behind fails.
#include <windows.h>
#include <winspool.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "harness.h"

namespace {

class GdiContract : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        sim::load_scenario(R"({"spooler": {"printers": [
            {"name": "XP-58", "devcaps": {"LOGPIXELSY": 203, "HORZRES": 576}, "jobs": [{"id": 12}]},
            {"name": "Office", "devcaps": {"LOGPIXELSY": 600, "10": 7000}},
            {"name": "Broken", "createdc_error": 5, "open_error": 1722},
            {"name": "Closed", "open_error": 1722},
            {"name": "Failing", "startdoc_gdi_error": 1804},
            {"name": "Jammed", "endpage_error": 28},
            {"name": "Full", "enddoc_error": 112}]}})");
    }
};

HFONT arial(int height, int weight) {
    return CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, VARIABLE_PITCH | FF_SWISS, L"Arial");
}

HGDIOBJ object(HFONT font) { return reinterpret_cast<HGDIOBJ>(font); }

std::vector<std::string> sorted_leaks() {
    std::vector<std::string> leaks = sim::leaks();
    std::sort(leaks.begin(), leaks.end());
    return leaks;
}

// Starts a document with one page on `name`.
HDC start_page(const wchar_t* name, int* job) {
    HDC dc = CreateDCW(L"WINSPOOL", name, nullptr, nullptr);
    EXPECT_NE(dc, nullptr);
    DOCINFOW doc = {sizeof(DOCINFOW), L"Morvik test (driver)", nullptr, nullptr, 0};
    *job = StartDocW(dc, &doc);
    EXPECT_GT(*job, 0);
    EXPECT_GT(StartPage(dc), 0);
    return dc;
}

TEST_F(GdiContract, RecordsTheTextOfAPageAndTheStateFile) {
    HDC dc = CreateDCW(L"winspool", L"xp-58", nullptr, nullptr);  // any ASCII case
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSY), 203);
    EXPECT_EQ(GetDeviceCaps(dc, HORZRES), 576);
    EXPECT_EQ(GetDeviceCaps(dc, VERTRES), 0);  // not listed: not reported
    DOCINFOW doc = {sizeof(DOCINFOW), L"Morvik test (driver)", nullptr, nullptr, 0};
    EXPECT_EQ(StartDocW(dc, &doc), 13);
    EXPECT_EQ(StartDocW(dc, &doc), -1);  // one document at a time
    ASSERT_EQ(StartPage(dc), 1);
    HFONT header = arial(-39, FW_BOLD);
    HFONT body = arial(-28, FW_NORMAL);
    HGDIOBJ stock = SelectObject(dc, object(header));
    ASSERT_NE(stock, nullptr);
    EXPECT_EQ(SetBkMode(dc, TRANSPARENT), OPAQUE);
    EXPECT_TRUE(TextOutW(dc, 28, 14, L"Morvik and more", 6));  // exactly c units
    EXPECT_EQ(SelectObject(dc, object(body)), object(header));
    EXPECT_TRUE(TextOutW(dc, 28, 68, L"Ә Ғ\0x", 5));
    EXPECT_TRUE(TextOutW(dc, 28, 107, L"", 0));
    EXPECT_EQ(SelectObject(dc, stock), object(body));
    EXPECT_TRUE(TextOutW(dc, 0, 0, L"stock", 5));
    EXPECT_TRUE(DeleteObject(object(header)));
    EXPECT_TRUE(DeleteObject(object(body)));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(EndPage(dc), 1);
    EXPECT_EQ(GetLastError(), 0u);  // clean-up leaves its own last error
    EXPECT_TRUE(TextOutW(dc, 1, 1, L"off the page", 12));  // nothing to print it on
    SetLastError(0xdeadbeef);
    EXPECT_EQ(EndDoc(dc), 1);
    EXPECT_EQ(GetLastError(), 0u);
    SetLastError(0xdeadbeef);
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_TRUE(sim::leaks().empty());

    // The job joined the queue like any other.
    const sim::Printer& xp = sim::computer().spooler.printers[0];
    ASSERT_EQ(xp.jobs.size(), 2u);
    EXPECT_EQ(xp.jobs[1].id, 13u);
    EXPECT_EQ(sim::utf16_to_utf8(xp.jobs[1].document), "Morvik test (driver)");

    nlohmann::json state = nlohmann::json::parse(sim::state_json());
    nlohmann::json expected = nlohmann::json::parse(R"json({"name": "XP-58", "jobs": [], "deleted_job_ids": [],
        "gdi_docs": [{"job": 13, "document": "Morvik test (driver)", "pages": 1, "ended": true, "text": [
            {"x": 28, "y": 14, "text": "Morvik", "font": {"face": "Arial", "height": -39, "weight": 700}},
            {"x": 28, "y": 68, "text": "Ә Ғ\u0000x", "font": {"face": "Arial", "height": -28, "weight": 400}},
            {"x": 28, "y": 107, "text": "", "font": {"face": "Arial", "height": -28, "weight": 400}},
            {"x": 0, "y": 0, "text": "stock", "font": {"face": "System", "height": 16, "weight": 700}}]}]})json");
    EXPECT_EQ(state["printers"][0], expected);
}

TEST_F(GdiContract, DeviceCapsAndFailuresWithTheirErrors) {
    HDC office = CreateDCW(nullptr, L"Office", nullptr, nullptr);  // GDI needs no driver name for printers
    EXPECT_EQ(GetDeviceCaps(office, LOGPIXELSY), 600);
    EXPECT_EQ(GetDeviceCaps(office, VERTRES), 7000);  // an index given by number
    EXPECT_TRUE(DeleteDC(office));
    EXPECT_FALSE(DeleteDC(office));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    struct Case {
        const wchar_t* driver;
        const wchar_t* device;
        DWORD error;
    };
    for (const Case& c : {Case{L"WINSPOOL", L"Broken", 5}, Case{L"WINSPOOL", L"Closed", 1722},
                          Case{L"WINSPOOL", L"XP-80", ERROR_INVALID_PRINTER_NAME},
                          Case{L"DISPLAY", L"XP-58", ERROR_INVALID_PARAMETER}}) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(CreateDCW(c.driver, c.device, nullptr, nullptr), nullptr);
        EXPECT_EQ(GetLastError(), c.error) << u8(c.device);
    }

    HDC dc = CreateDCW(L"WINSPOOL", L"Failing", nullptr, nullptr);
    DOCINFOW doc = {sizeof(DOCINFOW), L"x", nullptr, nullptr, 0};
    SetLastError(0xdeadbeef);
    EXPECT_LE(StartDocW(dc, &doc), 0);
    EXPECT_EQ(GetLastError(), 1804u);
    DeleteDC(dc);
    EXPECT_TRUE(sim::computer().spooler.printers[4].jobs.empty());
    EXPECT_TRUE(sim::computer().spooler.printers[4].gdi_docs.empty());

    // A failed EndPage: the document is abandoned by deleting the context, and nothing is left open.
    int job = 0;
    dc = start_page(L"Jammed", &job);
    EXPECT_TRUE(TextOutW(dc, 1, 2, L"a", 1));
    SetLastError(0xdeadbeef);
    EXPECT_LE(EndPage(dc), 0);
    EXPECT_EQ(GetLastError(), 28u);
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_TRUE(sim::leaks().empty());
    const sim::GdiDoc& jammed = sim::computer().spooler.printers[5].gdi_docs.at(0);
    EXPECT_EQ(jammed.pages, 1u);
    EXPECT_FALSE(jammed.ended);
    EXPECT_TRUE(jammed.abandoned);
    EXPECT_EQ(jammed.text.size(), 1u);

    dc = start_page(L"Full", &job);
    EXPECT_EQ(EndPage(dc), 1);
    SetLastError(0xdeadbeef);
    EXPECT_LE(EndDoc(dc), 0);
    EXPECT_EQ(GetLastError(), 112u);
    EXPECT_EQ(sorted_leaks(),
              (std::vector<std::string>{"device context Full", "document Full job " + std::to_string(job)}));
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_TRUE(sim::leaks().empty());
    EXPECT_FALSE(sim::computer().spooler.printers[6].gdi_docs.at(0).ended);
}

TEST_F(GdiContract, ContextsFontsDocumentsAndPagesLeftBehindAreLeaks) {
    allow_leaks();  // failing releases and unclosed objects are the point here
    int job = 0;
    HDC dc = start_page(L"XP-58", &job);
    ASSERT_EQ(job, 13);
    HFONT font = arial(-39, FW_BOLD);
    SelectObject(dc, object(font));
    EXPECT_EQ(sorted_leaks(), (std::vector<std::string>{"device context XP-58", "document XP-58 job 13",
                                                        "font Arial -39 700", "page XP-58 job 13"}));
    // Ending the document with its page open: the page stays a leak.
    EXPECT_EQ(EndDoc(dc), 1);
    EXPECT_EQ(sorted_leaks(),
              (std::vector<std::string>{"device context XP-58", "font Arial -39 700", "page XP-58 job 13"}));

    // A font still selected cannot be deleted: it stays, also once the context is gone.
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeleteObject(object(font)));
    EXPECT_EQ(GetLastError(), 170u);  // ERROR_BUSY
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_EQ(sorted_leaks(), (std::vector<std::string>{"font Arial -39 700", "page XP-58 job 13"}));
    EXPECT_TRUE(DeleteObject(object(font)));  // no longer selected anywhere
    EXPECT_FALSE(DeleteObject(object(font)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(sim::leaks(), std::vector<std::string>{"page XP-58 job 13"});

    // A font selected into two contexts is free only when both let it go; the stock font is never deleted.
    HDC first = CreateDCW(L"WINSPOOL", L"XP-58", nullptr, nullptr);
    HDC second = CreateDCW(L"WINSPOOL", L"Office", nullptr, nullptr);
    HFONT shared = arial(-28, FW_NORMAL);
    HGDIOBJ stock = SelectObject(first, object(shared));
    SelectObject(second, object(shared));
    EXPECT_TRUE(DeleteObject(stock));
    EXPECT_EQ(SelectObject(first, stock), object(shared));  // the stock font is still there
    EXPECT_FALSE(DeleteObject(object(shared)));
    EXPECT_TRUE(DeleteDC(second));
    EXPECT_TRUE(DeleteObject(object(shared)));
    EXPECT_EQ(SelectObject(first, object(shared)), nullptr);  // a deleted font is no longer a font
    EXPECT_TRUE(DeleteDC(first));
    EXPECT_EQ(nlohmann::json::parse(sim::state_json())["leaks"], nlohmann::json::array({"page XP-58 job 13"}));
}

TEST(GdiScenario, DevcapsNamesAndTheStateOfDeletedJobs) {
    EXPECT_THROW(sim::load_scenario(R"({"spooler": {"printers": [{"name": "A", "devcaps": {"DPI": 1}}]}})"),
                 std::runtime_error);
    sim::load_scenario(R"({"spooler": {"printers": [{"name": "A", "jobs": [{"id": 12}, {"id": 14}]}]}})");
    HANDLE printer = nullptr;
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(L"A"), &printer, nullptr));
    EXPECT_TRUE(SetJobW(printer, 14, 0, nullptr, JOB_CONTROL_DELETE));
    EXPECT_TRUE(SetJobW(printer, 12, 0, nullptr, JOB_CONTROL_DELETE));
    ClosePrinter(printer);
    EXPECT_EQ(sim::state_json(), R"({
  "printers": [
    {
      "name": "A",
      "jobs": [],
      "deleted_job_ids": [
        14,
        12
      ],
      "gdi_docs": []
    }
  ],
  "leaks": []
}
)");
}

}  // namespace
