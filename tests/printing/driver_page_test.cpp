#include <string.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "devices/device_inventory.h"
#include "harness.h"

namespace {

const char kKazakh[] = "\u04D8 \u0492 \u049A \u04A2 \u04E8 \u04B0 \u04AE \u04BA \u0406";

// The page as drawn: "x y height weight face: text" per TextOutW.
std::vector<std::string> drawn(const sim::GdiDoc& doc) {
    std::vector<std::string> lines;
    for (const sim::GdiText& text : doc.text) {
        lines.push_back(std::to_string(text.x) + " " + std::to_string(text.y) + " " + std::to_string(text.font.height) +
                        " " + std::to_string(text.font.weight) + " " + sim::utf16_to_utf8(text.font.face) + ": " +
                        sim::utf16_to_utf8(text.text));
    }
    return lines;
}

// The expected page with the numbers given: header y, line ys, body and header font heights.
std::vector<std::string> page(int x, int header_y, const std::vector<int>& ys, int body, int header) {
    const std::string texts[] = {
        "Печать через драйвер",  "Принтер работает", "01.03.2026 09:05:07", "0123456789", kKazakh,
        "----------------------"};
    std::string left = std::to_string(x) + " ";
    std::vector<std::string> lines = {left + std::to_string(header_y) + " " + std::to_string(header) +
                                      " 700 Arial: Morvik"};
    for (size_t i = 0; i < 6; ++i) {
        lines.push_back(left + std::to_string(ys[i]) + " " + std::to_string(body) + " 400 Arial: " + texts[i]);
    }
    return lines;
}

class DriverPageTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        // A real process starts with empty device tables; earlier tests in this one filled them.
        memset(&device_inventory, 0, sizeof device_inventory);
    }
    // 09:05:07 local time on 1 March 2026; XP-58 is the default printer.
    void shop(const std::string& printer, const std::string& rest = "") {
        sim::load_scenario(R"({"clock": {"utc": "2026-03-01T06:05:07.250Z", "utc_offset_minutes": 180},
            "spooler": {"default": "XP-58", "printers": [{"name": "XP-58", "port": "USB001")" +
                           printer + "}]}" + rest + "}");
    }
    std::vector<sim::GdiDoc>& docs() { return sim::computer().spooler.printers[0].gdi_docs; }
};

TEST_F(DriverPageTest, LaidOutFromTheVerticalResolution) {
    const std::vector<std::string> receipt_203 = page(28, 14, {68, 107, 146, 185, 224, 263}, -28, -39);
    const std::vector<std::string> unknown_203 = page(10, 14, {68, 107, 146, 185, 224, 263}, -28, -39);
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {R"(, "devcaps": {"LOGPIXELSY": 203, "HORZRES": 576})", receipt_203},
        {"", unknown_203},
        {R"(, "devcaps": {"LOGPIXELSY": 0, "HORZRES": 0})", unknown_203},
        {R"(, "devcaps": {"LOGPIXELSY": -300, "HORZRES": -5})", unknown_203},
        {R"(, "devcaps": {"LOGPIXELSY": 600, "HORZRES": 4800})",
         page(240, 41, {203, 319, 435, 551, 667, 783}, -83, -116)},
    };
    for (const auto& [devcaps, expected] : cases) {
        shop(std::string(R"(, "jobs": [{"id": 12}])") + devcaps);
        RunResult result = run({"driver", "XP-58"});
        EXPECT_EQ(result.exit_code, 0) << devcaps;
        EXPECT_EQ(result.out, "{\"ok\":true,\"job\":13,\"printer\":\"XP-58\"}\n");
        ASSERT_EQ(docs().size(), 1u);
        EXPECT_EQ(drawn(docs()[0]), expected) << devcaps;
        EXPECT_EQ(docs()[0].job, 13u);
        EXPECT_EQ(sim::utf16_to_utf8(docs()[0].document), "Morvik test (driver)");
        EXPECT_EQ(docs()[0].pages, 1u);
        EXPECT_TRUE(docs()[0].ended);
        EXPECT_TRUE(result.leaks.empty()) << devcaps;
    }
    // The default printer when none is named.
    shop("");
    EXPECT_EQ(run({"driver"}).out, "{\"ok\":true,\"job\":1,\"printer\":\"XP-58\"}\n");
}

TEST_F(DriverPageTest, EveryFailureHasItsDocument) {
    struct Case {
        const char* printer;
        const char* name;
        const char* out;
    };
    const Case cases[] = {
        {R"(, "createdc_error": 5, "open_error": 1722)", "XP-58",
         R"({"ok":false,"error":"OPEN_FAILED","win32":5,"message":"Access is denied","printer":"XP-58"})"},
        {R"(, "open_error": 1722)", "XP-58",
         R"({"ok":false,"error":"OPEN_FAILED","win32":1722,"message":"The RPC server is unavailable","printer":"XP-58"})"},
        {"", "Кухня",
         R"({"ok":false,"error":"OPEN_FAILED","win32":1801,"message":"The printer name is invalid","printer":"Кухня"})"},
        {R"(, "startdoc_gdi_error": 1804)", "XP-58",
         R"({"ok":false,"error":"STARTDOC_FAILED","win32":1804,"message":"The specified datatype is invalid",)"
         R"("printer":"XP-58"})"},
        {R"(, "endpage_error": 21)", "XP-58",
         R"({"ok":false,"error":"PRINT_FAILED","win32":21,"message":"The device is not ready","printer":"XP-58"})"},
        {R"(, "enddoc_error": 31)", "XP-58",
         R"({"ok":false,"error":"PRINT_FAILED","win32":31,"message":"A device attached to the system is not )"
         R"(functioning","printer":"XP-58"})"},
    };
    for (const Case& c : cases) {
        shop(c.printer);
        RunResult result = run({"driver", c.name});
        EXPECT_EQ(result.exit_code, 1) << c.printer;
        EXPECT_EQ(result.out, std::string(c.out) + "\n");
        EXPECT_TRUE(result.leaks.empty()) << c.printer;
        // Cancelled, so no half-made job is left in the queue.
        for (const sim::GdiDoc& doc : docs()) {
            EXPECT_FALSE(doc.ended);
            EXPECT_TRUE(doc.aborted);
        }
        EXPECT_TRUE(sim::computer().spooler.printers[0].jobs.empty()) << c.printer;
        // A lost page is not followed by EndDoc.
        EXPECT_EQ(sim::computer().call_counts["EndDoc"],
                  std::string(c.printer).find("enddoc") != std::string::npos ? 1u : 0u);
    }

    for (const char* spooler : {"{}", R"({"spooler": {"default": "XP-58", "default_error": 1722}})"}) {
        sim::load_scenario(spooler);
        RunResult none = run({"driver"});
        EXPECT_EQ(none.exit_code, 1);
        EXPECT_EQ(none.out,
                  "{\"ok\":false,\"error\":\"NO_PRINTER\",\"win32\":0,"
                  "\"message\":\"Принтер не выбран, и принтера по умолчанию в Windows нет\",\"printer\":\"\"}\n");
        EXPECT_EQ(sim::computer().call_counts["CreateDCW"], 0u);
    }
}

// Each GDI call failing in turn: the document stays valid JSON and nothing is
// left open but the object whose own release failed.
TEST_F(DriverPageTest, InjectedFailuresReleaseEverything) {
    allow_leaks();  // failing releases and unclosed objects are the point here
    struct Case {
        const char* function;
        unsigned nth;
        int exit_code;
        std::vector<std::string> leaks;
    };
    const Case cases[] = {
        {"CreateDCW", 1, 1, {}},
        {"StartDocW", 1, 1, {}},
        {"StartPage", 1, 1, {}},
        {"GetDeviceCaps", 1, 0, {}},
        {"GetDeviceCaps", 2, 0, {}},
        {"CreateFontW", 1, 0, {}},
        {"CreateFontW", 2, 0, {}},
        {"SelectObject", 1, 0, {}},
        {"SelectObject", 2, 0, {}},
        {"SelectObject", 3, 0, {}},
        {"SetBkMode", 1, 0, {}},
        {"TextOutW", 1, 0, {}},
        {"DeleteObject", 1, 0, {"font Arial -39 700"}},
        {"DeleteObject", 2, 0, {"font Arial -28 400"}},
        {"EndPage", 1, 1, {}},
        {"EndDoc", 1, 1, {}},
        {"DeleteDC", 1, 0, {"device context XP-58"}},
    };
    for (const Case& c : cases) {
        shop(R"(, "devcaps": {"LOGPIXELSY": 203, "HORZRES": 576})");
        sim::computer().faults.push_back({c.function, c.nth, ERROR_NOT_READY});
        RunResult result = run({"driver", "XP-58"});
        std::string where = std::string(c.function) + " " + std::to_string(c.nth);
        EXPECT_EQ(result.exit_code, c.exit_code) << where << ": " << result.out;
        EXPECT_TRUE(nlohmann::json::accept(result.out)) << where << ": " << result.out;
        EXPECT_EQ(result.leaks, c.leaks) << where;
        bool reported = result.out.find("\"win32\":21,\"message\":\"The device is not ready\"") != std::string::npos;
        bool own_call = where == "CreateDCW 1" || where == "StartDocW 1" || where == "StartPage 1" ||
                        where == "EndPage 1" || where == "EndDoc 1";
        EXPECT_EQ(reported, own_call) << where << ": " << result.out;
    }
}

TEST_F(DriverPageTest, AtAConsoleTheJobIsFollowed) {
    shop("", R"(, "stdout": "console", "timeline": [{"at_ms": 500, "printer": "XP-58", "remove_job": 1}])");
    RunResult result = run({"driver", "XP-58"});
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.console,
              "OK: задание отправлено в очередь «XP-58». Если бумага не вышла — запустите помощника без параметров и "
              "посмотрите отчёт.\r\n"
              "Смотрю, уйдёт ли задание из очереди Windows (до 15 с)...\r\n"
              "Задание сразу ушло из очереди — Windows передала его принтеру.\r\n"
              "Вышла страница — печать через драйвер работает. Не вышло ничего — смотрите на сам принтер: бумага, "
              "крышка, лампочка ошибки.\r\n");
    EXPECT_TRUE(result.leaks.empty());

    shop(R"(, "startdoc_gdi_error": 1804)", R"(, "stdout": "console")");
    result = run({"driver", "XP-58"});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.console,
              "ОШИБКА отправки в «XP-58»: {\"ok\":false,\"error\":\"STARTDOC_FAILED\",\"win32\":1804,"
              "\"message\":\"The specified datatype is invalid\",\"printer\":\"XP-58\"}\n\r\n");
    EXPECT_EQ(sim::computer().call_counts["OpenPrinterW"], 0u);
}

}  // namespace
