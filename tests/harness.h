// Helpers for in-process tests: run the program on the simulated computer
// and read back what it wrote. Texts are compared as UTF-8 std::string.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "computer.h"

struct RunResult {
    int exit_code;
    std::string out;      // bytes written to a pipe or file
    std::string console;  // console text, as UTF-8
    std::vector<std::string> leaks;
};

// Runs the program with these arguments on the computer as it stands.
inline RunResult run_utf16(const std::vector<std::u16string>& args) {
    RunResult result;
    result.exit_code = sim::run_program_utf16(args);
    result.out = sim::computer().stdout_bytes;
    result.console = sim::utf16_to_utf8(sim::computer().console_text);
    result.leaks = sim::leaks();
    return result;
}

inline RunResult run(const std::vector<std::string>& args) {
    std::vector<std::u16string> wide;
    for (const std::string& arg : args) wide.push_back(sim::utf8_to_utf16(arg));
    return run_utf16(wide);
}

// Loads the scenario text and runs the program on it.
inline RunResult run_scenario(const std::string& scenario, const std::vector<std::string>& args) {
    sim::load_scenario(scenario);
    return run(args);
}

// A UTF-16 text of the program's as UTF-8, for comparisons.
inline std::string u8(const wchar_t* text) {
    std::u16string units;
    for (const wchar_t* p = text; p != nullptr && *p != 0; ++p) units.push_back(static_cast<char16_t>(*p));
    return sim::utf16_to_utf8(units);
}

// Each test starts on a new computer (the program keeps no state of its own
// between runs) and ends with nothing left open: no
// handle, document, page, key, list, GDI object or heap block. A test that
// leaves something open on purpose says so with allow_leaks().
class SimTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::reset();
        leaks_allowed_ = false;
    }
    void TearDown() override {
        if (!leaks_allowed_) {
            EXPECT_EQ(sim::leaks(), std::vector<std::string>{}) << "left open at the end of the test";
        }
    }
    void allow_leaks() { leaks_allowed_ = true; }

private:
    bool leaks_allowed_ = false;
};
