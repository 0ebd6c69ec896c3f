// Every command against every failure the simulated Windows can inject: each
// call of each function failing in turn, then each allocation. Whatever fails,
// nothing the program opened may stay open and every document must parse.
#include <nlohmann/json.hpp>

#include <optional>
#include <regex>
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
    "closesocket",  "WSACleanup",    "FreeAddrInfoW",
    // A device operation that cannot be seen to end is left running, with its
    // record and event: the driver may still write them.
    "CancelIoEx",   "GetOverlappedResult",
};

const char kShop[] = R"js({
  "stdin": {"text": "\u001b@receipt\n"},
  "clock": {"utc": "2026-03-01T06:05:07.250Z", "utc_offset_minutes": 180},
  "spooler": {"default": "XP-58", "printers": [
    {"name": "XP-58", "port": "USB001", "driver": "XP-58", "devcaps": {"LOGPIXELSY": 203, "HORZRES": 576},
     "jobs": [{"id": 12, "document": "old", "status": 16, "age_ms": 90000}]},
    {"name": "Office", "port": "LPT1:", "driver": "Laser"},
    {"name": "Short", "port": "USB002", "driver": "XP-58", "write": {"accept_total": 1}},
    {"name": "Kitchen", "port": "IP_10.0.0.5", "driver": "XP-80", "jobs": [{"id": 30, "status": 2}]},
    {"name": "Bar", "port": "Bar", "driver": "XP-80"}, {"name": "Hall", "port": "Hall", "driver": "XP-80"}],
    "connections": [{"name": "\\\\PC\\Bar"}]},
  "timeline": [{"at_ms": 1500, "printer": "XP-58", "remove_job": 12}, {"at_ms": 2500, "printer": "XP-58", "remove_job": 13}],
  "usb": {"interfaces": [{"port_number": 1, "path": "\\\\?\\usb#p1", "hardware_ids": ["USB\\VID_0416&PID_5011"],
    "child": {"compatible_ids": ["USBPRINT\\XP58"]},
    "device_id": {"access_0": {"hex": "0012"}, "generic_read": {"hex": "00124d46473a583b4d444c3a35383b"}}},
   {"port_number": 2, "path": "\\\\?\\usb#p2", "lpt_status": 56, "escpos": {"1": "16", "2": "12", "3": "silent", "stale": "ff"}}]},
  "lpt": {"devices": [{"compatible_ids": ["LPTENUM\\EPSON"], "parent": {"port_name": "LPT1"}}]},
  "registry": {"tcp_ports": {"IP_10.0.0.5": {"IPAddress": "10.0.0.5"}, "Bar": {"HostName": "bar.local", "PortNumber": 9101},
    "Hall": {"HostName": "hall.local"}}},
  "network": {"hosts": {"10.0.0.5": {"tcp": {"9100": "answers"}, "delay_ms": 20},
    "10.0.0.6": {"tcp": {"9101": {"escpos": {"1": "16", "2": "32", "3": "12", "4": "12"}}}}},
    "names": {"bar.local": {"address": "10.0.0.6", "delay_ms": 30}, "hall.local": {"error": 11002, "delay_ms": 5000}}}
})js";

struct Command {
    std::vector<std::string> args;
    bool console;
};

const Command kCommands[] = {
    {{"send", "XP-58"}, false}, {{"send", "xp 58"}, true}, {{"send", "Short"}, false}, {{"test"}, true},         {{"test", "XP-58"}, false},
    {{"driver"}, true},         {{"driver", "XP-58"}, false}, {{"watch", "XP-58", "12"}, false},
    {{"purge", "XP-58", "0"}, false}, {{"list", "ids"}, false}, {{"report"}, true}, {{"watch", "Kitchen", "30", "3500"}, false},
    {{"status", "Short"}, false}, {{"status", "Bar"}, true},
};

// Left by every clean-up call and every call not made to fail, so an error
// read after one of them, instead of the failure's own, shows up.
const DWORD kStaleMarker = 0xC1EA4;

void load_shop(const Command& command) {
    sim::load_scenario(kShop);
    sim::computer().clean_up_error = kStaleMarker;
    sim::computer().stale_error = kStaleMarker;
    if (command.console) sim::computer().stdout_kind = sim::StdoutKind::console;
}

RunResult run_command(const Command& command) {
    load_shop(command);
    return run(command.args);
}

std::string name_of(const Command& command) {
    std::string name;
    for (const std::string& arg : command.args) name += arg + " ";
    return name;
}

// The Windows errors a run's documents and texts name.
std::set<std::string> named_errors(const RunResult& result) {
    const std::string text = result.out + result.console;
    static const std::regex kNamed("\"win32\":([0-9]+)|ошибка ([0-9]+):");
    std::set<std::string> codes;
    for (std::sregex_iterator it(text.begin(), text.end(), kNamed), end; it != end; ++it) {
        codes.insert((*it)[1].matched ? (*it)[1].str() : (*it)[2].str());
    }
    return codes;
}

// What the command names when nothing is made to fail, in both kinds of
// output: a failing console call makes a person's run write JSON.
std::set<std::string> errors_of_clean_runs(const Command& command) {
    std::set<std::string> codes = named_errors(run_command({command.args, false}));
    for (const std::string& code : named_errors(run_command({command.args, true}))) codes.insert(code);
    return codes;
}

// Every document parses, and every Windows error it names is one the clean
// run names too, 0 (the program's own) or the one made to happen: an error
// taken after a clean-up call would name what the clean-up left behind.
void expect_valid_output(const RunResult& result, const Command& command, const std::string& what,
                         std::set<std::string> allowed) {
    EXPECT_TRUE(result.exit_code == 0 || result.exit_code == 1 || result.exit_code == 3)
        << what << ": exit " << result.exit_code;
    allowed.insert("0");
    for (const std::string& code : named_errors(result)) {
        EXPECT_EQ(allowed.count(code), 1u) << what << ": names error " << code << "\n" << result.out << result.console;
    }
    if (command.console) return;
    std::istringstream lines(result.out);
    for (std::string line; std::getline(lines, line);) EXPECT_TRUE(nlohmann::json::accept(line)) << what << ": " << line;
}

// Each run is audited here, a failing release call leaving its object open.
class FaultAudit : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        allow_leaks();
    }
};

TEST_F(FaultAudit, EveryFailingCallLeavesNothingOpen) {
    for (const Command& command : kCommands) {
        std::set<std::string> allowed = errors_of_clean_runs(command);
        allowed.insert("31");
        // GetAddrInfoW and WSAStartup answer through their results: made to
        // fail without an error, they answer WSANO_RECOVERY and WSASYSNOTREADY.
        allowed.insert("11003");
        allowed.insert("10091");
        RunResult clean = run_command(command);
        ASSERT_TRUE(clean.leaks.empty()) << name_of(command);
        std::vector<std::string> calls = sim::computer().call_log;
        std::map<std::string, unsigned> seen;
        for (const std::string& function : calls) {
            unsigned nth = ++seen[function];
            // Failing with an error, and failing without setting one: the
            // program must then name 0, never an error some earlier call left.
            for (std::optional<DWORD> error : {std::optional<DWORD>(ERROR_GEN_FAILURE), std::optional<DWORD>()}) {
                SetUp();
                load_shop(command);
                sim::computer().faults.push_back({function, nth, error});
                RunResult result = run(command.args);
                std::string what = name_of(command) + "/ " + function + " #" + std::to_string(nth) +
                                   (error ? " with 31" : " without an error");
                expect_valid_output(result, command, what, allowed);
                if (kReleaseCalls.count(function) == 0) {
                    EXPECT_EQ(result.leaks, std::vector<std::string>{}) << what;
                }
            }
        }
    }
}

// Memory running out ends the program with code 3, wherever it happens: an
// answer with a queue or a text silently left out would be a wrong one.
TEST_F(FaultAudit, EveryFailingAllocationEndsWithCode3) {
    for (const Command& command : kCommands) {
        std::set<std::string> allowed = errors_of_clean_runs(command);
        run_command(command);
        unsigned allocations = sim::computer().allocation_count;
        ASSERT_GT(allocations, 0u) << name_of(command);
        for (unsigned nth = 1; nth <= allocations; ++nth) {
            SetUp();
            load_shop(command);
            sim::computer().fail_allocation_nth = nth;
            RunResult result = run(command.args);
            std::string what = name_of(command) + "/ allocation #" + std::to_string(nth);
            expect_valid_output(result, command, what, allowed);
            EXPECT_EQ(result.exit_code, 3) << what;  // the system closes what it held
        }
    }
}

}  // namespace
