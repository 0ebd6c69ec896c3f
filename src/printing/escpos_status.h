// What a receipt printer says of itself when asked DLE EOT n (bytes 10 04 n)
// for n = 1 to 4: one byte each, answered at once, even offline or with a
// full buffer.
#pragma once

#include <windows.h>

enum : int { ESCPOS_QUESTIONS = 4 };

enum class PaperState : int { ok, near_end, out, unknown };

// The gravest fault first; `unknown`: the question was not answered.
enum class PrinterFault : int { none, recoverable, mechanical, autocutter, unrecoverable, unknown };

struct EscposState {
    bool online;
    bool drawer_pin3_high;  // the drawer kick-out connector's pin 3
    int cover_open;         // 1 open, 0 closed, -1 not answered
    PaperState paper;
    PrinterFault fault;
    bool ready;  // online, cover not open, paper not out, no fault known
};

// Whether a byte answers DLE EOT n: its fixed bits 0, 1, 4 and 7 read 0, 1,
// 1, 0. An automatic status back, or stale data, does not.
bool is_status_byte(BYTE byte);

// The first of `count` bytes that answers a question; -1 when none does.
int find_status_byte(const BYTE* bytes, DWORD count);

// The state from the answers to n = 1 to `answered` (1 to 4): a question
// not answered leaves what it tells unknown, though n = 2's "stopped by
// paper end" still says the paper is out.
EscposState decode_escpos_status(const BYTE* answers, int answered);
