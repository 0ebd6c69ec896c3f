// Transcripts of calls to the simulated Windows, compared whole with
// golden/<test name>.txt. Each call is made with the last error seeded with a
// marker, as Wine's conformance tests do, and noted with what it returned and
// the last error it left ("untouched": the marker). MORVIK_UPDATE_GOLDEN=1
// rewrites the golden files from what runs now, for review as a diff.
#pragma once

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <type_traits>

#include "harness.h"

namespace transcript {

const DWORD kMarker = 0xdeadbeef;
const DWORD kCleanUpMarker = 0xc1ea4;  // for clean_up_error: what every clean-up call then leaves

// A file of tests/sim/, written first when `write` is given.
inline std::string file(const std::string& name, const std::string* write = nullptr) {
    const std::string path = std::string(MORVIK_TEST_SOURCE_DIR) + "/sim/" + name;
    if (write != nullptr) std::ofstream(path, std::ios::binary) << *write;
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << path;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void load(const std::string& scenario) {
    sim::load_scenario(file("scenarios/" + scenario + ".json"));
}

inline void expect_golden(const std::string& text) {
    const std::string name = std::string("golden/") + testing::UnitTest::GetInstance()->current_test_info()->name();
    EXPECT_EQ(text, file(name + ".txt", std::getenv("MORVIK_UPDATE_GOLDEN") ? &text : nullptr)) << name;
}

// What a call returned (a number, or whether a handle is null or invalid) and the last error after it.
template <typename Result>
std::string outcome(Result result) {
    DWORD error = GetLastError();
    char text[64];
    if constexpr (std::is_pointer_v<Result>) {
        snprintf(text, sizeof text, "%s",
                 result == nullptr                ? "null"
                 : result == INVALID_HANDLE_VALUE ? "INVALID_HANDLE_VALUE"
                                                  : "a handle");
    } else {
        snprintf(text, sizeof text, "%lld", static_cast<long long>(result));
    }
    std::string made = std::string("returns ") + text + ", last error ";
    snprintf(text, sizeof text, error > 0xffff ? "0x%x" : "%u", static_cast<unsigned>(error));
    return made + (error == kMarker ? "untouched" : error == kCleanUpMarker ? "clean_up_error" : text);
}

inline std::string hex(const std::string& bytes) {
    std::string text;
    for (unsigned char b : bytes) text += "0123456789abcdef"[b >> 4] + std::string(1, "0123456789abcdef"[b & 15]);
    return text;
}

}  // namespace transcript

// Makes the call with the last error seeded and notes it, as written, in `text`.
#define STEP(call) (SetLastError(transcript::kMarker), text += #call " -> " + transcript::outcome(call) + "\n")
