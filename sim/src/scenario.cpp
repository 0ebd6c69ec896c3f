// Builds the simulated computer from a scenario file. Every key is optional;
// keys this simulator does not know are ignored, so older runners accept newer
// scenarios.
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

#include "computer.h"

namespace sim {

namespace {

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

// {"hex": ...}, {"text": ...} or {"file": PATH}: a block of bytes.
std::string bytes_of(const json& spec) {
    if (spec.contains("hex")) return hex_to_bytes(spec.at("hex").get<std::string>());
    if (spec.contains("text")) return spec.at("text").get<std::string>();
    if (spec.contains("file")) {
        std::ifstream file(spec.at("file").get<std::string>(), std::ios::binary);
        if (!file) bad("cannot read " + spec.at("file").get<std::string>());
        std::ostringstream content;
        content << file.rdbuf();
        return content.str();
    }
    bad("bytes need \"hex\", \"text\" or \"file\"");
}

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
    in.bytes = bytes_of(value);
    if (value.contains("then_error")) in.then_error = value.at("then_error").get<DWORD>();
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
        if (doc.contains("clock")) load_clock(doc.at("clock"), pc);
        if (doc.contains("messages")) load_messages(doc.at("messages"), pc);
    } catch (const json::exception& e) {
        bad(e.what());
    }
}

}  // namespace sim
