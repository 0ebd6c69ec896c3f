// Builds the simulated computer from a scenario file. Every key is optional;
// keys this simulator does not know are ignored, so older runners accept newer
// scenarios.
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

#include "scenario_load.h"

namespace sim::scenario {

using nlohmann::json;

[[noreturn]] void bad(const std::string& why) { throw std::runtime_error("scenario: " + why); }

std::string hex_to_bytes(const std::string& hex) {
    if (hex.size() % 2 != 0) bad("a \"hex\" text needs an even number of digits");
    std::string bytes;
    for (size_t i = 0; i < hex.size(); i += 2) {
        int value = 0;
        for (size_t k = i; k < i + 2; ++k) {
            char c = hex[k];
            int digit = (c >= '0' && c <= '9')   ? c - '0'
                        : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                        : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                 : -1;
            if (digit < 0) bad("\"" + hex + "\" is not hexadecimal");
            value = value * 16 + digit;
        }
        bytes.push_back(static_cast<char>(value));
    }
    return bytes;
}

std::string bytes_of(const json& source) {
    if (source.contains("hex")) return hex_to_bytes(source.at("hex").get<std::string>());
    if (source.contains("text")) return source.at("text").get<std::string>();
    if (source.contains("file")) {
        std::ifstream file(source.at("file").get<std::string>(), std::ios::binary);
        if (!file) bad("cannot read " + source.at("file").get<std::string>());
        std::ostringstream content;
        content << file.rdbuf();
        return content.str();
    }
    bad("bytes need \"hex\", \"text\" or \"file\"");
}

DWORD reg_type(const std::string& name) {
    static const std::pair<const char*, DWORD> kTypes[] = {
        {"REG_NONE", REG_NONE},     {"REG_SZ", REG_SZ},       {"REG_EXPAND_SZ", REG_EXPAND_SZ},
        {"REG_BINARY", REG_BINARY}, {"REG_DWORD", REG_DWORD}, {"REG_MULTI_SZ", REG_MULTI_SZ}};
    for (const auto& [type_name, type] : kTypes) {
        if (name == type_name) return type;
    }
    bad("unknown registry type \"" + name + "\"");
}

RegValue reg_value_of(const json& given, DWORD type) {
    bool text_type = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
    RegValue value;
    if (given.is_number()) {
        DWORD number = given.get<DWORD>();
        value = text_type ? reg_sz(utf8_to_utf16(std::to_string(number))) : reg_dword(number);
    } else if (given.is_string()) {
        value = reg_sz(utf8_to_utf16(given.get<std::string>()));
    } else {
        value.data = bytes_of(given);
    }
    if (type == REG_MULTI_SZ && !given.is_object()) value.data.append(2, '\0');  // the list's closing NUL
    value.type = type;
    return value;
}

}  // namespace sim::scenario

namespace sim {

namespace {

using namespace scenario;

void load_stdout(const json& value, Computer& pc) {
    std::string kind = value.get<std::string>();
    if (kind == "pipe") pc.stdout_kind = StdoutKind::pipe;
    else if (kind == "console") pc.stdout_kind = StdoutKind::console;
    else if (kind == "file") pc.stdout_kind = StdoutKind::file;
    else if (kind == "null") pc.stdout_kind = StdoutKind::null;
    else if (kind == "invalid") pc.stdout_kind = StdoutKind::invalid;
    else bad("unknown \"stdout\": " + kind);
}

void load_stdin(const json& value, Computer& pc) {
    StdinState& in = pc.stdin_state;
    if (value.is_string()) {
        std::string kind = value.get<std::string>();
        if (kind == "real") in.kind = StdinKind::real;
        else if (kind == "null") in.kind = StdinKind::null;
        else if (kind == "invalid") in.kind = StdinKind::invalid;
        else bad("unknown \"stdin\": " + kind);
        return;
    }
    if (!value.is_object()) bad("\"stdin\" is a word or an object");
    in.kind = StdinKind::bytes;
    if (value.contains("pieces")) {
        in.in_pieces = true;
        for (const json& piece : value.at("pieces")) in.pieces.push_back(hex_to_bytes(piece.get<std::string>()));
        if (value.contains("end")) in.then_error = value.at("end").get<DWORD>();
    } else {
        in.bytes = bytes_of(value);
    }
    if (value.contains("then_error")) in.then_error = value.at("then_error").get<DWORD>();
    if (value.contains("type")) {
        std::string type = value.at("type").get<std::string>();
        if (type == "pipe") in.file_type = FILE_TYPE_PIPE;
        else if (type == "disk") in.file_type = FILE_TYPE_DISK;
        else if (type == "char") in.file_type = FILE_TYPE_CHAR;
        else bad("unknown \"stdin.type\": " + type);
    }
}

void load_clock(const json& value, Computer& pc) {
    if (value.contains("utc")) {
        if (!parse_utc(value.at("utc").get<std::string>(), &pc.clock.start_filetime)) {
            bad("\"clock.utc\" is not a time like 2026-03-01T06:05:07.250Z");
        }
    }
    if (value.contains("utc_offset_minutes")) pc.clock.utc_offset_minutes = value.at("utc_offset_minutes").get<LONG>();
    if (value.contains("tick_ms")) pc.clock.start_tick = value.at("tick_ms").get<DWORD>();
}

void load_messages(const json& value, Computer& pc) {
    for (const auto& [code_text, text] : value.items()) {
        DWORD code = static_cast<DWORD>(std::stoul(code_text));
        if (text.is_null()) {
            pc.removed_messages.push_back(code);  // no text at all for this code
        } else {
            pc.messages[code] = utf8_to_utf16(text.get<std::string>());
        }
    }
}

std::u16string wide(const json& value) { return utf8_to_utf16(value.get<std::string>()); }

std::optional<DWORD> optional_number(const json& object, const char* key) {
    if (!object.contains(key) || object.at(key).is_null()) return std::nullopt;
    return object.at(key).get<DWORD>();
}

// A GetDeviceCaps index by its SDK name, or as a decimal number.
int devcaps_index(const std::string& name) {
    static const std::pair<const char*, int> kIndexes[] = {
        {"HORZRES", HORZRES}, {"VERTRES", VERTRES}, {"LOGPIXELSX", LOGPIXELSX}, {"LOGPIXELSY", LOGPIXELSY}};
    for (const auto& [index_name, index] : kIndexes) {
        if (name == index_name) return index;
    }
    if (!name.empty() && name.find_first_not_of("0123456789") == std::string::npos) return std::stoi(name);
    bad("unknown \"devcaps\" index \"" + name + "\"");
}

// The file time `offset_ms` after `start`; a time a FILETIME cannot hold
// (before 1601, or past 2^63 - 1 units) makes the scenario unusable.
ULONGLONG filetime_at(ULONGLONG start, long long offset_ms, const char* what) {
    long long units = 0;
    long long time = 0;
    if (__builtin_mul_overflow(offset_ms, 10000LL, &units) ||
        __builtin_add_overflow(static_cast<long long>(start), units, &time) || time < 0) {
        bad(std::string(what) + " puts a time outside the range of FILETIME");
    }
    return static_cast<ULONGLONG>(time);
}

Job load_job(const json& value, ULONGLONG start) {
    Job job;
    job.id = value.value("id", 0u);
    job.document = utf8_to_utf16(value.value("document", std::string()));
    job.status = value.value("status", 0u);
    job.status_text = utf8_to_utf16(value.value("status_text", std::string()));
    job.delete_error = error_of(value, "delete_error");
    if (value.contains("submitted")) {
        std::string when = value.at("submitted").get<std::string>();
        if (when == "invalid") {
            job.submitted.kind = Submission::invalid;
        } else if (when == "before_1970") {
            job.submitted.kind = Submission::before_1970;
        } else if (!parse_utc(when, &job.submitted.filetime)) {
            bad("a job's \"submitted\" is a UTC time, \"invalid\" or \"before_1970\"");
        }
    } else {
        // Milliseconds before the start; negative: a job stamped in the future.
        job.submitted.filetime = filetime_at(start, -value.value("age_ms", 0LL), "a job's \"age_ms\"");
    }
    return job;
}

// {"max_per_call", "accept_total", "fail_at", "fail_error"}: how a writer takes bytes.
WriteBehaviour load_write(const json& write) {
    WriteBehaviour behaviour;
    behaviour.max_per_call = write.value("max_per_call", 0u);
    behaviour.accept_total = optional_number(write, "accept_total");
    behaviour.fail_at = optional_number(write, "fail_at");
    if (error_of(write, "fail_error") != 0) behaviour.fail_error = error_of(write, "fail_error");
    return behaviour;
}

Printer load_printer(const json& value, ULONGLONG start) {
    Printer p;
    p.name = wide(value.at("name"));
    p.port = utf8_to_utf16(value.value("port", std::string()));
    p.driver = utf8_to_utf16(value.value("driver", std::string()));
    p.attributes = value.value("attributes", 0u);
    p.status = value.value("status", 0u);
    p.jobs_count = optional_number(value, "jobs_count");
    p.open_error = error_of(value, "open_error");
    p.startdoc_error = error_of(value, "startdoc_error");
    p.startpage_error = error_of(value, "startpage_error");
    p.enum_jobs_error = error_of(value, "enum_jobs_error");
    p.get_printer_error = error_of(value, "get_printer_error");
    p.get_job_error = error_of(value, "get_job_error");
    p.get_job_fails_silently = value.value("get_job_fails_silently", false);
    p.endpage_printer_error = error_of(value, "endpage_printer_error");
    p.enddoc_printer_error = error_of(value, "enddoc_printer_error");
    p.abort_error = error_of(value, "abort_error");
    p.started_job_delete_error = error_of(value, "started_job_delete_error");
    p.grow_between_calls = value.value("grow_between_calls", 0u);
    p.shrink_between_calls = value.value("shrink_between_calls", 0u);
    if (value.contains("write")) p.write = load_write(value.at("write"));
    if (value.contains("jobs")) {
        for (const json& job : value.at("jobs")) p.jobs.push_back(load_job(job, start));
    }
    if (present(value, "devcaps")) {
        for (const auto& [index_name, answer] : value.at("devcaps").items()) {
            p.devcaps[devcaps_index(index_name)] = answer.get<int>();
        }
    }
    p.createdc_error = error_of(value, "createdc_error");
    p.startdoc_gdi_error = error_of(value, "startdoc_gdi_error");
    p.endpage_error = error_of(value, "endpage_error");
    p.startdoc_gdi_result = value.value("startdoc_gdi_result", -1);
    if (p.startdoc_gdi_result > 0) bad("\"startdoc_gdi_result\" is a failure: 0 or less");
    p.endpage_error_result = value.value("endpage_error_result", -1);
    if (p.endpage_error_result > 0) bad("\"endpage_error_result\" is a failure: 0 or less");
    p.enddoc_error = error_of(value, "enddoc_error");
    return p;
}

void load_spooler(const json& value, Computer& pc) {
    Spooler& spooler = pc.spooler;
    if (value.contains("default") && !value.at("default").is_null()) spooler.default_printer = wide(value.at("default"));
    spooler.default_error = error_of(value, "default_error");
    spooler.enum_local_error = error_of(value, "enum_local_error");
    spooler.enum_grow_between_calls = value.value("enum_grow_between_calls", 0u);
    spooler.enum_connections_error = error_of(value, "enum_connections_error");
    if (value.contains("printers")) {
        for (const json& printer : value.at("printers")) {
            spooler.printers.push_back(load_printer(printer, pc.clock.start_filetime));
        }
    }
    if (value.contains("connections")) {
        for (const json& connection : value.at("connections")) {
            spooler.connections.push_back(load_printer(connection, pc.clock.start_filetime));
        }
    }
}

// {"at_ms": 1500, "printer": "XP-58", "remove_job": 12, ...}: one or more kinds of change.
void load_timeline(const json& value, Computer& pc) {
    std::vector<TimelineEvent> events;
    for (const json& item : value) {
        TimelineEvent event;
        event.at_ms = item.value("at_ms", 0LL);
        if (present(item, "printer")) event.printer = wide(item.at("printer"));
        event.remove_job = optional_number(item, "remove_job");
        if (present(item, "add_job")) {
            const json& job = item.at("add_job");
            event.add_job = load_job(job, pc.clock.start_filetime);
            // Without a time of its own, a job arrives when the event happens.
            if (!job.contains("age_ms") && !job.contains("submitted")) {
                event.add_job->submitted.filetime =
                    filetime_at(pc.clock.start_filetime, event.at_ms > 0 ? event.at_ms : 0, "an event's \"at_ms\"");
            }
        }
        event.set_status = optional_number(item, "set_status");
        event.set_attributes = optional_number(item, "set_attributes");
        if (present(item, "set_job_status")) {
            const json& change = item.at("set_job_status");
            event.set_job_status = JobStatusChange{change.at("id").get<DWORD>(), change.at("status").get<DWORD>()};
        }
        event.set_enum_jobs_error = optional_number(item, "set_enum_jobs_error");
        event.set_get_job_error = optional_number(item, "set_get_job_error");
        if (item.contains("set_default")) {
            const json& name = item.at("set_default");
            event.set_default = name.is_null() ? std::optional<std::u16string>() : wide(name);
        }
        events.push_back(event);
    }
    pc.timeline = events;
}

// [{"function": "GetJobW", "nth": 2, "error": 1722}]: that call fails (every
// call when "nth" is absent or 0; without setting the last error when
// "error" is absent or null).
void load_faults(const json& value, Computer& pc) {
    for (const json& item : value) {
        FaultRule rule;
        rule.function = item.at("function").get<std::string>();
        rule.nth = item.value("nth", 0u);
        if (present(item, "error")) rule.error = item.at("error").get<DWORD>();
        pc.faults.push_back(rule);
    }
}

}  // namespace

void load_scenario(const std::string& json_text) {
    json doc;
    try {
        doc = json::parse(json_text);
    } catch (const json::exception& e) {
        bad(std::string("not JSON: ") + e.what());
    }
    if (!doc.is_object()) bad("the top level is an object");
    reset();
    Computer& pc = computer();
    try {
        if (doc.contains("stdout")) load_stdout(doc.at("stdout"), pc);
        if (doc.contains("stdin")) load_stdin(doc.at("stdin"), pc);
        if (doc.contains("read_console")) pc.read_console = doc.at("read_console").get<bool>();
        pc.console_max_write = optional_number(doc, "console_max_write");
        if (present(doc, "stdout_write")) pc.stdout_write = load_write(doc.at("stdout_write"));
        if (doc.contains("clock")) load_clock(doc.at("clock"), pc);
        if (doc.contains("messages")) load_messages(doc.at("messages"), pc);
        if (doc.contains("spooler")) load_spooler(doc.at("spooler"), pc);
        if (doc.contains("usb")) load_usb(doc.at("usb"), pc);
        if (doc.contains("lpt")) load_lpt(doc.at("lpt"), pc);
        if (present(doc, "timeline")) load_timeline(doc.at("timeline"), pc);
        if (present(doc, "faults")) load_faults(doc.at("faults"), pc);
        if (present(doc, "registry")) load_registry(doc.at("registry"), pc);
        if (present(doc, "network")) load_network(doc.at("network"), pc);
    } catch (const json::exception& e) {
        bad(e.what());
    }
    apply_due_events();  // those at 0 ms or before happened before the program starts
    // Loading is not the program's doing: its calls are neither logged nor counted.
    pc.call_log.clear();
    pc.call_counts.clear();
}

}  // namespace sim
