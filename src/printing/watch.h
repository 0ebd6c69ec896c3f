// Following a job until it leaves the spooler: "watch" for the point-of-sale
// application, and the follow-up of a test print for a person.
#pragma once

#include <windows.h>

#include "printing/probes.h"

enum class WatchFate : int {
    done,   // the job left the queue or is finished
    error,  // trouble lasted 3000 ms or more
    stuck,  // the limit ran out with the job still there
};

// What the last polls said of the queue and the job.
struct JobState {
    PrinterSnapshot printer;  // free_job_state frees it
    DWORD job_status;
    WCHAR job_status_text[PROBE_TEXT_ROOM];
    DWORD found_job;
    JobPresence presence;  // JOB_UNKNOWN: the spooler could not say where the job is
    DWORD query_error;     // of the last job probe, when it was JOB_UNKNOWN
};
void free_job_state(JobState* state);

struct WatchResult {
    bool opened;  // false: OpenPrinterW failed with `error`, and nothing was watched
    DWORD error;
    WatchFate fate;
    JobState state;
};

// Polls the queue every 400 ms, the clock counted from `start` (a tick
// count), until the job is gone ("done"), a problem has lasted
// 3000 ms ("error") or the limit (clamped to 1..120 s) runs out ("stuck").
// With job 0 every job submitted since since_ms counts (see probe_job).
WatchResult watch_job(const WCHAR* printer, DWORD job, DWORD limit_ms, unsigned long long since_ms, DWORD start);

struct FollowResult {
    bool followed;  // false: there was no job number, or the queue could not be opened
    bool done;         // the job left within 15 s; else it hangs
    DWORD elapsed_ms;  // when done: how long it took
    JobState state;
};

// For a person after a test print: follows the job for up to 15 s.
FollowResult follow_job(const WCHAR* printer, DWORD job);
