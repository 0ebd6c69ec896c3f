#include "printing/watch.h"

#include <stdlib.h>
#include <string.h>
#include <winspool.h>

#include "inventory/printer_inventory.h"

namespace {

const DWORD kFinishedJob = JOB_STATUS_PRINTED | JOB_STATUS_DELETED | JOB_STATUS_COMPLETE;
const DWORD kJobTrouble = JOB_STATUS_PAUSED | JOB_STATUS_ERROR | JOB_STATUS_OFFLINE | JOB_STATUS_PAPEROUT |
                          JOB_STATUS_BLOCKED_DEVQ | JOB_STATUS_USER_INTERVENTION;
const DWORD kPrinterTrouble = PRINTER_STATUS_PAUSED | PRINTER_STATUS_ERROR | PRINTER_STATUS_PAPER_JAM |
                              PRINTER_STATUS_PAPER_OUT | PRINTER_STATUS_OFFLINE | PRINTER_STATUS_NOT_AVAILABLE |
                              PRINTER_STATUS_USER_INTERVENTION | PRINTER_STATUS_DOOR_OPEN;
const DWORD kPollMs = 400;
const DWORD kShortestLimitMs = 1000;
const DWORD kLongestLimitMs = 120000;
const DWORD kTroubleMs = 3000;  // a problem lasting this long is not a passing one
const DWORD kFollowMs = 15000;

void start_state(JobState* state, DWORD job) {
    memset(state, 0, sizeof *state);
    state->found_job = job;
    state->presence = JOB_PRESENT;
}

// A spooler that cannot say where the job is counts as trouble: it must never
// pass for a job that has printed.
bool sees_trouble(const JobState& state) {
    return (state.job_status & kJobTrouble) != 0 || (state.printer.status & kPrinterTrouble) != 0 ||
           works_offline(state.printer.attributes) || state.presence == JOB_UNKNOWN;
}

// One poll; true when the job has left the queue or is finished.
bool job_is_done(HANDLE queue, DWORD job, unsigned long long since_ms, JobState* state) {
    probe_printer(queue, &state->printer);
    state->presence =
        probe_job(queue, job, since_ms, &state->job_status, state->job_status_text, &state->found_job, &state->query_error);
    return state->presence == JOB_GONE || (state->presence == JOB_PRESENT && (state->job_status & kFinishedJob) != 0);
}

// Polls until the job's fate is known.
WatchFate poll_until_known(HANDLE queue, DWORD job, DWORD limit_ms, unsigned long long since_ms, DWORD start,
                           JobState* state) {
    bool troubled = false;
    DWORD trouble_start = 0;
    for (;; Sleep(kPollMs)) {
        bool done = job_is_done(queue, job, since_ms, state);
        DWORD elapsed = GetTickCount() - start;
        if (done) return WatchFate::done;
        if (!sees_trouble(*state)) {
            troubled = false;
        } else if (!troubled) {
            troubled = true;
            trouble_start = elapsed;
        } else if (elapsed - trouble_start >= kTroubleMs) {
            return WatchFate::error;
        }
        if (elapsed >= limit_ms) return WatchFate::stuck;
    }
}

}  // namespace

void free_job_state(JobState* state) {
    free_snapshot(&state->printer);
}

WatchResult watch_job(const WCHAR* printer, DWORD job, DWORD limit_ms, unsigned long long since_ms, DWORD start) {
    WatchResult result;
    memset(&result, 0, sizeof result);
    start_state(&result.state, job);
    HANDLE queue = nullptr;
    SetLastError(ERROR_SUCCESS);  // an open that fails without saying why is reported with 0
    if (!OpenPrinterW(const_cast<LPWSTR>(printer), &queue, nullptr)) {
        result.error = GetLastError();
        return result;
    }
    result.opened = true;
    if (limit_ms < kShortestLimitMs) limit_ms = kShortestLimitMs;
    if (limit_ms > kLongestLimitMs) limit_ms = kLongestLimitMs;
    result.fate = poll_until_known(queue, job, limit_ms, since_ms, start, &result.state);
    ClosePrinter(queue);
    return result;
}

FollowResult follow_job(const WCHAR* printer, DWORD job) {
    FollowResult result;
    memset(&result, 0, sizeof result);
    start_state(&result.state, job);
    HANDLE queue = nullptr;
    if (job == 0 || !OpenPrinterW(const_cast<LPWSTR>(printer), &queue, nullptr)) return result;
    result.followed = true;
    DWORD start = GetTickCount();
    for (;; Sleep(kPollMs)) {
        if (GetTickCount() - start >= kFollowMs) break;
        if (job_is_done(queue, job, 0, &result.state)) {
            result.done = true;
            result.elapsed_ms = GetTickCount() - start;
            break;
        }
    }
    ClosePrinter(queue);
    return result;
}
