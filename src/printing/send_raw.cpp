#include "printing/send_raw.h"

#include <winspool.h>

#include "output/errors.h"
#include "output/format.h"
#include "output/json.h"
#include "output/output.h"

namespace {

// The first thing that went wrong in a submission, if anything did.
enum Failure { NOTHING_FAILED, STARTDOC_FAILED, STARTPAGE_FAILED, WRITE_FAILED, SHORT_WRITE, PRINT_FAILED };

const char* const kFailureCodes[] = {nullptr,        "STARTDOC_FAILED", "STARTPAGE_FAILED",
                                     "WRITE_FAILED", "SHORT_WRITE",     "PRINT_FAILED"};

// Formatted on the stack: no allocation can fail between the job's start and its end.
void write_progress_line(DWORD job) {
    char line[64];
    format_text(line, sizeof line, "{\"stage\":\"write\",\"job\":%lu}\n", static_cast<unsigned long>(job));
    write_output(line);
}

void append_outcome(TextBuffer* result, Failure failure, DWORD error, DWORD job, DWORD accepted, DWORD count,
                    bool cancelled) {
    unsigned long job_number = job;
    switch (failure) {
        case NOTHING_FAILED:
            append_format(result, "\"ok\":true,\"job\":%lu,\"bytes\":%lu", job_number,
                          static_cast<unsigned long>(count));
            return;
        case SHORT_WRITE:
            append_format(result,
                          "\"ok\":false,\"error\":\"SHORT_WRITE\",\"win32\":0,\"message\":\"%lu/%lu\",\"job\":%lu",
                          static_cast<unsigned long>(accepted), static_cast<unsigned long>(count), job_number);
            append_format(result, ",\"cancelled\":%s", json_boolean(cancelled));
            return;
        default: append_error(result, kFailureCodes[failure], error); break;
    }
    // The job number lets the caller find a job that stays in the queue.
    if (failure == WRITE_FAILED) {
        append_format(result, ",\"job\":%lu,\"written\":%lu,\"bytes\":%lu,\"cancelled\":%s", job_number,
                      static_cast<unsigned long>(accepted), static_cast<unsigned long>(count), json_boolean(cancelled));
    } else if (failure == PRINT_FAILED) {
        append_format(result, ",\"job\":%lu,\"bytes\":%lu", job_number, static_cast<unsigned long>(count));
    }
}

}  // namespace

int send_raw(const WCHAR* printer, const BYTE* data, DWORD count, TextBuffer* result, const WCHAR* document,
             DWORD* job) {
    *job = 0;
    if (printer[0] == 0) {
        append_no_printer(result);
        return 1;
    }
    // Each call whose failure is reported starts with the last error cleared:
    // one that fails without setting it is reported with 0, never with an
    // older error that has nothing to do with it.
    HANDLE queue = nullptr;
    SetLastError(ERROR_SUCCESS);
    if (!OpenPrinterW(const_cast<LPWSTR>(printer), &queue, nullptr)) {
        append_error(result, "OPEN_FAILED", GetLastError());
        return 1;
    }

    Failure failure = NOTHING_FAILED;
    DWORD error = ERROR_SUCCESS;
    DWORD accepted = 0;
    bool page_started = false;
    DOC_INFO_1W doc_info = {const_cast<LPWSTR>(document), nullptr, const_cast<LPWSTR>(L"RAW")};
    SetLastError(ERROR_SUCCESS);
    *job = StartDocPrinterW(queue, 1, reinterpret_cast<LPBYTE>(&doc_info));
    if (*job == 0) {
        failure = STARTDOC_FAILED;
        error = GetLastError();
    } else {
        SetLastError(ERROR_SUCCESS);
        page_started = StartPagePrinter(queue) != FALSE;
        if (!page_started) {
            failure = STARTPAGE_FAILED;
            error = GetLastError();
        }
    }

    if (page_started) {
        // The job number goes out before the first byte, so the reader learns
        // it even when the write then blocks or fails.
        if (!console_mode) write_progress_line(*job);
        while (accepted < count) {
            DWORD written = 0;
            SetLastError(ERROR_SUCCESS);
            if (!WritePrinter(queue, const_cast<BYTE*>(data + accepted), count - accepted, &written)) {
                failure = WRITE_FAILED;
                error = GetLastError();
                break;
            }
            if (written == 0) break;  // the spooler takes nothing more
            accepted += written;
        }
        if (failure == NOTHING_FAILED && accepted != count) failure = SHORT_WRITE;
    }

    // A receipt that could not be written whole is cancelled: cut inside a
    // raster image, it would make the printer read the next receipt as image
    // data. Only when the spooler refuses to cancel is the job ended as it is.
    bool cancelled = false;
    if (failure == WRITE_FAILED || failure == SHORT_WRITE) cancelled = AbortPrinter(queue) != FALSE;

    // Page, document, queue. Only EndDocPrinter commits the job, and a spooler
    // that cannot (a full disk, a job cancelled while spooling) has not printed it.
    if (page_started && !cancelled) {
        SetLastError(ERROR_SUCCESS);
        if (!EndPagePrinter(queue) && failure == NOTHING_FAILED) {
            failure = PRINT_FAILED;
            error = GetLastError();
        }
    }
    if (*job != 0 && !cancelled) {
        SetLastError(ERROR_SUCCESS);
        if (!EndDocPrinter(queue) && failure == NOTHING_FAILED) {
            failure = PRINT_FAILED;
            error = GetLastError();
        }
    }
    ClosePrinter(queue);

    append_outcome(result, failure, error, *job, accepted, count, cancelled);
    return failure == NOTHING_FAILED ? 0 : 1;
}
