// "test": a short ESC/POS receipt sent straight to a queue as a RAW job.
#pragma once

#include <windows.h>

enum : int { TEST_RECEIPT_ROOM = 256 };

// Writes the test receipt for the given local time into `block` (room for
// TEST_RECEIPT_ROOM bytes) and returns its length: 142 bytes for a
// four-digit year.
DWORD build_test_receipt(BYTE* block, const SYSTEMTIME* local_time);

// Prints the test receipt on the queue (the default printer when the name is
// empty). At a console the Russian result follows, then the job is followed.
// Returns 0 when the receipt was submitted completely, else 1.
int test_command(const WCHAR* printer_argument);
