#include "printing/send_raw.h"

#include <stdio.h>
#include <winspool.h>

#include "output/output.h"

DWORD last_job_id = 0;

namespace {

void write_progress_line(DWORD job) {
    char line[64];
    snprintf(line, sizeof line, "{\"stage\":\"write\",\"job\":%lu}\n", static_cast<unsigned long>(job));
    write_output(line);
}

}  // namespace

int send_raw(const WCHAR* printer, const BYTE* data, DWORD count, TextBuffer* result, const WCHAR* document) {
    if (printer[0] == 0) {
        append_no_printer(result);
        return 1;
    }

    HANDLE queue = nullptr;
    if (!OpenPrinterW(const_cast<LPWSTR>(printer), &queue, nullptr)) {
        append_error(result, "OPEN_FAILED", GetLastError());
        return 1;
    }

    DOC_INFO_1W doc_info = {const_cast<LPWSTR>(document), nullptr, const_cast<LPWSTR>(L"RAW")};
    DWORD job = StartDocPrinterW(queue, 1, reinterpret_cast<LPBYTE>(&doc_info));
    if (job == 0) {
        DWORD error = GetLastError();
        ClosePrinter(queue);
        append_error(result, "STARTDOC_FAILED", error);
        return 1;
    }

    if (!StartPagePrinter(queue)) {
        DWORD error = GetLastError();
        EndDocPrinter(queue);
        ClosePrinter(queue);
        append_error(result, "STARTPAGE_FAILED", error);
        return 1;
    }

    // The job number goes out before the first byte, so the reader learns it
    // even when the write then blocks or fails.
    if (!console_mode) write_progress_line(job);

    DWORD accepted = 0;
    while (accepted < count) {
        DWORD written = 0;
        if (!WritePrinter(queue, const_cast<BYTE*>(data + accepted), count - accepted, &written)) {
            DWORD error = GetLastError();
            EndPagePrinter(queue);
            EndDocPrinter(queue);
            ClosePrinter(queue);
            append_error(result, "WRITE_FAILED", error);
            append_format(result, ",\"job\":%lu,\"written\":%lu,\"bytes\":%lu", static_cast<unsigned long>(job),
                          static_cast<unsigned long>(accepted), static_cast<unsigned long>(count));
            return 1;
        }
        if (written == 0) break;  // the spooler takes nothing more
        accepted += written;
    }

    // Only EndDocPrinter commits the job: a spooler that cannot (a full disk,
    // a job cancelled while spooling) has not printed it. The document is
    // ended even when the page could not be.
    bool ended = EndPagePrinter(queue) != FALSE;
    DWORD end_error = ended ? ERROR_SUCCESS : GetLastError();
    if (!EndDocPrinter(queue) && ended) {
        ended = false;
        end_error = GetLastError();
    }
    ClosePrinter(queue);

    if (accepted != count) {
        append_format(result, "\"ok\":false,\"error\":\"SHORT_WRITE\",\"win32\":0,\"message\":\"%lu/%lu\",\"job\":%lu",
                      static_cast<unsigned long>(accepted), static_cast<unsigned long>(count),
                      static_cast<unsigned long>(job));
        return 1;
    }
    if (!ended) {
        append_error(result, "PRINT_FAILED", end_error);
        append_format(result, ",\"job\":%lu,\"bytes\":%lu", static_cast<unsigned long>(job),
                      static_cast<unsigned long>(count));
        return 1;
    }
    append_format(result, "\"ok\":true,\"job\":%lu,\"bytes\":%lu", static_cast<unsigned long>(job),
                  static_cast<unsigned long>(count));
    last_job_id = job;
    return 0;
}
