#include <algorithm>
#include <string>
#include <vector>

#include "harness.h"

namespace {

const std::string kRule = "==========================================";
const std::string kHeader =
    "Morvik — помощник печати 1.1.0\r\nПроверка принтеров этого компьютера\r\n" + kRule + "\r\n\r\n";
const std::string kFindings = "\r\n" + kRule + "\r\nЧто видно:\r\n";
const std::string kNothingFound = " - Явных проблем с очередями не видно.\r\n";
const std::string kHelp =
    "\r\nПроверка печати (имя принтера — точно как в списке выше):\r\n"
    "  morvik-helper.exe driver \"имя\"   через драйвер, как касса печатает обычно (любой принтер)\r\n"
    "  morvik-helper.exe test \"имя\"     напрямую командами чекового принтера (ESC/POS), только для чековых\r\n";
const std::string kPause = "\r\nНажмите Enter, чтобы закрыть окно...";

const std::string kEmptyReport = kHeader + "Принтер по умолчанию: не задан\r\n\r\n" +
                                 "USB-принтеры, подключённые сейчас: нет ни одного\r\n\r\n" + "Принтеры (0):\r\n" +
                                 kFindings + kNothingFound + kHelp;

// Device answers: the two length bytes, then the text.
const std::string kMfgOnly = R"({"hex": "000b4d46473a41636d653b"})";
const std::string kModelOnly = R"({"hex": "000b4d444c3a522d38303b"})";

std::string between(const std::string& text, const std::string& from, const std::string& to) {
    size_t start = text.find(from);
    if (start == std::string::npos) return "<no " + from + ">";
    start += from.size();
    size_t end = text.find(to, start);
    return end == std::string::npos ? "<no end>" : text.substr(start, end - start);
}

// The lines of printer number n, from " n. " to its last line end.
std::string block(const std::string& text, int n) {
    return " " + std::to_string(n) + ". " + between(text, "\r\n " + std::to_string(n) + ". ", "\r\n\r\n") + "\r\n";
}

std::string findings(const std::string& text) { return between(text, kFindings, kHelp); }

std::string devices(const std::string& text) {
    return between(text, "USB-принтеры, подключённые сейчас: ", "Принтеры (");
}

class ReportTest : public SimTest {
protected:
    // The report through a pipe on this scenario.
    std::string report(const std::string& scenario) {
        sim::load_scenario(scenario);
        RunResult result = run({"report"});
        EXPECT_EQ(result.exit_code, 0);
        EXPECT_EQ(result.console, "");
        EXPECT_TRUE(result.leaks.empty());
        EXPECT_EQ(sim::computer().call_counts["ReadConsoleW"], 0u);
        return result.out;
    }
    // One printer "P" on a parallel port, so that only the named fields matter.
    std::string one_queue(const std::string& fields) {
        return report(R"({"spooler": {"printers": [{"name": "P", "port": "LPT1:", "driver": "D", )" + fields + "}]}}");
    }
};

TEST_F(ReportTest, AnEmptyComputer) {
    EXPECT_EQ(report("{}"), kEmptyReport);

    // No command word through a pipe: the same text, no pause.
    sim::reset();
    RunResult no_word = run({});
    EXPECT_EQ(no_word.exit_code, 0);
    EXPECT_EQ(no_word.out, kEmptyReport);
    EXPECT_EQ(sim::computer().call_counts["ReadConsoleW"], 0u);

    // "report" at a console: the same text, no pause either.
    sim::reset();
    sim::computer().stdout_kind = sim::StdoutKind::console;
    RunResult console = run({"REPORT"});
    EXPECT_EQ(console.exit_code, 0);
    EXPECT_EQ(console.console, kEmptyReport);
    EXPECT_EQ(console.out, "");
    EXPECT_EQ(sim::computer().call_counts["ReadConsoleW"], 0u);
}

TEST_F(ReportTest, AShopWithProblems) {
    std::string text = report(R"js({
        "usb": {"interfaces": [
            {"port_number": 1, "path": "\\\\?\\usb#1", "hardware_ids": ["USB\\VID_1FC9&PID_2016"],
             "child": {"compatible_ids": ["USBPRINT\\AcmeR80"]}, "device_id": {"access_0": )js" +
                              kMfgOnly + R"js(}},
            {"port_number": 4, "path": "\\\\?\\usb#4"}]},
        "lpt": {"devices": [{"compatible_ids": ["LPTENUM\\EPSONTM-T88"]}]},
        "spooler": {"default": "PDF Архив", "printers": [
            {"name": "Касса", "port": "USB002", "driver": "POS-80", "status": 1, "attributes": 1024},
            {"name": "PDF Архив", "port": "PORTPROMPT:", "driver": "Microsoft Print To PDF", "jobs": [
                {"id": 7, "document": "Отчёт", "status": 18, "status_text": "Ошибка печати", "age_ms": 120000},
                {"id": 8, "document": "Z", "age_ms": 30000}]},
            {"name": "Office", "port": "USB009", "driver": "Generic PDF Writer"},
            {"name": "EPSON TM-T88V", "port": "LPT1:", "driver": "EPSON", "status": 131072}],
            "connections": [{"name": "\\\\SHOP-PC\\Kitchen", "attributes": 1024}]}})js");
    EXPECT_EQ(text,
              kHeader +
                  "Принтер по умолчанию: PDF Архив\r\n\r\n"
                  "USB-принтеры, подключённые сейчас: \r\n"
                  "  USB001  чип: USB\\VID_1FC9&PID_2016\r\n"
                  "      Windows знает его как: USBPRINT\\AcmeR80\r\n"
                  "      принтер о себе: Acme ?, команды не назвал\r\n"
                  "  USB004\r\n"
                  "      принтер о себе: не ответил (или занят печатью)\r\n"
                  "  LPT?  Windows знает его как: LPTENUM\\EPSONTM-T88\r\n"
                  "\r\n"
                  "Принтеры (5):\r\n"
                  "\r\n 1. Касса\r\n"
                  "    порт: USB002 — к этому порту сейчас НИЧЕГО не подключено [!!]\r\n"
                  "    драйвер: POS-80\r\n"
                  "    состояние: очередь приостановлена, включено «Работать автономно» [!!]\r\n"
                  "\r\n 2. PDF Архив   [ПО УМОЛЧАНИЮ]\r\n"
                  "    виртуальный: сохраняет в файл или факс, на бумагу НЕ печатает\r\n"
                  "    порт: PORTPROMPT:\r\n"
                  "    драйвер: Microsoft Print To PDF\r\n"
                  "    состояние: готов\r\n"
                  "    в очереди заданий: 2 (самое старое — 2 мин.) [!!]\r\n"
                  "      #7 Отчёт — Ошибка печати; ошибка, печатается\r\n"
                  "      #8 Z — \r\n"
                  "\r\n 3. Office\r\n"
                  "    виртуальный: сохраняет в файл или факс, на бумагу НЕ печатает\r\n"
                  "    порт: USB009 — к этому порту сейчас НИЧЕГО не подключено [!!]\r\n"
                  "    драйвер: Generic PDF Writer\r\n"
                  "    состояние: готов\r\n"
                  "\r\n 4. EPSON TM-T88V\r\n"
                  "    порт: LPT1:\r\n"
                  "    драйвер: EPSON\r\n"
                  "    состояние: \r\n"
                  "\r\n 5. \\\\SHOP-PC\\Kitchen\r\n"
                  "    сетевой принтер (подключён с другого компьютера)\r\n" +
                  kFindings +
                  " - Очередь «Касса» смотрит в порт USB002, а к нему ничего не подключено. Принтер сейчас на "
                  "порту USB001 / USB004 — в свойствах принтера, вкладка «Порты», отметьте его (или выберите в "
                  "кассе очередь с этим портом).\r\n"
                  " - У «Касса» включено «Работать автономно»: откройте очередь печати, меню «Принтер», снимите "
                  "галочку.\r\n"
                  " - Очередь «Касса» приостановлена: меню «Принтер» — снять «Приостановить печать».\r\n"
                  " - По умолчанию стоит виртуальный принтер «PDF Архив»: если в кассе принтер не выбран, чек "
                  "уйдёт в файл, а не на бумагу.\r\n"
                  " - В очереди «PDF Архив» висят старые задания — принтер их не забирает. Очистите очередь, "
                  "проверьте порт.\r\n" +
                  kHelp);
}

TEST_F(ReportTest, StateWordsAndTheirFindings) {
    const std::string offline =
        " - У «P» включено «Работать автономно»: откройте очередь печати, меню «Принтер», снимите галочку.\r\n";
    const std::string paused = " - Очередь «P» приостановлена: меню «Принтер» — снять «Приостановить печать».\r\n";
    struct Case {
        const char* fields;
        std::string state;
        std::string found;
    };
    const Case cases[] = {
        {R"("status": 0, "attributes": 0)", "готов", kNothingFound},
        {R"("status": 0, "attributes": 1024)", "включено «Работать автономно» [!!]", offline},
        {R"("status": 1, "attributes": 1024)", "очередь приостановлена, включено «Работать автономно» [!!]",
         offline + paused},
        {R"("status": 1, "attributes": 0)", "очередь приостановлена", paused},
        {R"("status": 130, "attributes": 8)", "ошибка, не в сети", kNothingFound},
        // Bits without a row: no words at all, and no "готов" either.
        {R"("status": 2147614720, "attributes": 0)", "", kNothingFound},
        // ... and then no comma before the work-offline phrase.
        {R"("status": 131072, "attributes": 1024)", "включено «Работать автономно» [!!]", offline},
    };
    for (const Case& c : cases) {
        std::string text = one_queue(c.fields);
        EXPECT_EQ(block(text, 1), " 1. P\r\n    порт: LPT1:\r\n    драйвер: D\r\n    состояние: " + c.state + "\r\n")
            << c.fields;
        EXPECT_EQ(findings(text), c.found) << c.fields;
    }
}

TEST_F(ReportTest, OldJobsAreOlderThanOneMinute) {
    const std::string old_jobs =
        " - В очереди «P» висят старые задания — принтер их не забирает. Очистите очередь, проверьте порт.\r\n";
    for (int oldest : {60000, 60001}) {
        std::string text = one_queue(R"("jobs": [
            {"id": 5, "document": "Чек", "status": 16, "age_ms": 1000},
            {"id": 6, "document": "Чек 2", "status": 64, "status_text": "Нет бумаги", "age_ms": )" +
                                     std::to_string(oldest) + R"(},
            {"id": 9, "document": "", "status_text": "Ждёт", "age_ms": 500}])");
        EXPECT_EQ(block(text, 1), " 1. P\r\n    порт: LPT1:\r\n    драйвер: D\r\n    состояние: готов\r\n"
                                  "    в очереди заданий: 3 (самое старое — 1 мин.)" +
                                      std::string(oldest > 60000 ? " [!!]" : "") +
                                      "\r\n"
                                      "      #5 Чек — печатается\r\n"
                                      "      #6 Чек 2 — Нет бумаги; нет бумаги\r\n"
                                      "      #9  — Ждёт; \r\n")
            << oldest;
        EXPECT_EQ(findings(text), oldest > 60000 ? old_jobs : kNothingFound) << oldest;
    }
}

TEST_F(ReportTest, JobsCountedButNotRead) {
    // The spooler counts 7 but hands out none: 7 jobs, 0 minutes, no job lines.
    std::string text = one_queue(R"("jobs_count": 7)");
    EXPECT_EQ(block(text, 1), " 1. P\r\n    порт: LPT1:\r\n    драйвер: D\r\n    состояние: готов\r\n"
                              "    в очереди заданий: 7 (самое старое — 0 мин.)\r\n");
    EXPECT_EQ(findings(text), kNothingFound);

    // Old jobs that cannot be read are no finding either.
    text = one_queue(R"("enum_jobs_error": 5, "jobs": [{"id": 1, "age_ms": 999999}, {"id": 2, "age_ms": 5}])");
    EXPECT_EQ(block(text, 1), " 1. P\r\n    порт: LPT1:\r\n    драйвер: D\r\n    состояние: готов\r\n"
                              "    в очереди заданий: 2 (самое старое — 0 мин.)\r\n");
    EXPECT_EQ(findings(text), kNothingFound);
}

TEST_F(ReportTest, TwentyJobsReadFiveShown) {
    // The oldest read job is the 20th; the 23rd is older still but was not read.
    std::string jobs;
    for (int i = 1; i <= 25; ++i) {
        int age_ms = i == 20 ? 3600000 : i == 23 ? 9000000 : 1000 * i;
        jobs += (i > 1 ? "," : "") + std::string("{\"id\":") + std::to_string(i) + ",\"document\":\"d" +
                std::to_string(i) + "\",\"age_ms\":" + std::to_string(age_ms) + "}";
    }
    std::string text = one_queue("\"jobs\": [" + jobs + "]");
    EXPECT_EQ(block(text, 1), " 1. P\r\n    порт: LPT1:\r\n    драйвер: D\r\n    состояние: готов\r\n"
                              "    в очереди заданий: 25 (самое старое — 60 мин.) [!!]\r\n"
                              "      #1 d1 — \r\n      #2 d2 — \r\n      #3 d3 — \r\n      #4 d4 — \r\n"
                              "      #5 d5 — \r\n");
    EXPECT_EQ(findings(text),
              " - В очереди «P» висят старые задания — принтер их не забирает. Очистите очередь, проверьте порт.\r\n");
}

TEST_F(ReportTest, Connections) {
    // Only the virtual default can name a connection among the findings;
    // its work-offline bit is not looked at.
    std::string text = report(R"js({"spooler": {"default": "\\\\SHOP-PC\\Fax",
        "connections": [{"name": "\\\\SHOP-PC\\Fax", "attributes": 1024},
                        {"name": "\\\\SHOP-PC\\Kitchen", "attributes": 1024}]}})js");
    EXPECT_EQ(block(text, 1),
              " 1. \\\\SHOP-PC\\Fax   [ПО УМОЛЧАНИЮ]\r\n"
              "    виртуальный: сохраняет в файл или факс, на бумагу НЕ печатает\r\n"
              "    сетевой принтер (подключён с другого компьютера)\r\n");
    EXPECT_EQ(block(text, 2), " 2. \\\\SHOP-PC\\Kitchen\r\n    сетевой принтер (подключён с другого компьютера)\r\n");
    EXPECT_EQ(findings(text),
              " - По умолчанию стоит виртуальный принтер «\\\\SHOP-PC\\Fax»: если в кассе принтер не выбран, чек "
              "уйдёт в файл, а не на бумагу.\r\n");
}

TEST_F(ReportTest, AQueueOnAnEmptyUsbPort) {
    const std::string device = R"({"port_number": 1, "path": "\\\\?\\usb#1"})";
    const std::string mark = "    порт: USB002 — к этому порту сейчас НИЧЕГО не подключено [!!]\r\n";
    const std::string stale = " - Очередь «P» смотрит в порт USB002, а к нему ничего не подключено.";
    const std::string move =
        " — в свойствах принтера, вкладка «Порты», отметьте его (или выберите в кассе очередь с этим портом).\r\n";
    const std::string queue = R"("spooler": {"printers": [{"name": "P", "port": "USB002", "driver": "D"}]})";

    std::string text = report(R"({"usb": {"interfaces": [)" + device + "]}," + queue + "}");
    EXPECT_NE(text.find(mark), std::string::npos) << text;
    EXPECT_EQ(findings(text), stale + " Принтер сейчас на порту USB001" + move);

    text = report(R"({"usb": {"interfaces": [)" + device + R"(, {"port_number": 3}, {"port_number": 12}]},)" + queue +
                  "}");
    EXPECT_EQ(findings(text), stale + " Принтер сейчас на порту USB001 / USB003 / USB012" + move);

    text = report("{" + queue + "}");
    EXPECT_NE(text.find(mark), std::string::npos) << text;
    EXPECT_EQ(devices(text), "нет ни одного\r\n\r\n");
    EXPECT_EQ(findings(text), stale + " Проверьте кабель и питание принтера.\r\n");

    // A virtual queue on that port: marked, but nothing to advise.
    text = report(R"({"usb": {"interfaces": [)" + device +
                  R"(]}, "spooler": {"printers": [{"name": "P", "port": "USB002", "driver": "Amyuni PDF"}]}})");
    EXPECT_NE(text.find(mark), std::string::npos) << text;
    EXPECT_EQ(findings(text), kNothingFound);

    // Ports that are not USB and digits are never judged.
    for (const char* port : {"LPT1:", "IP_10.0.0.9", "USB", "USB002A", "COM1"}) {
        text = report(R"({"spooler": {"printers": [{"name": "P", "port": ")" + std::string(port) +
                      R"(", "driver": "D"}]}})");
        EXPECT_EQ(block(text, 1),
                  " 1. P\r\n    порт: " + std::string(port) + "\r\n    драйвер: D\r\n    состояние: готов\r\n");
        EXPECT_EQ(findings(text), kNothingFound) << port;
    }
}

TEST_F(ReportTest, WhatTheDevicesSay) {
    const std::string full =
        R"({"hex": "00494d414e5546414354555245523a585072696e7465723b4d4f44454c3a58502d35384949483b434f4d4d414e44205345543a4553432f504f533b434c4153533a5052494e5445523b"})";
    std::string text = report(R"({"usb": {"interfaces": [
        {"port_number": 1, "path": "\\\\?\\usb#1", "device_id": {"access_0": )" + full + R"(}},
        {"port_number": 2, "path": "\\\\?\\usb#2", "device_id": {"generic_read": )" + kModelOnly + R"(}},
        {"port_number": 3, "path": "\\\\?\\usb#3", "device_id": {"access_0": {"ioctl_error": 31}}}]}})");
    EXPECT_EQ(devices(text),
              "\r\n"
              "  USB001\r\n      принтер о себе: XPrinter XP-58IIH, команды: ESC/POS\r\n"
              "  USB002\r\n      принтер о себе: ? R-80, команды не назвал\r\n"
              "  USB003\r\n      принтер о себе: не ответил (или занят печатью)\r\n"
              "\r\n");

    // A listing that missed an interface still shows what it found, but no
    // USB port can be judged any more.
    text = report(R"({"usb": {"interfaces": [{}, {"port_number": 2, "path": "\\\\?\\usb#2", "hardware_ids": ["USB\\VID_1"]}]},
        "spooler": {"printers": [{"name": "P", "port": "USB002", "driver": "D"}]}})");
    EXPECT_EQ(devices(text),
              "не удалось узнать\r\n  USB002  чип: USB\\VID_1\r\n"
              "      принтер о себе: не ответил (или занят печатью)\r\n\r\n");
    EXPECT_EQ(block(text, 1), " 1. P\r\n    порт: USB002\r\n    драйвер: D\r\n    состояние: готов\r\n");
    EXPECT_EQ(findings(text), kNothingFound);

    text = report(R"({"usb": {"list_error": 5, "interfaces": [{"port_number": 1}]},
                      "lpt": {"devices": [{"compatible_ids": ["LPTENUM\\A"], "parent": {"port_name": "LPT2"}}]}})");
    EXPECT_EQ(devices(text), "не удалось узнать\r\n  LPT2  Windows знает его как: LPTENUM\\A\r\n\r\n");
}

TEST_F(ReportTest, NoCommandWordAtAConsoleWaitsForEnter) {
    sim::computer().stdout_kind = sim::StdoutKind::console;
    RunResult result = run({});
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.console, kEmptyReport + kPause);
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(result.leaks.empty());
    const std::vector<std::string>& log = sim::computer().call_log;
    ASSERT_EQ(sim::computer().call_counts["ReadConsoleW"], 1u);
    // The whole text is on the screen before the wait.
    auto read = std::find(log.begin(), log.end(), "ReadConsoleW");
    auto last_write = std::find(log.rbegin(), log.rend(), "WriteConsoleW");
    ASSERT_NE(last_write, log.rend());
    EXPECT_LT(log.rend() - last_write - 1, read - log.begin());
    EXPECT_EQ(sim::computer().call_counts["WriteFile"], 0u);
}

TEST_F(ReportTest, ThePauseWithoutAConsoleInput) {
    // No input to wait on: the text asks for Enter, but nothing waits.
    for (const char* input : {"null", "invalid"}) {
        sim::load_scenario(std::string(R"({"stdout": "console", "stdin": ")") + input + "\"}");
        RunResult result = run({""});
        EXPECT_EQ(result.exit_code, 0) << input;
        EXPECT_EQ(result.console, kEmptyReport + kPause) << input;
        EXPECT_EQ(sim::computer().call_counts["ReadConsoleW"], 0u) << input;
    }
    // The console gives no answer: the program ends all the same.
    sim::load_scenario(R"({"stdout": "console", "read_console": false})");
    RunResult result = run({});
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.console, kEmptyReport + kPause);
    EXPECT_EQ(sim::computer().call_counts["ReadConsoleW"], 1u);
    EXPECT_TRUE(result.leaks.empty());
}

}  // namespace
