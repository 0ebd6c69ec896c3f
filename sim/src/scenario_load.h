// What the parts of the scenario loader share: its error, blocks of bytes and
// registry values as scenarios write them, and the loaders kept in files of
// their own.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "computer.h"

namespace sim::scenario {

// Stops loading with a readable reason (std::runtime_error "scenario: ...").
[[noreturn]] void bad(const std::string& why);
// Whether the key is there and not null: an absent key means the same as null.
inline bool present(const nlohmann::json& object, const char* key) {
    return object.contains(key) && !object.at(key).is_null();
}
// An error number under the key; 0 when absent or null.
inline DWORD error_of(const nlohmann::json& object, const char* key) {
    return present(object, key) ? object.at(key).get<DWORD>() : 0;
}
// "1b40": the bytes two hexadecimal digits stand for.
std::string hex_to_bytes(const std::string& hex);
// {"hex": ...}, {"text": ...} or {"file": PATH}: a block of bytes.
std::string bytes_of(const nlohmann::json& source);
// "REG_SZ", "REG_DWORD", ...: the type's number.
DWORD reg_type(const std::string& name);
// A registry value of that type: a number (a DWORD, or its decimal text for a
// string type), a text (UTF-16 with its NUL) or {"hex": ...} (the bytes as given).
RegValue reg_value_of(const nlohmann::json& given, DWORD type);

// "usb" and "lpt" (scenario_devices.cpp).
void load_usb(const nlohmann::json& value, Computer& pc);
void load_lpt(const nlohmann::json& value, Computer& pc);
// A printer that answers: "silent", or {"1": "16", ..., "delay_ms", "stale",
// "open_error", "write_error", "read_error"}; `where` names it in errors.
EscposRules escpos_rules(const nlohmann::json& given, const std::string& where);

// "registry" (its "tcp_ports") and "network" (scenario_network.cpp).
void load_registry(const nlohmann::json& value, Computer& pc);
void load_network(const nlohmann::json& value, Computer& pc);

}  // namespace sim::scenario
