#include "printing/test_receipt.h"

#include <stdlib.h>
#include <string.h>

#include "base/version.h"
#include "inventory/printer_inventory.h"
#include "output/format.h"
#include "output/output.h"
#include "output/text_buffer.h"
#include "printing/send_raw.h"
#include "printing/watch.h"
#include "texts/send_result.h"

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

int test_command(const WCHAR* printer_argument) {
    WCHAR* default_name = nullptr;
    const WCHAR* printer = printer_or_default(printer_argument, &default_name);
    SYSTEMTIME now;
    GetLocalTime(&now);
    BYTE receipt[TEST_RECEIPT_ROOM];
    DWORD length = build_test_receipt(receipt, &now);

    TextBuffer members = {};
    DWORD job = 0;
    int result = send_raw(printer, receipt, length, &members, L"Morvik test", &job);

    write_print_result(members.data, printer);
    if (console_mode && result == 0) follow_job(printer, job, true);
    free(members.data);
    free(default_name);
    return result;
}
