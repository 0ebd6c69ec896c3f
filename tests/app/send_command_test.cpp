#include <nlohmann/json.hpp>

#include <string>

#include "harness.h"

namespace {

class SendCommandTest : public SimTest {
protected:
    // A shop computer with one receipt printer as the default.
    void shop(const std::string& extra = "") {
        sim::load_scenario(R"js({"spooler": {"default": "XP-58", "printers": [{"name": "XP-58", "port": "USB001",
                                "driver": "XP-58 (copy 1)"}]})js" + extra + "}");
    }
    void input(const std::string& bytes) { sim::computer().stdin_state.bytes = bytes; }
    const std::vector<sim::StartedJob>& jobs() { return sim::computer().spooler.printers[0].started; }
};

TEST_F(SendCommandTest, ReceiptThroughAPipe) {
    shop();
    std::string receipt("\x1b@Hello\x00\x1a\r\n\xff", 12);
    input(receipt);
    RunResult run_result = run({"send", "XP-58"});
    EXPECT_EQ(run_result.exit_code, 0);
    EXPECT_EQ(run_result.out,
              "{\"stage\":\"write\",\"job\":1}\n"
              "{\"ok\":true,\"job\":1,\"bytes\":12,\"printer\":\"XP-58\"}\n");
    ASSERT_EQ(jobs().size(), 1u);
    EXPECT_EQ(jobs()[0].bytes, receipt);
    EXPECT_TRUE(jobs()[0].ended);
    EXPECT_TRUE(run_result.leaks.empty());
}

TEST_F(SendCommandTest, TheDefaultPrinterWhenNoneIsNamed) {
    shop();
    input("AB");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"send"}, std::vector<std::string>{"SEND", ""}}) {
        sim::computer().stdin_state.position = 0;
        sim::computer().stdout_bytes.clear();
        RunResult run_result = run(args);
        EXPECT_EQ(run_result.exit_code, 0);
        EXPECT_NE(run_result.out.find(",\"bytes\":2,\"printer\":\"XP-58\"}\n"), std::string::npos) << run_result.out;
    }
    EXPECT_EQ(jobs().size(), 2u);
}

TEST_F(SendCommandTest, EmptyInputComesFirst) {
    // No printer at all, and still EMPTY: the input is judged before the printer.
    for (const char* stdin_spec : {R"({})", R"({"stdin": {"hex": "", "then_error": 5}})", R"({"stdin": "null"})",
                                   R"({"stdin": "invalid"})"}) {
        sim::load_scenario(stdin_spec);
        RunResult run_result = run({"send", "XP-58"});
        EXPECT_EQ(run_result.exit_code, 1);
        EXPECT_EQ(run_result.out,
                  "{\"ok\":false,\"error\":\"EMPTY\",\"win32\":0,\"message\":\"Пустой поток\",\"printer\":\"XP-58\"}\n")
            << stdin_spec;
        EXPECT_EQ(sim::computer().call_counts["OpenPrinterW"], 0u);
    }
}

TEST_F(SendCommandTest, NoPrinterAnywhere) {
    sim::load_scenario(R"({"stdin": {"text": "AB"}})");
    RunResult run_result = run({"send"});
    EXPECT_EQ(run_result.exit_code, 1);
    EXPECT_EQ(run_result.out,
              "{\"ok\":false,\"error\":\"NO_PRINTER\",\"win32\":0,"
              "\"message\":\"Принтер не выбран, и принтера по умолчанию в Windows нет\",\"printer\":\"\"}\n");
}

TEST_F(SendCommandTest, UnknownQueueRepeatsTheName) {
    shop();
    input("AB");
    RunResult run_result = run({"send", "Кухня \"2\""});
    EXPECT_EQ(run_result.exit_code, 1);
    EXPECT_EQ(run_result.out,
              "{\"ok\":false,\"error\":\"OPEN_FAILED\",\"win32\":1801,\"message\":\"The printer name is invalid\","
              "\"printer\":\"Кухня \\\"2\\\"\"}\n");
}

TEST_F(SendCommandTest, BlockGrowsByDoublingUpTo8MiB) {
    shop();
    for (size_t size : {65535u, 65536u, 65537u, 1000000u, 8388608u}) {
        sim::computer().spooler.printers[0].started.clear();
        sim::computer().stdin_state = sim::StdinState{};
        std::string bytes(size, '\0');
        for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7);
        input(bytes);
        RunResult run_result = run({"send", "XP-58"});
        EXPECT_EQ(run_result.exit_code, 0) << size;
        ASSERT_EQ(jobs().size(), 1u);
        EXPECT_TRUE(jobs()[0].bytes == bytes) << size;
        sim::computer().stdout_bytes.clear();
    }
}

TEST_F(SendCommandTest, MoreThan8MiBIsRefusedNotCut) {
    shop();
    for (size_t size : {8388609u, 10u * 1024 * 1024}) {
        sim::computer().stdin_state = sim::StdinState{};
        sim::computer().stdout_bytes.clear();
        input(std::string(size, 'x'));
        RunResult run_result = run({"send", "XP-58"});
        EXPECT_EQ(run_result.exit_code, 1);
        EXPECT_EQ(run_result.out,
                  "{\"ok\":false,\"error\":\"TOO_LARGE\",\"win32\":0,\"message\":\"Поток больше 8 МиБ\","
                  "\"printer\":\"XP-58\"}\n");
        EXPECT_TRUE(jobs().empty());
        EXPECT_EQ(sim::computer().call_counts["OpenPrinterW"], 0u);
    }
}

TEST_F(SendCommandTest, AReadFailingAfterBytesSubmitsNothing) {
    shop(R"(, "stdin": {"text": "half a receipt", "then_error": 6})");
    RunResult run_result = run({"send", "XP-58"});
    EXPECT_EQ(run_result.exit_code, 1);
    EXPECT_EQ(run_result.out,
              "{\"ok\":false,\"error\":\"READ_FAILED\",\"win32\":6,\"message\":\"The handle is invalid\","
              "\"printer\":\"XP-58\"}\n");
    EXPECT_TRUE(jobs().empty());

    // The end of a pipe and the end of a file are the end of the input.
    for (const char* end : {"109", "38"}) {
        shop(std::string(R"(, "stdin": {"text": "whole", "then_error": )") + end + "}");
        run_result = run({"send", "XP-58"});
        EXPECT_EQ(run_result.exit_code, 0) << end;
        ASSERT_EQ(jobs().size(), 1u);
        EXPECT_EQ(jobs()[0].bytes, "whole");
    }
}

TEST_F(SendCommandTest, ReadFailingRightAtTheLimit) {
    shop();
    input(std::string(8388608, 'x'));
    sim::computer().stdin_state.then_error = ERROR_ACCESS_DENIED;
    RunResult run_result = run({"send", "XP-58"});
    EXPECT_EQ(run_result.exit_code, 1);
    EXPECT_NE(run_result.out.find("\"error\":\"READ_FAILED\",\"win32\":5,"), std::string::npos);
    EXPECT_TRUE(jobs().empty());
}

TEST_F(SendCommandTest, ConsoleShowsRussianWithTheSameExitCode) {
    shop(R"(, "stdout": "console")");
    input("AB");
    RunResult ok = run({"send", "XP-58"});
    EXPECT_EQ(ok.exit_code, 0);
    EXPECT_EQ(ok.console,
              "OK: задание отправлено в очередь «XP-58». Если бумага не вышла — запустите помощника без параметров "
              "и посмотрите отчёт.\r\n");

    shop(R"(, "stdout": "console")");
    input("AB");
    RunResult missing = run({"send", "xp 58"});
    EXPECT_EQ(missing.exit_code, 1);
    EXPECT_EQ(missing.console,
              "ОШИБКА: принтера «xp 58» в Windows нет. Имя нужно писать точно как в списке, с теми же пробелами.\r\n"
              "\r\nПохоже, это «XP-58». Запустите:\r\n  morvik-helper.exe test \"XP-58\"\r\n"
              "\r\nПринтеры этого компьютера:\r\n  XP-58   [по умолчанию]\r\n");
    EXPECT_TRUE(missing.leaks.empty());

    shop(R"(, "stdout": "console")");
    RunResult empty = run({"send", "XP-58"});
    EXPECT_EQ(empty.exit_code, 1);
    EXPECT_EQ(empty.console,
              "ОШИБКА отправки в «XP-58»: {\"ok\":false,\"error\":\"EMPTY\",\"win32\":0,\"message\":\"Пустой поток\","
              "\"printer\":\"XP-58\"}\n\r\n");
}

TEST_F(SendCommandTest, OutOfMemoryForTheInputBlock) {
    shop();
    input("AB");
    sim::computer().fail_allocation_nth = 1;
    RunResult first = run({"send", "XP-58"});
    EXPECT_EQ(first.exit_code, 3);
    EXPECT_EQ(first.out, "");

    // The doubling of a full block.
    shop();
    input(std::string(70000, 'x'));
    sim::computer().fail_allocation_nth = 2;
    RunResult growing = run({"send", "XP-58"});
    EXPECT_EQ(growing.exit_code, 3);
    EXPECT_EQ(growing.out, "");
    EXPECT_TRUE(jobs().empty());
}

// Names a shop might really have, and names nobody should: every document
// must still be one valid JSON line that gives the name back.
TEST_F(SendCommandTest, HostileNamesGiveValidJson) {
    const std::u16string names[] = {
        u"Kitchen \"Hot\" \\\\SHOP-PC\\XP",
        u"tab\there\r\nnew line \x01\x1f\x7f",
        u"lone \xD800 high and \xDC00 low",
        std::u16string(300, u'Щ'),
    };
    for (const std::u16string& name : names) {
        for (bool present : {false, true}) {
            sim::reset();
            sim::computer().stdin_state.bytes = "AB";
            sim::Printer printer;
            printer.name = name;
            if (present) sim::computer().spooler.printers.push_back(printer);
            RunResult run_result = run_utf16({u"send", name});
            EXPECT_EQ(run_result.exit_code, present ? 0 : 1);
            std::string last_line = run_result.out.substr(run_result.out.rfind('\n', run_result.out.size() - 2) + 1);
            if (!present) last_line = run_result.out;
            ASSERT_TRUE(nlohmann::json::accept(last_line)) << last_line;
            // A lone surrogate comes out as U+FFFD.
            EXPECT_EQ(nlohmann::json::parse(last_line)["printer"].get<std::string>(), sim::utf16_to_utf8(name));
            EXPECT_TRUE(run_result.leaks.empty());
        }
    }
}

}  // namespace
