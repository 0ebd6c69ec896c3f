// Two small questions to an open queue, asked on every poll of a job watch.
#pragma once

#include <windows.h>

enum : int { PROBE_TEXT_ROOM = 128 };

// What the spooler says of a job.
enum JobPresence : int {
    JOB_GONE = 0,     // it has left the queue (or was never there)
    JOB_PRESENT = 1,  // still queued
    JOB_UNKNOWN = 2,  // the spooler could not be asked
};

// The queue as the spooler last described it; zero-filled before the first
// probe. The port is whole: it points into the record kept.
struct PrinterSnapshot {
    DWORD status;      // PRINTER_STATUS_* bits
    DWORD attributes;  // PRINTER_ATTRIBUTE_* bits
    DWORD jobs;        // the spooler's job count
    const WCHAR* port;  // null until the spooler has described the queue
    BYTE* record;       // the PRINTER_INFO_2W read; free_snapshot frees it
};

// Reads the queue's record into the snapshot. When the spooler cannot
// answer, the last snapshot stands.
void probe_printer(HANDLE printer, PrinterSnapshot* snapshot);
void free_snapshot(PrinterSnapshot* snapshot);

// Whether a job is in the queue. With a job number the job is looked up by
// it; with 0, every job submitted from 5000 ms before since_ms on counts
// (all jobs when since_ms is 0), their status bits ORed together. Sets status
// and status_text (128 units) on entry; sets *found_job only when a job is
// found, and *query_error only when the answer is JOB_UNKNOWN.
JobPresence probe_job(HANDLE printer, DWORD job, unsigned long long since_ms, DWORD* status, WCHAR* status_text,
                      DWORD* found_job, DWORD* query_error);
