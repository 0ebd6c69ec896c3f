#include "printing/purge.h"

#include <stdlib.h>
#include <winspool.h>

#include "base/numbers.h"
#include "inventory/printer_inventory.h"
#include "inventory/spooler_read.h"

namespace {

void delete_old_jobs(HANDLE queue, const SpoolerRecords& jobs, DWORD minimum_age_s, PurgeResult* result) {
    unsigned long long now = now_unix_ms();
    const JOB_INFO_1W* info = reinterpret_cast<const JOB_INFO_1W*>(jobs.data);
    for (DWORD i = 0; i < jobs.count; ++i) {
        unsigned long long age_s = divide_small(job_age_ms(&info[i].Submitted, now), 1000);
        if (age_s < minimum_age_s) {
            ++result->skipped;
            continue;
        }
        // Cleared first: a refusal that sets no error is reported with 0.
        SetLastError(ERROR_SUCCESS);
        if (SetJobW(queue, info[i].JobId, 0, nullptr, JOB_CONTROL_DELETE)) {
            ++result->deleted;
        } else {
            ++result->failed;
            result->error = GetLastError();
        }
    }
}

}  // namespace

PurgeResult purge_queue(const WCHAR* printer, DWORD minimum_age_s) {
    PurgeResult result = {PurgeOutcome::purged, ERROR_SUCCESS, 0, 0, 0};
    HANDLE queue = nullptr;
    SetLastError(ERROR_SUCCESS);  // an open that fails without saying why is reported with 0
    if (!OpenPrinterW(const_cast<LPWSTR>(printer), &queue, nullptr)) {
        result.outcome = PurgeOutcome::open_failed;
        result.error = GetLastError();
        return result;
    }
    SpoolerRecords jobs;
    SpoolerRead read = read_jobs(queue, 0, MAXDWORD, &jobs);  // every job, however many
    if (read == SPOOLER_READ_OK) {
        delete_old_jobs(queue, jobs, minimum_age_s, &result);
        free(jobs.data);
    } else {
        // A queue whose jobs cannot be read may be full of stuck jobs: it is not reported clean.
        result.outcome = PurgeOutcome::list_failed;
        result.error = jobs.error;
    }
    ClosePrinter(queue);
    return result;
}
