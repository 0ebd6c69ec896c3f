#include "documents/print_document.h"

#include "documents/failure.h"
#include "output/format.h"
#include "output/json.h"

namespace {

const char* const kCodes[] = {
    nullptr,      "NO_PRINTER",       "EMPTY",        "TOO_LARGE",   "READ_FAILED", "OPEN_FAILED",
    "STARTDOC_FAILED", "STARTPAGE_FAILED", "WRITE_FAILED", "SHORT_WRITE", "PRINT_FAILED",
};

const char* code_of(PrintOutcome outcome) {
    return kCodes[static_cast<int>(outcome)];
}

void append_members(TextBuffer* document, const PrintResult& result) {
    unsigned long job = result.job;
    unsigned long bytes = result.bytes;
    const char* code = code_of(result.outcome);
    switch (result.outcome) {
        case PrintOutcome::sent:
            append_format(document, "\"ok\":true,\"job\":%lu", job);
            if (result.raw) append_format(document, ",\"bytes\":%lu", bytes);
            return;
        case PrintOutcome::no_printer: append_failure(document, code, 0, kNoPrinterMessage, FAILURE_WITH_OK); return;
        case PrintOutcome::empty: append_failure(document, code, 0, "Пустой поток", FAILURE_WITH_OK); return;
        case PrintOutcome::too_large: append_failure(document, code, 0, "Поток больше 8 МиБ", FAILURE_WITH_OK); return;
        case PrintOutcome::short_write:
            // The message says how far the spooler got: "taken/all".
            append_format(document,
                          "\"ok\":false,\"error\":\"%s\",\"win32\":0,\"message\":\"%lu/%lu\",\"job\":%lu,\"cancelled\":%s",
                          code, static_cast<unsigned long>(result.written), bytes, job, json_boolean(result.cancelled));
            return;
        default: append_failure(document, code, result.error, nullptr, FAILURE_WITH_OK); break;
    }
    // The job's number lets the caller find a job left in the queue.
    if (result.outcome == PrintOutcome::write_failed) {
        append_format(document, ",\"job\":%lu,\"written\":%lu,\"bytes\":%lu,\"cancelled\":%s", job,
                      static_cast<unsigned long>(result.written), bytes, json_boolean(result.cancelled));
    } else if (result.outcome == PrintOutcome::print_failed && result.raw) {
        append_format(document, ",\"job\":%lu,\"bytes\":%lu", job, bytes);
    }
}

}  // namespace

void format_progress_line(char* line, DWORD job) {
    format_text(line, PROGRESS_LINE_ROOM, "{\"stage\":\"write\",\"job\":%lu}\n", static_cast<unsigned long>(job));
}

void append_print_document(TextBuffer* document, const PrintResult& result, const WCHAR* printer) {
    append(document, "{");
    append_members(document, result);
    append_json_member(document, ",\"printer\":", printer);
    append(document, "}\n");
}
