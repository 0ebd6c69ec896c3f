// Reading the spooler's lists and records the Windows way: a sizing call, a
// buffer of the size it asks for, and a second call that fills it. Each
// caller decides what a failure means for it.
#pragma once

#include <windows.h>

enum SpoolerRead : int {
    SPOOLER_READ_OK = 0,
    SPOOLER_READ_FAILED = 1,  // the spooler could not answer; see SpoolerRecords::error
};

struct SpoolerRecords {
    BYTE* data;   // the records and their strings; free() it. Null when there are none.
    DWORD count;  // records in data
    DWORD error;  // the last error of the call that failed (0 when it set none)
};

// A listing that has nothing in it is read successfully, with no records.
SpoolerRead read_printers(DWORD flags, DWORD level, SpoolerRecords* printers);
SpoolerRead read_jobs(HANDLE printer, DWORD first_job, DWORD most_jobs, SpoolerRecords* jobs);

// One record (count 1) or a failure: a sizing call that names no size fails.
SpoolerRead read_printer(HANDLE printer, SpoolerRecords* record);         // PRINTER_INFO_2W
SpoolerRead read_job(HANDLE printer, DWORD job, SpoolerRecords* record);  // JOB_INFO_1W

// The spooler stamps jobs in UTC; the program counts in milliseconds since
// 1970-01-01 00:00 UTC.
unsigned long long now_unix_ms();

// A job's submission time in those milliseconds; false when the time cannot
// be converted or lies before 1970 or within its first millisecond.
bool submitted_unix_ms(const SYSTEMTIME* submitted, unsigned long long* ms);
