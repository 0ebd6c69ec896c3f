// The answers a receipt printer gives to DLE EOT 1 to 4, bit by bit.
#include <gtest/gtest.h>

#include <vector>

#include "printing/escpos_ask.h"
#include "printing/escpos_status.h"

namespace {

struct Row {
    std::vector<BYTE> answers;  // n = 1, 2, ... as answered
    bool online;
    bool drawer_high;
    int cover_open;
    PaperState paper;
    PrinterFault fault;
    bool ready;
};

using P = PaperState;
using F = PrinterFault;

TEST(EscposStatus, EveryBitOfEveryAnswer) {
    const Row rows[] = {
        {{0x12, 0x12, 0x12, 0x12}, true, false, 0, P::ok, F::none, true},
        {{0x16, 0x12, 0x12, 0x12}, true, true, 0, P::ok, F::none, true},           // n=1: drawer pin 3 high
        {{0x1A, 0x12, 0x12, 0x12}, false, false, 0, P::ok, F::none, false},        // n=1: offline
        {{0x72, 0x12, 0x12, 0x12}, true, false, 0, P::ok, F::none, true},          // n=1: recovery wait, feed button
        {{0x12, 0x16, 0x12, 0x12}, true, false, 1, P::ok, F::none, false},         // n=2: cover open
        {{0x12, 0x5A, 0x12, 0x12}, true, false, 0, P::ok, F::none, true},          // n=2: fed by the button, error
        {{0x12, 0x32, 0x12, 0x12}, true, false, 0, P::out, F::none, false},        // n=2: stopped by paper end
        {{0x12, 0x12, 0x16, 0x12}, true, false, 0, P::ok, F::mechanical, false},   // n=3 bit 2
        {{0x12, 0x12, 0x1A, 0x12}, true, false, 0, P::ok, F::autocutter, false},   // n=3 bit 3
        {{0x12, 0x12, 0x32, 0x12}, true, false, 0, P::ok, F::unrecoverable, false},
        {{0x12, 0x12, 0x52, 0x12}, true, false, 0, P::ok, F::recoverable, false},
        {{0x12, 0x12, 0x7E, 0x12}, true, false, 0, P::ok, F::unrecoverable, false},  // the gravest wins
        {{0x12, 0x12, 0x5E, 0x12}, true, false, 0, P::ok, F::autocutter, false},
        {{0x12, 0x12, 0x56, 0x12}, true, false, 0, P::ok, F::mechanical, false},
        {{0x12, 0x12, 0x12, 0x16}, true, false, 0, P::near_end, F::none, true},  // n=4: either bit of a pair
        {{0x12, 0x12, 0x12, 0x1A}, true, false, 0, P::near_end, F::none, true},
        {{0x12, 0x12, 0x12, 0x32}, true, false, 0, P::out, F::none, false},
        {{0x12, 0x12, 0x12, 0x52}, true, false, 0, P::out, F::none, false},
        {{0x12, 0x12, 0x12, 0x7E}, true, false, 0, P::out, F::none, false},
        {{0x12}, true, false, -1, P::unknown, F::unknown, true},  // later questions unanswered
        {{0x1A}, false, false, -1, P::unknown, F::unknown, false},
        {{0x12, 0x32}, true, false, 0, P::out, F::unknown, false},
        {{0x12, 0x12, 0x12}, true, false, 0, P::unknown, F::none, true},
    };
    for (const Row& row : rows) {
        BYTE answers[ESCPOS_QUESTIONS] = {0, 0, 0, 0};
        for (size_t i = 0; i < row.answers.size(); ++i) answers[i] = row.answers[i];
        EscposState state = decode_escpos_status(answers, static_cast<int>(row.answers.size()));
        std::string at = ::testing::PrintToString(row.answers);
        EXPECT_EQ(state.online, row.online) << at;
        EXPECT_EQ(state.drawer_pin3_high, row.drawer_high) << at;
        EXPECT_EQ(state.cover_open, row.cover_open) << at;
        EXPECT_EQ(state.paper, row.paper) << at;
        EXPECT_EQ(state.fault, row.fault) << at;
        EXPECT_EQ(state.ready, row.ready) << at;
    }
}

// Only a byte with the fixed bits answers: an automatic status back (its
// first byte 0x10 and three with bits 4 and 7 clear) or stale data before it does not.
TEST(EscposStatus, TheAnswerAmongOtherBytes) {
    const std::pair<std::vector<BYTE>, int> rows[] = {
        {{0x12}, 0},       {{0x1E}, 0},       {{0x10, 0x00, 0x0F, 0x6F, 0x16}, 4}, {{0xFF, 0x41, 0x12}, 2},
        {{0x10}, -1},      {{0x92}, -1},      {{0x13}, -1},                        {{0x02}, -1},
        {{}, -1},
    };
    for (const auto& [bytes, index] : rows) {
        EXPECT_EQ(find_status_byte(bytes.data(), static_cast<DWORD>(bytes.size())), index)
            << ::testing::PrintToString(bytes);
    }
}

// Which printers may be sent 10 04 n: whatever the device ID does not say
// speaks only other languages.
TEST(EscposStatus, CommandSetsThatNameEscPos) {
    const std::pair<const char*, bool> rows[] = {
        {"", true},          {"ESC/POS", true},         {"PJL,ESCPOS,PCL", true}, {"esc/pos", true},
        {"ESC POS", true},   {"ESC-POS,ZPL", true},     {"PCL,PJL,POSTSCRIPT", false}, {"ZPL", false},
        {"ESC/P2", false},   {"ESC,POSTSCRIPT", false}, {"EPOS", false},
    };
    for (const auto& [command_set, escpos] : rows) EXPECT_EQ(command_set_has_escpos(command_set), escpos) << command_set;
}

}  // namespace
