#include <string.h>

#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>

#include "devices/device_inventory.h"
#include "harness.h"
#include "output/output.h"
#include "printing/watch.h"

namespace {

const char kSubmitted[] =
    "OK: задание отправлено в очередь «XP-58». Если бумага не вышла — запустите помощника без параметров и "
    "посмотрите отчёт.\r\n";
const char kWatching[] = "Смотрю, уйдёт ли задание из очереди Windows (до 15 с)...\r\n";
const char kEscPosAdvice[] =
    "Вышел лист «TEST OK» — прямая печать работает. Не вышло ничего — принтер не понимает команды чековых принтеров "
    "(ESC/POS), так ведут себя лазерные и струйные; для них: morvik-helper.exe driver \"имя\"\r\n";
const char kHangs[] = "Задание ВИСИТ в очереди уже 15 с — принтер его не забирает.\r\n  задание: ";
const char kDeleteIt[] =
    "\r\nУдалите задание: Устройства и принтеры → принтер → «Просмотр очереди печати» → Отменить. Иначе следующие "
    "задания встанут за ним.\r\n";

std::string golden(const char* name) {
    std::ifstream file(std::string(MORVIK_TEST_SOURCE_DIR) + "/printing/golden/" + name, std::ios::binary);
    EXPECT_TRUE(file.good()) << name;
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

class TestReceiptTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        // A real process starts with empty device tables; earlier tests in this one filled them.
        memset(&device_inventory, 0, sizeof device_inventory);
    }
    void TearDown() override { console_mode = false; }
    // 09:05:07 local time on 1 March 2026; XP-58 on USB001 is the default printer.
    void shop(const std::string& printer = "", const std::string& rest = "") {
        sim::load_scenario(R"({"clock": {"utc": "2026-03-01T06:05:07.250Z", "utc_offset_minutes": 180},
            "spooler": {"default": "XP-58", "printers": [{"name": "XP-58", "port": "USB001")" +
                           printer + "}]}" + rest + "}");
    }
    // The same at a console, with the job the test prints (number 1) leaving at `leaves_ms`.
    RunResult at_console(const std::string& printer, long long leaves_ms = -1, const std::string& rest = "") {
        std::string timeline = R"(, "stdout": "console")";
        if (leaves_ms >= 0) {
            timeline += R"(, "timeline": [{"at_ms": )" + std::to_string(leaves_ms) +
                        R"(, "printer": "XP-58", "remove_job": 1}])";
        }
        shop(printer, timeline + rest);
        RunResult result = run({"test", "XP-58"});
        EXPECT_EQ(result.out, "");
        EXPECT_TRUE(result.leaks.empty());
        return result;
    }
    const std::vector<sim::StartedJob>& started() { return sim::computer().spooler.printers[0].started; }
};

TEST_F(TestReceiptTest, TheReceiptReachesTheQueueByteForByte) {
    const std::string receipt = golden("test_receipt_2026-03-01.bin");
    ASSERT_EQ(receipt.size(), 142u);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"test", "XP-58"}, std::vector<std::string>{"test"}}) {
        shop(R"(, "jobs": [{"id": 12}])");
        RunResult result = run(args);
        EXPECT_EQ(result.exit_code, 0);
        // Two lines in a pipe, with the same job number.
        EXPECT_EQ(result.out,
                  "{\"stage\":\"write\",\"job\":13}\n{\"ok\":true,\"job\":13,\"bytes\":142,\"printer\":\"XP-58\"}\n");
        ASSERT_EQ(started().size(), 1u);
        EXPECT_TRUE(started()[0].bytes == receipt) << nlohmann::json::parse(sim::state_json())["printers"][0];
        EXPECT_EQ(sim::utf16_to_utf8(started()[0].document), "Morvik test");
        EXPECT_EQ(sim::utf16_to_utf8(started()[0].datatype), "RAW");
        EXPECT_TRUE(started()[0].ended);
        EXPECT_TRUE(result.leaks.empty());
    }
}

TEST_F(TestReceiptTest, FailuresAreDocumentedAndNotFollowed) {
    sim::load_scenario("{}");
    RunResult none = run({"test"});
    EXPECT_EQ(none.exit_code, 1);
    EXPECT_EQ(none.out,
              "{\"ok\":false,\"error\":\"NO_PRINTER\",\"win32\":0,"
              "\"message\":\"Принтер не выбран, и принтера по умолчанию в Windows нет\",\"printer\":\"\"}\n");
    EXPECT_EQ(sim::computer().call_counts["OpenPrinterW"], 0u);

    RunResult refused = at_console(R"(, "startdoc_error": 1804)");
    EXPECT_EQ(refused.exit_code, 1);
    EXPECT_EQ(refused.console,
              "ОШИБКА отправки в «XP-58»: {\"ok\":false,\"error\":\"STARTDOC_FAILED\",\"win32\":1804,"
              "\"message\":\"The specified datatype is invalid\",\"printer\":\"XP-58\"}\n\r\n");
    EXPECT_EQ(sim::computer().call_counts["OpenPrinterW"], 1u);
}

TEST_F(TestReceiptTest, FollowUpCountsWholeSecondsHalvesUp) {
    RunResult result = at_console("", 1500);  // seen gone at the poll of 1600 ms
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.console, std::string(kSubmitted) + kWatching +
                                  "Задание ушло из очереди за 2 с — Windows передала его принтеру.\r\n" +
                                  kEscPosAdvice);
    EXPECT_TRUE(started()[0].bytes == golden("test_receipt_2026-03-01.bin"));

    const std::pair<long long, const char*> cases[] = {
        {500, "Задание сразу ушло из очереди — Windows передала его принтеру.\r\n"},    // 800 ms
        {801, "Задание ушло из очереди за 1 с — Windows передала его принтеру.\r\n"},   // 1200 ms
        {2500, "Задание ушло из очереди за 3 с — Windows передала его принтеру.\r\n"},  // 2800 ms
    };
    for (const auto& [leaves_ms, line] : cases) {
        EXPECT_EQ(at_console("", leaves_ms).console, std::string(kSubmitted) + kWatching + line + kEscPosAdvice)
            << leaves_ms;
    }
}

TEST_F(TestReceiptTest, HangReportAfter15Seconds) {
    // A change after the last poll (14800 ms) is not in the report.
    RunResult ready = at_console("", -1, R"(, "timeline": [{"at_ms": 14900, "printer": "XP-58", "set_status": 16}])");
    EXPECT_EQ(ready.exit_code, 0);
    EXPECT_EQ(ready.console, std::string(kSubmitted) + kWatching + kHangs +
                                 "\r\n  принтер: Windows считает его готовым\r\n"
                                 "  порт: USB001 — к этому порту сейчас НИЧЕГО не подключено" +
                                 kDeleteIt);

    RunResult offline = at_console(R"(, "port": "LPT1", "attributes": 1024)");
    EXPECT_EQ(offline.console, std::string(kSubmitted) + kWatching + kHangs +
                                   "\r\n  принтер:  [включено «Работать автономно»]\r\n  порт: LPT1" + kDeleteIt);

    RunResult troubled =
        at_console(R"(, "status": 144, "attributes": 1024)", -1,
                   R"(, "timeline": [{"at_ms": 1000, "printer": "XP-58", "set_job_status": {"id": 1, "status": 66}}],
             "usb": {"interfaces": [{"port_number": 1, "path": "\\\\?\\usb#1"}]})");
    EXPECT_EQ(troubled.console, std::string(kSubmitted) + kWatching + kHangs +
                                    "ошибка, нет бумаги\r\n  принтер: нет бумаги, не в сети [включено «Работать "
                                    "автономно»]\r\n  порт: USB001 — принтер подключён" +
                                    kDeleteIt);

    // The spooler's own text of the job comes first.
    shop(R"(, "jobs": [{"id": 12, "status": 64, "status_text": "Бумага кончилась"}])", R"(, "stdout": "console")");
    console_mode = true;
    follow_job(L"XP-58", 12, true);
    EXPECT_EQ(sim::utf16_to_utf8(sim::computer().console_text),
              std::string(kWatching) + kHangs +
                  "Бумага кончилась; нет бумаги\r\n  принтер: Windows считает его "
                  "готовым\r\n  порт: USB001 — к этому порту сейчас НИЧЕГО не подключено" +
                  kDeleteIt);
    EXPECT_TRUE(sim::leaks().empty());
}

TEST_F(TestReceiptTest, FollowUpThatCannotStart) {
    shop("", R"(, "stdout": "console")");
    sim::computer().faults.push_back({"OpenPrinterW", 2, ERROR_ACCESS_DENIED});
    RunResult result = run({"test", "XP-58"});
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.console, std::string(kSubmitted) + kWatching + "Проследить за заданием не удалось.\r\n");
    EXPECT_TRUE(result.leaks.empty());

    shop("", R"(, "stdout": "console")");
    console_mode = true;
    follow_job(L"XP-58", 0, true);
    EXPECT_EQ(sim::utf16_to_utf8(sim::computer().console_text),
              std::string(kWatching) + "Проследить за заданием не удалось.\r\n");
    EXPECT_EQ(sim::computer().call_counts["OpenPrinterW"], 0u);
}

}  // namespace
