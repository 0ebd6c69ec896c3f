// Every command against every failure the simulated Windows can inject: each
// call of each function failing in turn, then each allocation. Whatever fails,
// nothing the program opened may stay open and every document must parse.
#include <nlohmann/json.hpp>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"

namespace {

// Release calls: when one of these is made to fail, what it releases stays
// open through no fault of the program.
const std::set<std::string> kReleaseCalls = {
    "ClosePrinter", "EndDocPrinter", "EndPagePrinter", "DeleteDC",   "DeleteObject",
    "EndDoc",       "EndPage",       "RegCloseKey",    "CloseHandle", "SetupDiDestroyDeviceInfoList",
};

const char kShop[] = R"js({
  "stdin": {"text": "\u001b@receipt\n"},
  "clock": {"utc": "2026-03-01T06:05:07.250Z", "utc_offset_minutes": 180},
  "spooler": {"default": "XP-58", "printers": [
    {"name": "XP-58", "port": "USB001", "driver": "XP-58", "devcaps": {"LOGPIXELSY": 203, "HORZRES": 576},
     "jobs": [{"id": 12, "document": "old", "status": 16, "age_ms": 90000}]},
    {"name": "Office", "port": "LPT1:", "driver": "Laser"}],
    "connections": [{"name": "\\\\PC\\Bar"}]},
  "timeline": [{"at_ms": 1500, "printer": "XP-58", "remove_job": 12}, {"at_ms": 2500, "printer": "XP-58", "remove_job": 13}],
  "usb": {"interfaces": [{"port_number": 1, "path": "\\\\?\\usb#p1", "hardware_ids": ["USB\\VID_0416&PID_5011"],
    "child": {"compatible_ids": ["USBPRINT\\XP58"]},
    "device_id": {"access_0": {"hex": "0012"}, "generic_read": {"hex": "00124d46473a583b4d444c3a35383b"}}}]},
  "lpt": {"devices": [{"compatible_ids": ["LPTENUM\\EPSON"], "parent": {"port_name": "LPT1"}}]}
})js";

struct Command {
    std::vector<std::string> args;
    bool console;
};

const Command kCommands[] = {
    {{"send", "XP-58"}, false}, {{"send", "xp 58"}, true}, {{"test"}, true},         {{"test", "XP-58"}, false},
    {{"driver"}, true},         {{"driver", "XP-58"}, false}, {{"watch", "XP-58", "12"}, false},
    {{"purge", "XP-58", "0"}, false}, {{"list", "ids"}, false}, {{"report"}, true},
};

RunResult run_command(const Command& command) {
    sim::load_scenario(kShop);
    if (command.console) sim::computer().stdout_kind = sim::StdoutKind::console;
    return run(command.args);
}

std::string name_of(const Command& command) {
    std::string name;
    for (const std::string& arg : command.args) name += arg + " ";
    return name;
}

void expect_valid_output(const RunResult& result, const Command& command, const std::string& what) {
    EXPECT_TRUE(result.exit_code == 0 || result.exit_code == 1 || result.exit_code == 3)
        << what << ": exit " << result.exit_code;
    if (command.console) return;
    std::istringstream lines(result.out);
    for (std::string line; std::getline(lines, line);) EXPECT_TRUE(nlohmann::json::accept(line)) << what << ": " << line;
}

class FaultAudit : public SimTest {};

TEST_F(FaultAudit, EveryFailingCallLeavesNothingOpen) {
    for (const Command& command : kCommands) {
        RunResult clean = run_command(command);
        ASSERT_TRUE(clean.leaks.empty()) << name_of(command);
        std::vector<std::string> calls = sim::computer().call_log;
        std::map<std::string, unsigned> seen;
        for (const std::string& function : calls) {
            unsigned nth = ++seen[function];
            SetUp();
            sim::load_scenario(kShop);
            if (command.console) sim::computer().stdout_kind = sim::StdoutKind::console;
            sim::computer().faults.push_back({function, nth, ERROR_GEN_FAILURE});
            RunResult result = run(command.args);
            std::string what = name_of(command) + "/ " + function + " #" + std::to_string(nth);
            expect_valid_output(result, command, what);
            if (kReleaseCalls.count(function) == 0) {
                EXPECT_EQ(result.leaks, std::vector<std::string>{}) << what;
            }
        }
    }
}

TEST_F(FaultAudit, EveryFailingAllocationEndsCleanlyOrWithCode3) {
    for (const Command& command : kCommands) {
        run_command(command);
        unsigned allocations = sim::computer().allocation_count;
        ASSERT_GT(allocations, 0u) << name_of(command);
        for (unsigned nth = 1; nth <= allocations; ++nth) {
            SetUp();
            sim::load_scenario(kShop);
            if (command.console) sim::computer().stdout_kind = sim::StdoutKind::console;
            sim::computer().fail_allocation_nth = nth;
            RunResult result = run(command.args);
            std::string what = name_of(command) + "/ allocation #" + std::to_string(nth);
            expect_valid_output(result, command, what);
            // Code 3 ends the process, and the system closes what it held.
            if (result.exit_code != 3) {
                EXPECT_EQ(result.leaks, std::vector<std::string>{}) << what;
            }
        }
    }
}

}  // namespace
