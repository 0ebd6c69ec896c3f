#include "printing/test_receipt.h"

#include <string.h>

#include "base/version.h"
#include "output/format.h"

namespace {

// Printable ASCII only and no character table selected: the receipt reads the
// same whatever table the printer uses. Both parts hold NUL bytes.
// clang-format off
const char kHead[] =
    "\x1b@"            // initialise
    "\x1b" "a\x01"     // centre
    "\x1b" "E\x01"     // bold on
    "Morvik\n"
    "\x1b" "E\x00"     // bold off
    "print helper " MORVIK_VERSION_TEXT "\n"
    "TEST OK\n";
const char kTail[] =
    "\x1b" "a\x00"     // left-align
    "--------------------------------\n"
    "0123456789 ABCDEFGHIJ abcdefghij\n"
    "\n\n\n\n"         // past the cutter
    "\x1d" "VB\x00";   // feed to the cutting position and cut partially
// clang-format on

}  // namespace

DWORD build_test_receipt(BYTE* block, const SYSTEMTIME* local_time) {
    char stamp[64];
    size_t stamp_length =
        format_text(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u\n", static_cast<unsigned>(local_time->wYear),
                    static_cast<unsigned>(local_time->wMonth), static_cast<unsigned>(local_time->wDay),
                    static_cast<unsigned>(local_time->wHour), static_cast<unsigned>(local_time->wMinute),
                    static_cast<unsigned>(local_time->wSecond));
    DWORD length = 0;
    memcpy(block + length, kHead, sizeof kHead - 1);
    length += sizeof kHead - 1;
    memcpy(block + length, stamp, stamp_length);
    length += static_cast<DWORD>(stamp_length);
    memcpy(block + length, kTail, sizeof kTail - 1);
    length += sizeof kTail - 1;
    return length;
}
