#include "printing/probes.h"

#include <stdlib.h>
#include <winspool.h>

#include "base/wide.h"
#include "inventory/spooler_read.h"

namespace {

const unsigned long long kGraceMs = 5000;  // a job stamped shortly before since_ms still counts

// Whether a job submitted at this time counts for a watch since since_ms; a
// time that cannot be told always counts.
bool submitted_since(const SYSTEMTIME* submitted, unsigned long long since_ms) {
    unsigned long long submitted_ms = 0;
    if (!submitted_unix_ms(submitted, &submitted_ms) || since_ms == 0) return true;
    return submitted_ms + kGraceMs >= since_ms;
}

JobPresence probe_job_by_number(HANDLE printer, DWORD job, DWORD* status, WCHAR* status_text, DWORD* found_job,
                                DWORD* query_error) {
    SpoolerRecords record;
    SpoolerRead read = read_job(printer, job, &record);
    if (read == SPOOLER_READ_FAILED) {
        // Windows answers ERROR_INVALID_PARAMETER for a job id it does not
        // know. Any other failure, one without an error included, is a
        // question left unanswered, never a job that has printed.
        if (record.error == ERROR_INVALID_PARAMETER) return JOB_GONE;
        *query_error = record.error;
        return JOB_UNKNOWN;
    }
    const JOB_INFO_1W* info = reinterpret_cast<const JOB_INFO_1W*>(record.data);
    *status = info->Status;
    *found_job = info->JobId;
    if (info->pStatus != nullptr) wide_copy(status_text, PROBE_TEXT_ROOM, info->pStatus);
    free(record.data);
    return JOB_PRESENT;
}

JobPresence probe_jobs_by_time(HANDLE printer, unsigned long long since_ms, DWORD* status, WCHAR* status_text,
                               DWORD* found_job, DWORD* query_error) {
    SpoolerRecords jobs;
    // The whole queue: the new job may stand behind any number of old ones.
    SpoolerRead read = read_jobs(printer, 0, MAXDWORD, &jobs);
    if (read == SPOOLER_READ_FAILED) {
        // An empty queue lists successfully; a failing listing says nothing.
        *query_error = jobs.error;
        return JOB_UNKNOWN;
    }
    JobPresence presence = JOB_GONE;
    const JOB_INFO_1W* info = reinterpret_cast<const JOB_INFO_1W*>(jobs.data);
    for (DWORD i = 0; i < jobs.count; ++i) {
        if (!submitted_since(&info[i].Submitted, since_ms)) continue;
        presence = JOB_PRESENT;
        *status |= info[i].Status;
        *found_job = info[i].JobId;  // the last matching job wins
        if (status_text[0] == 0 && info[i].pStatus != nullptr) {
            wide_copy(status_text, PROBE_TEXT_ROOM, info[i].pStatus);  // the first text wins
        }
    }
    free(jobs.data);
    return presence;
}

}  // namespace

void probe_printer(HANDLE printer, PrinterSnapshot* snapshot) {
    SpoolerRecords record;
    if (read_printer(printer, &record) != SPOOLER_READ_OK) return;  // the last snapshot stands
    free(snapshot->record);
    const PRINTER_INFO_2W* info = reinterpret_cast<const PRINTER_INFO_2W*>(record.data);
    snapshot->status = info->Status;
    snapshot->attributes = info->Attributes;
    snapshot->jobs = info->cJobs;
    snapshot->port = info->pPortName != nullptr ? info->pPortName : L"";
    snapshot->record = record.data;
}

void free_snapshot(PrinterSnapshot* snapshot) {
    free(snapshot->record);
    snapshot->record = nullptr;
    snapshot->port = nullptr;
}

JobPresence probe_job(HANDLE printer, DWORD job, unsigned long long since_ms, DWORD* status, WCHAR* status_text,
                      DWORD* found_job, DWORD* query_error) {
    *status = 0;
    status_text[0] = 0;
    if (job != 0) return probe_job_by_number(printer, job, status, status_text, found_job, query_error);
    return probe_jobs_by_time(printer, since_ms, status, status_text, found_job, query_error);
}
