#include "printing/send_raw.h"

#include <stdlib.h>
#include <winspool.h>

#include "inventory/spooler_read.h"

namespace {

// Where the job stands on the handle: what is still to be ended.
struct OpenJob {
    bool page_open;
    bool document_open;
};

// Hands over every byte; the outcome stays sent only when all were taken.
void write_all(HANDLE queue, const BYTE* data, DWORD count, PrintResult* result) {
    while (result->written < count) {
        DWORD taken = 0;
        SetLastError(ERROR_SUCCESS);
        if (!WritePrinter(queue, const_cast<BYTE*>(data + result->written), count - result->written, &taken)) {
            result->outcome = PrintOutcome::write_failed;
            result->error = GetLastError();
            return;
        }
        if (taken == 0) break;  // the spooler takes nothing more
        result->written += taken;
    }
    if (result->written != count) result->outcome = PrintOutcome::short_write;
}

// Ends the page, then the job, which EndDocPrinter commits; a spooler that
// cannot (a full disk, a job cancelled while spooling) has not printed it.
// A page whose ending failed counts as ended.
void commit_job(HANDLE queue, OpenJob* open, PrintResult* result) {
    SetLastError(ERROR_SUCCESS);
    bool ended = EndPagePrinter(queue) != FALSE;
    open->page_open = false;
    if (ended) {
        SetLastError(ERROR_SUCCESS);
        ended = EndDocPrinter(queue) != FALSE;
        open->document_open = false;
    }
    if (!ended) {
        result->outcome = PrintOutcome::print_failed;
        result->error = GetLastError();
    }
}

// Whether the queue hands bytes to the printer as they are written, with no
// spooling: cancelling the job there does not take back what was sent. A
// queue that cannot be read may be one.
bool prints_directly(HANDLE queue) {
    SpoolerRecords record;
    if (read_printer(queue, &record) != SPOOLER_READ_OK) return true;
    DWORD attributes = reinterpret_cast<const PRINTER_INFO_2W*>(record.data)->Attributes;
    free(record.data);
    return (attributes & PRINTER_ATTRIBUTE_DIRECT) != 0;
}

// A job that failed after it was started must never print: the till is told
// that it did not, and prints the receipt again. It is cancelled, or deleted
// when the spooler refuses to cancel it; only when both are refused is it
// ended as it is, and may print. True when it will not print.
bool cancel_job(HANDLE queue, DWORD job, OpenJob* open) {
    bool cancelled = AbortPrinter(queue) != FALSE;  // the page goes with the job
    if (!cancelled) cancelled = SetJobW(queue, job, 0, nullptr, JOB_CONTROL_DELETE) != FALSE;
    if (!cancelled) {
        if (open->page_open) EndPagePrinter(queue);
        if (open->document_open) EndDocPrinter(queue);
        return false;
    }
    return !prints_directly(queue);
}

}  // namespace

PrintResult send_raw(const WCHAR* printer, const BYTE* data, DWORD count, const WCHAR* document,
                     JobNumbered on_numbered) {
    PrintResult result = {PrintOutcome::sent, ERROR_SUCCESS, 0, count, 0, false, true};
    // Each call whose failure is reported starts with the last error cleared:
    // one that fails without setting it is reported with 0, never with an
    // older error that has nothing to do with it.
    HANDLE queue = nullptr;
    SetLastError(ERROR_SUCCESS);
    if (!OpenPrinterW(const_cast<LPWSTR>(printer), &queue, nullptr)) {
        result.outcome = PrintOutcome::open_failed;
        result.error = GetLastError();
        return result;
    }

    DOC_INFO_1W doc_info = {const_cast<LPWSTR>(document), nullptr, const_cast<LPWSTR>(L"RAW")};
    SetLastError(ERROR_SUCCESS);
    result.job = StartDocPrinterW(queue, 1, reinterpret_cast<LPBYTE>(&doc_info));
    if (result.job == 0) {
        result.outcome = PrintOutcome::startdoc_failed;
        result.error = GetLastError();
        ClosePrinter(queue);
        return result;
    }

    OpenJob open = {false, true};
    SetLastError(ERROR_SUCCESS);
    open.page_open = StartPagePrinter(queue) != FALSE;
    if (!open.page_open) {
        result.outcome = PrintOutcome::startpage_failed;
        result.error = GetLastError();
    } else {
        // The number goes out before the first byte: the caller learns it even
        // when the write then blocks or fails.
        if (on_numbered != nullptr) on_numbered(result.job);
        write_all(queue, data, count, &result);
    }
    if (result.outcome == PrintOutcome::sent) commit_job(queue, &open, &result);
    // Cut inside a raster image, a receipt would also make the printer read
    // the next one as image data.
    if (result.outcome != PrintOutcome::sent) result.cancelled = cancel_job(queue, result.job, &open);
    ClosePrinter(queue);
    return result;
}
