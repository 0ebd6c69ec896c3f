// Deleting a queue's old jobs: "purge" clears what a printer did not take.
#pragma once

#include <windows.h>

enum class PurgeOutcome : int {
    purged,       // the jobs were read and the old ones deleted (some deletions may have been refused)
    open_failed,  // the queue could not be opened
    list_failed,  // its jobs could not be read: it may be full of stuck jobs, so it is no clean queue
};

struct PurgeResult {
    PurgeOutcome outcome;
    DWORD error;    // of the failed open or listing; when purged, of the last refused deletion
    DWORD deleted;  // jobs deleted
    DWORD failed;   // deletions refused
    DWORD skipped;  // jobs younger than the minimum age, left alone
};

// Deletes the queue's jobs that are at least minimum_age_s seconds old.
// `printer` is not empty.
PurgeResult purge_queue(const WCHAR* printer, DWORD minimum_age_s);
