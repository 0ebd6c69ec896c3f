#include "app/dispatch.h"
#include "output/output.h"

#include <nlohmann/json.hpp>

#include "harness.h"

namespace {

using DispatchTest = SimTest;

const std::string kVersion = "{\"ok\":true,\"v\":\"1.1.0\"}\n";
const std::string kUnknown = "{\"ok\":false,\"error\":\"UNKNOWN_COMMAND\"}\n";

TEST_F(DispatchTest, VersionInAnyCaseThroughAPipe) {
    for (const char* word : {"version", "VERSION", "Version", "vErSiOn"}) {
        sim::reset();
        RunResult result = run({word, "extra", "args", "ignored"});
        EXPECT_EQ(result.exit_code, 0) << word;
        EXPECT_EQ(result.out, kVersion) << word;
        EXPECT_TRUE(result.leaks.empty());
    }
    EXPECT_TRUE(nlohmann::json::parse(kVersion)["ok"].get<bool>());
}

TEST_F(DispatchTest, VersionAtAConsoleIsTheSameDocument) {
    sim::computer().stdout_kind = sim::StdoutKind::console;
    RunResult result = run({"version"});
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.console, kVersion);
    EXPECT_EQ(result.out, "");
}

TEST_F(DispatchTest, UnrecognisedWordsExitWith2) {
    // Words that only look like commands: no prefix, no blanks, no Unicode
    // case folding, no Turkish dotless i.
    for (const char* word : {"help", "versio", "version ", " version", "versionx", "ЛИСТ", "vers\xc4\xb1on"}) {
        sim::reset();
        RunResult result = run({word});
        EXPECT_EQ(result.exit_code, 2) << word;
        EXPECT_EQ(result.out, kUnknown) << word;
        // Nothing else is done: not even the spooler is asked.
        EXPECT_EQ(sim::computer().call_log,
                  (std::vector<std::string>{"SetErrorMode", "GetStdHandle", "GetConsoleMode", "GetStdHandle",
                                            "WriteFile", "FlushFileBuffers"}))
            << word;
    }
    EXPECT_EQ(nlohmann::json::parse(kUnknown)["error"], "UNKNOWN_COMMAND");
}

TEST_F(DispatchTest, ErrorModeIsSetFirst) {
    run({"version"});
    EXPECT_EQ(sim::computer().error_mode, 0x8003u);
    EXPECT_EQ(sim::computer().call_log.front(), "SetErrorMode");
}

TEST_F(DispatchTest, NoCommandWordAndAnEmptyOneBehaveAlike) {
    RunResult none = run({});
    std::vector<std::string> calls_none = sim::computer().call_log;
    sim::reset();
    RunResult empty = run({""});
    EXPECT_EQ(none.exit_code, empty.exit_code);
    EXPECT_EQ(none.out, empty.out);
    EXPECT_EQ(calls_none, sim::computer().call_log);
}

TEST_F(DispatchTest, ConsoleModeNeedsAValidHandleAndAConsole) {
    struct Case {
        sim::StdoutKind kind;
        bool console;
    };
    for (Case c : {Case{sim::StdoutKind::console, true}, Case{sim::StdoutKind::pipe, false},
                   Case{sim::StdoutKind::file, false}, Case{sim::StdoutKind::null, false},
                   Case{sim::StdoutKind::invalid, false}}) {
        sim::reset();
        sim::computer().stdout_kind = c.kind;
        RunResult result = run({"version"});
        EXPECT_EQ(console_mode, c.console);
        EXPECT_EQ(result.exit_code, 0);  // set even when nobody can read the document
    }
    // GetConsoleMode is not asked about a handle that is not there.
    sim::reset();
    sim::computer().stdout_kind = sim::StdoutKind::null;
    run({"version"});
    EXPECT_EQ(sim::computer().call_counts["GetConsoleMode"], 0u);
}

TEST_F(DispatchTest, OutOfMemoryEndsTheProcessWith3AndWritesNothing) {
    sim::computer().fail_allocation_nth = 1;
    RunResult result = run({"version"});
    EXPECT_EQ(result.exit_code, 3);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(sim::computer().call_log.back(), "ExitProcess");
}

// parse_number through a made-up argument vector.
unsigned long long number(std::vector<std::u16string> args, int index, const wchar_t* fallback) {
    std::vector<wchar_t*> argv;
    for (std::u16string& arg : args) argv.push_back(reinterpret_cast<wchar_t*>(arg.data()));
    return parse_number(static_cast<int>(argv.size()), argv.data(), index, fallback);
}

TEST(ParseNumber, DigitsFromTheStartAndDefaults) {
    std::u16string exe = u"morvik-helper.exe", cmd = u"purge", p = u"XP-58";
    EXPECT_EQ(number({exe, cmd, p}, 3, L"20"), 20u);           // absent: the default
    EXPECT_EQ(number({exe, cmd, p, u"45"}, 3, L"20"), 45u);
    EXPECT_EQ(number({exe, cmd, p, u"abc"}, 3, L"20"), 0u);    // letters: 0
    EXPECT_EQ(number({exe, cmd, p, u"12abc"}, 3, L"20"), 12u);
    EXPECT_EQ(number({exe, cmd, p, u""}, 3, L"20"), 0u);       // present but empty
    EXPECT_EQ(number({exe, cmd, p, u"007"}, 3, L"20"), 7u);
    EXPECT_EQ(number({exe, cmd, p, u"1 000"}, 3, L"20"), 1u);
    EXPECT_EQ(number({exe, cmd, p, u"1,5"}, 3, L"20"), 1u);
    for (const char16_t* bad : {u"+5", u"-5", u" 5", u"0x10", u"x10", u"\uff15"}) {
        EXPECT_EQ(number({exe, cmd, p, bad}, 3, L"20"), 0u) << sim::utf16_to_utf8(bad);
    }
    // Present but a null pointer.
    std::vector<wchar_t*> argv = {nullptr, nullptr, nullptr, nullptr};
    EXPECT_EQ(parse_number(4, argv.data(), 3, L"20"), 0u);
}

TEST(ParseNumber, WrapsModulo2To64And2To32) {
    std::u16string exe = u"x", cmd = u"watch", p = u"XP-58";
    EXPECT_EQ(number({exe, cmd, p, u"18446744073709551615"}, 3, L"0"), 18446744073709551615ULL);
    EXPECT_EQ(number({exe, cmd, p, u"18446744073709551616"}, 3, L"0"), 0u);
    EXPECT_EQ(number({exe, cmd, p, u"18446744073709551621"}, 3, L"0"), 5u);
    unsigned long long big = number({exe, cmd, p, u"4294967301"}, 3, L"0");
    EXPECT_EQ(big, 4294967301ULL);
    EXPECT_EQ(static_cast<DWORD>(big), 5u);  // a 32-bit argument keeps the value modulo 2^32
    EXPECT_EQ(number({exe, cmd, p, u"1", u"x"}, 4, L"20000"), 0u);
    EXPECT_EQ(number({exe, cmd, p, u"1"}, 4, L"20000"), 20000u);
}

}  // namespace
