#include "documents/watch_document.h"

#include "documents/device_section.h"
#include "documents/failure.h"
#include "documents/net_section.h"
#include "documents/status_keys.h"
#include "output/json.h"

namespace {

const char* fate_word(WatchFate fate) {
    switch (fate) {
        case WatchFate::done: return "done";
        case WatchFate::error: return "error";
        case WatchFate::stuck: return "stuck";
    }
    return "";
}

const WCHAR* port_of(const JobState& state) {
    return state.printer.port != nullptr ? state.printer.port : L"";
}

}  // namespace

void append_watch_document(TextBuffer* document, const WatchVerdict& verdict) {
    const JobState& state = *verdict.state;
    bool done = verdict.fate == WatchFate::done;
    const WCHAR* port = port_of(state);
    append_format(document, "{\"ok\":%s,\"fate\":\"%s\",\"ms\":%lu,\"job\":%lu,\"printer\":", json_boolean(done),
                  fate_word(verdict.fate), static_cast<unsigned long>(verdict.ms),
                  static_cast<unsigned long>(state.found_job));
    append_json_string(document, verdict.printer);
    append_json_member(document, ",\"port\":", port);
    append_format(document,
                  ",\"is_default\":%s,\"virtual\":%s,\"work_offline\":%s,\"usb_present\":%s,\"jobs_in_queue\":%lu",
                  json_boolean(verdict.is_default), json_boolean(is_virtual_printer(port, nullptr, verdict.printer)),
                  json_boolean(works_offline(state.printer.attributes)),
                  json_presence(usb_port_presence(*verdict.devices, port)), static_cast<unsigned long>(state.printer.jobs));
    append(document, ",\"printer_status\":");
    append_status_keys(document, state.printer.status, printer_status_keys);
    // A job that is done has no trouble left to tell.
    append(document, ",\"job_status\":");
    append_status_keys(document, done ? 0 : state.job_status, job_status_keys);
    append_json_member(document, ",\"job_status_text\":", done ? L"" : state.job_status_text);
    if (state.presence == JOB_UNKNOWN) {
        append(document, ",");
        append_failure(document, "JOB_QUERY_FAILED", state.query_error, nullptr, FAILURE_MEMBERS);
    }
    append(document, ",");
    append_device_section(document, *verdict.devices);
    append(document, ",");
    append_net_section(document, verdict.network);
    append(document, "}\n");
}

void append_watch_no_printer(TextBuffer* document, DWORD default_error) {
    append(document, "{");
    // "win32" only when there is an error to name: the document had none before.
    append_no_printer(document, default_error,
                      FAILURE_WITH_OK | (default_error != ERROR_SUCCESS ? FAILURE_MEMBERS : FAILURE_WITHOUT_WIN32),
                      ",\"fate\":\"no_printer\"");
    append(document, "}\n");
}

void append_watch_open_failed(TextBuffer* document, const WCHAR* printer, DWORD error) {
    append(document, "{\"fate\":\"open_failed\",");
    append_failure(document, "OPEN_FAILED", error, nullptr, FAILURE_WITH_OK);
    append_json_member(document, ",\"printer\":", printer);
    append(document, "}\n");
}
