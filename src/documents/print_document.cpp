#include "documents/print_document.h"

#include "documents/failure.h"
#include "output/format.h"
#include "output/json.h"

namespace {

// Every outcome named: the compiler refuses a switch that leaves one out.
const char* code_of(PrintOutcome outcome) {
    switch (outcome) {
        case PrintOutcome::sent: return nullptr;
        case PrintOutcome::no_printer: return "NO_PRINTER";
        case PrintOutcome::empty: return "EMPTY";
        case PrintOutcome::too_large: return "TOO_LARGE";
        case PrintOutcome::read_failed: return "READ_FAILED";
        case PrintOutcome::open_failed: return "OPEN_FAILED";
        case PrintOutcome::startdoc_failed: return "STARTDOC_FAILED";
        case PrintOutcome::startpage_failed: return "STARTPAGE_FAILED";
        case PrintOutcome::write_failed: return "WRITE_FAILED";
        case PrintOutcome::short_write: return "SHORT_WRITE";
        case PrintOutcome::print_failed: return "PRINT_FAILED";
    }
    return nullptr;
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
        case PrintOutcome::no_printer: append_no_printer(document, result.error, FAILURE_WITH_OK); return;
        case PrintOutcome::empty: append_failure(document, code, 0, "Пустой поток", FAILURE_WITH_OK); return;
        case PrintOutcome::too_large: append_failure(document, code, 0, "Поток больше 8 МиБ", FAILURE_WITH_OK); return;
        case PrintOutcome::short_write: {
            // The message says how far the spooler got: "taken/all".
            char taken[32];
            format_text(taken, sizeof taken, "%lu/%lu", static_cast<unsigned long>(result.written), bytes);
            append_failure(document, code, 0, taken, FAILURE_WITH_OK);
            break;
        }
        default: append_failure(document, code, result.error, nullptr, FAILURE_WITH_OK); break;
    }
    // A raw job that failed once started: its number lets the caller find it
    // when it could not be cancelled.
    if (!result.raw || result.job == 0) return;
    append_format(document, ",\"job\":%lu", job);
    if (result.outcome == PrintOutcome::write_failed) {
        append_format(document, ",\"written\":%lu", static_cast<unsigned long>(result.written));
    }
    if (result.outcome != PrintOutcome::startpage_failed && result.outcome != PrintOutcome::short_write) {
        append_format(document, ",\"bytes\":%lu", bytes);
    }
    append_format(document, ",\"cancelled\":%s", json_boolean(result.cancelled));
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
