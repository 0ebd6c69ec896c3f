#include "printing/probes.h"

#include <stdlib.h>
#include <winspool.h>

#include "base/wide.h"

namespace {

const unsigned long long kUnixEpochFiletime = 116444736000000000ULL;
const unsigned long long kGraceMs = 5000;  // a job stamped shortly before since_ms still counts
const DWORD kJobsLookedAt = 64;

// Whether a job submitted at this time counts for a watch since since_ms.
bool submitted_since(const SYSTEMTIME* submitted, unsigned long long since_ms) {
    FILETIME time;
    if (!SystemTimeToFileTime(submitted, &time)) return true;
    unsigned long long value = (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    if (value < kUnixEpochFiletime + 10000) return true;
    if (since_ms == 0) return true;
    return (value - kUnixEpochFiletime) / 10000 + kGraceMs >= since_ms;
}

int probe_job_by_number(HANDLE printer, DWORD job, DWORD* status, WCHAR* status_text, DWORD* found_job) {
    DWORD needed = 0;
    GetJobW(printer, job, 1, nullptr, 0, &needed);
    if (needed == 0) return 0;
    BYTE* record = static_cast<BYTE*>(malloc(needed));
    if (record == nullptr) return 1;
    int present = 0;
    if (GetJobW(printer, job, 1, record, needed, &needed)) {
        const JOB_INFO_1W* info = reinterpret_cast<const JOB_INFO_1W*>(record);
        *status = info->Status;
        *found_job = info->JobId;
        if (info->pStatus != nullptr) wide_copy(status_text, PROBE_TEXT_ROOM, info->pStatus);
        present = 1;
    }
    free(record);
    return present;
}

int probe_jobs_by_time(HANDLE printer, unsigned long long since_ms, DWORD* status, WCHAR* status_text,
                       DWORD* found_job) {
    DWORD needed = 0;
    DWORD returned = 0;
    EnumJobsW(printer, 0, kJobsLookedAt, 1, nullptr, 0, &needed, &returned);
    if (needed == 0) return 0;
    BYTE* records = static_cast<BYTE*>(malloc(needed));
    if (records == nullptr) return 1;
    int present = 0;
    if (EnumJobsW(printer, 0, kJobsLookedAt, 1, records, needed, &needed, &returned)) {
        const JOB_INFO_1W* info = reinterpret_cast<const JOB_INFO_1W*>(records);
        for (DWORD i = 0; i < returned; ++i) {
            if (!submitted_since(&info[i].Submitted, since_ms)) continue;
            present = 1;
            *status |= info[i].Status;
            *found_job = info[i].JobId;  // the last matching job wins
            if (status_text[0] == 0 && info[i].pStatus != nullptr) {
                wide_copy(status_text, PROBE_TEXT_ROOM, info[i].pStatus);  // the first text wins
            }
        }
    }
    free(records);
    return present;
}

}  // namespace

void probe_printer(HANDLE printer, DWORD* status, DWORD* attributes, DWORD* jobs, WCHAR* port) {
    DWORD needed = 0;
    GetPrinterW(printer, 2, nullptr, 0, &needed);
    if (needed == 0) return;
    BYTE* record = static_cast<BYTE*>(malloc(needed));
    if (record == nullptr) return;
    if (GetPrinterW(printer, 2, record, needed, &needed)) {
        const PRINTER_INFO_2W* info = reinterpret_cast<const PRINTER_INFO_2W*>(record);
        *status = info->Status;
        *attributes = info->Attributes;
        *jobs = info->cJobs;
        port[0] = 0;
        if (info->pPortName != nullptr) wide_copy(port, PROBE_TEXT_ROOM, info->pPortName);
    }
    free(record);
}

int probe_job(HANDLE printer, DWORD job, unsigned long long since_ms, DWORD* status, WCHAR* status_text,
              DWORD* found_job) {
    *status = 0;
    status_text[0] = 0;
    if (job != 0) return probe_job_by_number(printer, job, status, status_text, found_job);
    return probe_jobs_by_time(printer, since_ms, status, status_text, found_job);
}
