// The ESC/POS test receipt that "test" sends straight to a queue as a RAW job.
#pragma once

#include <windows.h>

enum : int { TEST_RECEIPT_ROOM = 256 };

// Writes the test receipt for the given local time into `block` (room for
// TEST_RECEIPT_ROOM bytes) and returns its length: 142 bytes for a
// four-digit year.
DWORD build_test_receipt(BYTE* block, const SYSTEMTIME* local_time);
