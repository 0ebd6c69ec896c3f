#include "printing/send_raw.h"

#include <winspool.h>

namespace {

// A started job is committed by EndDocPrinter, and a spooler that cannot (a
// full disk, a job cancelled while spooling) has not printed it.
void end_job(HANDLE queue, bool page_started, PrintResult* result) {
    if (page_started) {
        SetLastError(ERROR_SUCCESS);
        if (!EndPagePrinter(queue) && result->outcome == PrintOutcome::sent) {
            result->outcome = PrintOutcome::print_failed;
            result->error = GetLastError();
        }
    }
    SetLastError(ERROR_SUCCESS);
    if (!EndDocPrinter(queue) && result->outcome == PrintOutcome::sent) {
        result->outcome = PrintOutcome::print_failed;
        result->error = GetLastError();
    }
}

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
    bool page_started = false;
    if (result.job == 0) {
        result.outcome = PrintOutcome::startdoc_failed;
        result.error = GetLastError();
    } else {
        SetLastError(ERROR_SUCCESS);
        page_started = StartPagePrinter(queue) != FALSE;
        if (!page_started) {
            result.outcome = PrintOutcome::startpage_failed;
            result.error = GetLastError();
        }
    }

    if (page_started) {
        // The number goes out before the first byte: the caller learns it even
        // when the write then blocks or fails.
        if (on_numbered != nullptr) on_numbered(result.job);
        write_all(queue, data, count, &result);
    }

    // A receipt not taken whole is cancelled: cut inside a raster image, it
    // would make the printer read the next receipt as image data.
    if (result.outcome == PrintOutcome::write_failed || result.outcome == PrintOutcome::short_write) {
        result.cancelled = AbortPrinter(queue) != FALSE;
    }
    if (result.job != 0 && !result.cancelled) end_job(queue, page_started, &result);
    ClosePrinter(queue);
    return result;
}
