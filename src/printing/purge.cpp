#include "printing/purge.h"

#include <stdlib.h>
#include <winspool.h>

#include "inventory/printer_inventory.h"
#include "inventory/spooler_read.h"
#include "output/errors.h"
#include "output/json.h"
#include "output/output.h"
#include "output/text_buffer.h"

namespace {

const DWORD kJobsExamined = 256;

// What a purge did to the queue.
struct PurgeResult {
    enum { NO_PRINTER, OPEN_FAILED, LIST_FAILED, PURGED } outcome;
    DWORD error;  // of the failed open or listing; for PURGED, of the most recent refused deletion
    DWORD deleted;
    DWORD failed;
    DWORD skipped;
};

void delete_old_jobs(HANDLE queue, const SpoolerRecords& jobs, DWORD minimum_age_s, PurgeResult* result) {
    unsigned long long now = now_unix_ms();
    const JOB_INFO_1W* info = reinterpret_cast<const JOB_INFO_1W*>(jobs.data);
    for (DWORD i = 0; i < jobs.count; ++i) {
        unsigned long long age_s = job_age_ms(&info[i].Submitted, now) / 1000;
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

// The spooler's half of a purge: one pass over the queue's first jobs.
PurgeResult purge_queue(const WCHAR* printer, DWORD minimum_age_s) {
    PurgeResult result = {PurgeResult::PURGED, ERROR_SUCCESS, 0, 0, 0};
    if (printer[0] == 0) {
        result.outcome = PurgeResult::NO_PRINTER;
        return result;
    }
    HANDLE queue = nullptr;
    SetLastError(ERROR_SUCCESS);  // an open that fails without saying why is reported with 0
    if (!OpenPrinterW(const_cast<LPWSTR>(printer), &queue, nullptr)) {
        result.outcome = PurgeResult::OPEN_FAILED;
        result.error = GetLastError();
        return result;
    }
    SpoolerRecords jobs;
    SpoolerRead read = read_jobs(queue, 0, kJobsExamined, &jobs);
    if (read == SPOOLER_READ_OK) {
        delete_old_jobs(queue, jobs, minimum_age_s, &result);
        free(jobs.data);
    } else {
        // A queue whose jobs cannot be read may be full of stuck jobs: it is not reported clean.
        result.outcome = PurgeResult::LIST_FAILED;
        result.error = read == SPOOLER_READ_NO_MEMORY ? static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY) : jobs.error;
    }
    ClosePrinter(queue);
    return result;
}

// The failure members; the message is the system text, or "" when it does
// not fit the 255 characters the document allows.
void append_failure(TextBuffer* document, const char* name, DWORD error) {
    append_format(document, "\"error\":\"%s\",\"win32\":%lu,\"message\":", name, static_cast<unsigned long>(error));
    char* message = win32_message(error);
    WCHAR wide[256];
    if (MultiByteToWideChar(CP_UTF8, 0, message, -1, wide, 255) <= 0) wide[0] = 0;
    wide[255] = 0;
    append_json_string(document, wide);
    free(message);
}

void append_document(TextBuffer* document, const PurgeResult& result, const WCHAR* printer) {
    append(document, "{");
    switch (result.outcome) {
        case PurgeResult::NO_PRINTER:
            append_no_printer(document);
            append(document, "}\n");
            return;
        case PurgeResult::OPEN_FAILED:  // no "printer" member: the name is the caller's own
            append_error(document, "OPEN_FAILED", result.error);
            append(document, "}\n");
            return;
        case PurgeResult::LIST_FAILED:
            append(document, "\"ok\":false,\"deleted\":0,\"failed\":0,\"skipped\":0,");
            append_failure(document, "ENUM_FAILED", result.error);
            break;
        case PurgeResult::PURGED:
            append_format(document, "\"ok\":%s,\"deleted\":%lu,\"failed\":%lu,\"skipped\":%lu",
                          json_boolean(result.failed == 0), static_cast<unsigned long>(result.deleted),
                          static_cast<unsigned long>(result.failed), static_cast<unsigned long>(result.skipped));
            if (result.failed != 0) {
                append(document, ",");
                append_failure(document, "DELETE_FAILED", result.error);
            }
            break;
    }
    append_json_member(document, ",\"printer\":", printer);
    append(document, "}\n");
}

}  // namespace

int purge_command(const WCHAR* printer_argument, DWORD minimum_age_s) {
    WCHAR* default_name = nullptr;
    const WCHAR* printer = printer_or_default(printer_argument, &default_name);
    PurgeResult result = purge_queue(printer, minimum_age_s);

    TextBuffer document = {};
    append_document(&document, result, printer);
    if (console_mode) {
        // A person sees which queue the document is about.
        TextBuffer text = {};
        append(&text, "Очередь «");
        append_utf16(&text, printer);
        append(&text, "»: ");
        append(&text, document.data);
        write_output(text.data);
        free(text.data);
    } else {
        write_output(document.data);
    }
    free(document.data);
    free(default_name);
    return result.outcome == PurgeResult::PURGED && result.failed == 0 ? 0 : 1;
}
