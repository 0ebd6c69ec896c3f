#include "inventory/spooler_read.h"

#include <stdlib.h>
#include <winspool.h>

#include "base/memory.h"
#include "base/numbers.h"

namespace {

// 1970-01-01 00:00 UTC in file time units (100 ns since 1601).
const unsigned long long kUnixEpochFiletime = 116444736000000000ULL;
const unsigned kFiletimeUnitsPerMs = 10000;
const int kFillCalls = 3;  // a queue that grows at every read three times running is not settling

unsigned long long filetime_value(const FILETIME& time) {
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// A sizing call, then fill calls with the size it names (again, a few times,
// while the answer grows in between). `call` makes one call with the
// buffer and size given and reports the size needed and the records returned.
template <typename Call>
SpoolerRead read_sized(Call call, bool single_record, SpoolerRecords* out) {
    out->data = nullptr;
    out->count = 0;
    out->error = ERROR_SUCCESS;
    DWORD needed = 0;
    DWORD returned = 0;
    // Seeded with 0: some spoolers (Wine's among them) fail without saying why.
    SetLastError(ERROR_SUCCESS);
    if (call(nullptr, 0, &needed, &returned)) {
        if (!single_record) return SPOOLER_READ_OK;  // nothing to list
        return SPOOLER_READ_FAILED;                  // no record without a size
    }
    DWORD error = GetLastError();
    if (error != ERROR_INSUFFICIENT_BUFFER || needed == 0) {
        out->error = error;
        return SPOOLER_READ_FAILED;
    }
    // The answer can grow between the calls (the till prints while the queue
    // is read): the fill call then fails with ERROR_INSUFFICIENT_BUFFER and
    // names the new size, which is tried again, a bounded number of times.
    BYTE* buffer = nullptr;
    for (int fill = 1;; ++fill) {
        buffer = static_cast<BYTE*>(allocate(needed));
        SetLastError(ERROR_SUCCESS);
        if (call(buffer, needed, &needed, &returned)) break;
        error = GetLastError();
        free(buffer);
        if (error != ERROR_INSUFFICIENT_BUFFER || needed == 0 || fill == kFillCalls) {
            out->error = error;
            return SPOOLER_READ_FAILED;
        }
    }
    if (single_record) returned = 1;
    if (returned == 0) {
        free(buffer);
        return SPOOLER_READ_OK;
    }
    out->data = buffer;
    out->count = returned;
    return SPOOLER_READ_OK;
}

}  // namespace

SpoolerRead read_printers(DWORD flags, DWORD level, SpoolerRecords* printers) {
    return read_sized(
        [&](BYTE* buffer, DWORD size, DWORD* needed, DWORD* returned) {
            return EnumPrintersW(flags, nullptr, level, buffer, size, needed, returned);
        },
        false, printers);
}

SpoolerRead read_jobs(HANDLE printer, DWORD first_job, DWORD most_jobs, SpoolerRecords* jobs) {
    return read_sized(
        [&](BYTE* buffer, DWORD size, DWORD* needed, DWORD* returned) {
            return EnumJobsW(printer, first_job, most_jobs, 1, buffer, size, needed, returned);
        },
        false, jobs);
}

SpoolerRead read_printer(HANDLE printer, SpoolerRecords* record) {
    return read_sized(
        [&](BYTE* buffer, DWORD size, DWORD* needed, DWORD*) { return GetPrinterW(printer, 2, buffer, size, needed); },
        true, record);
}

SpoolerRead read_job(HANDLE printer, DWORD job, SpoolerRecords* record) {
    return read_sized(
        [&](BYTE* buffer, DWORD size, DWORD* needed, DWORD*) { return GetJobW(printer, job, 1, buffer, size, needed); },
        true, record);
}

unsigned long long now_unix_ms() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return divide_small(filetime_value(now) - kUnixEpochFiletime, kFiletimeUnitsPerMs);
}

bool submitted_unix_ms(const SYSTEMTIME* submitted, unsigned long long* ms) {
    FILETIME time;
    if (!SystemTimeToFileTime(submitted, &time)) return false;
    unsigned long long value = filetime_value(time);
    if (value < kUnixEpochFiletime + kFiletimeUnitsPerMs) return false;
    *ms = divide_small(value - kUnixEpochFiletime, kFiletimeUnitsPerMs);
    return true;
}
