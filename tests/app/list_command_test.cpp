// Memory running out cannot be scripted in a scenario file, so the list
// command's answer to it is checked here; everything else it shows is in
// tests/e2e/cases/list.json and devices.json.
#include <nlohmann/json.hpp>
#include <string>

#include "harness.h"

namespace {

using ListCommandTest = SimTest;

const char kShop[] = R"js({
  "spooler": {"default": "XP-58", "printers": [{"name": "XP-58", "port": "USB001", "jobs": [{"id": 1}]}],
              "connections": [{"name": "\\\\PC\\Bar"}]},
  "usb": {"interfaces": [{"port_number": 1, "path": "\\\\?\\usb#1", "hardware_ids": ["USB\\VID_0416"]}]}})js";

// What gathering put into the document: each USB device with its hardware
// id, each queue with the number of jobs listed.
std::string gathered(const std::string& document) {
    const nlohmann::json doc = nlohmann::json::parse(document);
    std::string text;
    for (const auto& usb : doc["usb"]) {
        text += usb["port"].get<std::string>() + "[" + usb["hwid"].get<std::string>() + "] ";
    }
    for (const auto& printer : doc["printers"]) {
        text += printer["name"].get<std::string>() + "(" + std::to_string(printer["job_list"].size()) + ") ";
    }
    return text;
}

// Gathering does without what it gets no memory for and goes on, except
// for the printers' own table; the document cannot, and then nothing at all
// is written (null: exit code 3).
TEST_F(ListCommandTest, EachAllocationFailingInTurn) {
    const char* const kWithout[] = {
        "USB001[] XP-58(1) \\\\PC\\Bar(0) ",               // the USB detail record
        nullptr,                                          // the printers' table
        nullptr,                                          // the default printer's name
        "USB001[USB\\VID_0416] \\\\PC\\Bar(0) ",           // the local queues
        "USB001[USB\\VID_0416] XP-58(1) ",                 // the connections
        "USB001[USB\\VID_0416] XP-58(0) \\\\PC\\Bar(0) ",  // the job list
    };
    const unsigned kGathering = sizeof kWithout / sizeof kWithout[0];
    sim::load_scenario(kShop);
    RunResult clean = run({"list"});
    ASSERT_EQ(gathered(clean.out), "USB001[USB\\VID_0416] XP-58(1) \\\\PC\\Bar(0) ");
    const unsigned allocations = sim::computer().allocation_count;
    ASSERT_GT(allocations, kGathering);

    for (unsigned nth = 1; nth <= allocations; ++nth) {
        SetUp();
        sim::load_scenario(kShop);
        sim::computer().fail_allocation_nth = nth;
        RunResult result = run({"list"});
        if (nth <= kGathering && kWithout[nth - 1] != nullptr) {
            EXPECT_EQ(result.exit_code, 0) << nth;
            EXPECT_EQ(gathered(result.out), kWithout[nth - 1]) << nth;
        } else {
            EXPECT_EQ(result.exit_code, 3) << nth;
            EXPECT_EQ(result.out, "") << nth;
            allow_leaks();  // the process ends at once and the system takes back what it held
        }
    }
}

}  // namespace
