#include "printing/purge.h"

#include <stdlib.h>
#include <winspool.h>

#include "inventory/printer_inventory.h"
#include "output/output.h"
#include "output/text_buffer.h"

namespace {

const DWORD kJobsExamined = 256;

struct PurgeCounts {
    DWORD deleted;
    DWORD failed;
    DWORD skipped;
    DWORD last_error;  // of the most recent refused deletion
};

// Reads the queue's jobs into *records (free() it; null for an empty queue).
// False, with the error, when the list cannot be read.
bool read_jobs(HANDLE queue, BYTE** records, DWORD* count, DWORD* error) {
    DWORD needed = 0;
    *records = nullptr;
    *count = 0;
    // A spooler that fails without saying why is reported with error 0.
    SetLastError(ERROR_SUCCESS);
    if (!EnumJobsW(queue, 0, kJobsExamined, 1, nullptr, 0, &needed, count)) {
        DWORD sizing_error = GetLastError();
        if (sizing_error != ERROR_INSUFFICIENT_BUFFER) {
            *error = sizing_error;
            return false;
        }
    }
    *count = 0;
    if (needed == 0) return true;
    *records = static_cast<BYTE*>(malloc(needed));
    if (*records == nullptr) {
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return false;
    }
    if (!EnumJobsW(queue, 0, kJobsExamined, 1, *records, needed, &needed, count)) {
        *error = GetLastError();
        free(*records);
        *records = nullptr;
        return false;
    }
    return true;
}

void delete_old_jobs(HANDLE queue, const BYTE* records, DWORD count, DWORD minimum_age_s, PurgeCounts* counts) {
    unsigned long long now = now_unix_ms();
    const JOB_INFO_1W* info = reinterpret_cast<const JOB_INFO_1W*>(records);
    for (DWORD i = 0; i < count; ++i) {
        unsigned long long age_s = job_age_ms(&info[i].Submitted, now) / 1000;
        if (age_s < minimum_age_s) {
            ++counts->skipped;
        } else if (SetJobW(queue, info[i].JobId, 0, nullptr, JOB_CONTROL_DELETE)) {
            ++counts->deleted;
        } else {
            ++counts->failed;
            counts->last_error = GetLastError();
        }
    }
}

// The system text of an error, or "" when it does not fit the 255
// characters the document allows.
void append_message(TextBuffer* document, DWORD error) {
    char* message = win32_message(error);
    WCHAR wide[256];
    if (MultiByteToWideChar(CP_UTF8, 0, message, -1, wide, 255) <= 0) wide[0] = 0;
    wide[255] = 0;
    append_json_string(document, wide);
    free(message);
}

}  // namespace

int purge_command(const WCHAR* printer_argument, DWORD minimum_age_s) {
    const WCHAR* printer = printer_or_default(printer_argument);

    TextBuffer document = {};
    int result = 1;
    HANDLE queue = nullptr;
    if (printer[0] == 0) {
        append(&document, "{");
        append_no_printer(&document);
        append(&document, "}\n");
    } else if (!OpenPrinterW(const_cast<LPWSTR>(printer), &queue, nullptr)) {
        append(&document, "{");
        append_error(&document, "OPEN_FAILED", GetLastError());
        append(&document, "}\n");
    } else {
        PurgeCounts counts = {0, 0, 0, 0};
        BYTE* records = nullptr;
        DWORD count = 0;
        DWORD enum_error = 0;
        bool listed = read_jobs(queue, &records, &count, &enum_error);
        if (listed) delete_old_jobs(queue, records, count, minimum_age_s, &counts);
        free(records);
        ClosePrinter(queue);

        if (!listed) {
            // A queue whose jobs cannot be read may be full of stuck jobs: it is not reported clean.
            append_format(&document,
                          "{\"ok\":false,\"deleted\":0,\"failed\":0,\"skipped\":0,\"error\":\"ENUM_FAILED\","
                          "\"win32\":%lu,\"message\":",
                          static_cast<unsigned long>(enum_error));
            append_message(&document, enum_error);
        } else {
            append_format(&document, "{\"ok\":%s,\"deleted\":%lu,\"failed\":%lu,\"skipped\":%lu",
                          counts.failed == 0 ? "true" : "false", static_cast<unsigned long>(counts.deleted),
                          static_cast<unsigned long>(counts.failed), static_cast<unsigned long>(counts.skipped));
            if (counts.failed != 0) {
                append_format(&document, ",\"error\":\"DELETE_FAILED\",\"win32\":%lu,\"message\":",
                              static_cast<unsigned long>(counts.last_error));
                append_message(&document, counts.last_error);
            } else {
                result = 0;
            }
        }
        append(&document, ",\"printer\":");
        append_json_string(&document, printer);
        append(&document, "}\n");
    }

    if (console_mode) {
        // A person sees which queue the document is about.
        TextBuffer text = {};
        char* name = to_utf8(printer);
        append(&text, "Очередь «");
        append(&text, name);
        append(&text, "»: ");
        append(&text, document.data);
        write_output(text.data);
        free(name);
        free(text.data);
    } else {
        write_output(document.data);
    }
    free(document.data);
    return result;
}
