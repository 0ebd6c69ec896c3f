#include "printing/escpos_status.h"

namespace {

bool bit(BYTE byte, int number) {
    return (byte & (1u << number)) != 0;
}

PaperState paper_of(const BYTE* answers, int answered) {
    if (answered >= 2 && bit(answers[1], 5)) return PaperState::out;  // printing stopped by paper end
    if (answered < 4) return PaperState::unknown;
    // Makers set one bit of each pair or both.
    if (bit(answers[3], 5) || bit(answers[3], 6)) return PaperState::out;
    if (bit(answers[3], 2) || bit(answers[3], 3)) return PaperState::near_end;
    return PaperState::ok;
}

PrinterFault fault_of(const BYTE* answers, int answered) {
    if (answered < 3) return PrinterFault::unknown;
    BYTE errors = answers[2];
    if (bit(errors, 5)) return PrinterFault::unrecoverable;
    if (bit(errors, 3)) return PrinterFault::autocutter;
    if (bit(errors, 2)) return PrinterFault::mechanical;
    if (bit(errors, 6)) return PrinterFault::recoverable;
    return PrinterFault::none;
}

}  // namespace

bool is_status_byte(BYTE byte) {
    return (byte & 0x93) == 0x12;
}

int find_status_byte(const BYTE* bytes, DWORD count) {
    for (DWORD i = 0; i < count; ++i) {
        if (is_status_byte(bytes[i])) return static_cast<int>(i);
    }
    return -1;
}

EscposState decode_escpos_status(const BYTE* answers, int answered) {
    EscposState state;
    state.online = !bit(answers[0], 3);
    state.drawer_pin3_high = bit(answers[0], 2);
    state.cover_open = answered >= 2 ? (bit(answers[1], 2) ? 1 : 0) : -1;
    state.paper = paper_of(answers, answered);
    state.fault = fault_of(answers, answered);
    state.ready = state.online && state.cover_open != 1 && state.paper != PaperState::out &&
                  (state.fault == PrinterFault::none || state.fault == PrinterFault::unknown);
    return state;
}
