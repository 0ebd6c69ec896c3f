// The scenario keys of the network and of the TCP/IP port monitor's keys:
// "registry": {"tcp_ports": {...}} and "network": {"hosts", "names", "startup_error"},
// printers that answer on a TCP port included.
#include "scenario_load.h"

namespace sim::scenario {

using nlohmann::json;

namespace {

// {"error": N}, N a Windows Sockets error (0 would mean success).
DWORD error_in(const json& given, const std::string& where) {
    DWORD error = given.at("error").get<DWORD>();
    if (error == 0) bad(where + ": \"error\" is the error it fails with, not 0");
    return error;
}

TcpAnswer tcp_answer(const json& given, const std::string& where) {
    if (given.is_object() && given.contains("error")) return {TcpRule::error, error_in(given, where)};
    const std::string word = given.is_string() ? given.get<std::string>() : "";
    if (word == "answers") return {TcpRule::answers, 0};
    if (word == "refuses") return {TcpRule::refuses, 0};
    if (word == "silent") return {TcpRule::silent, 0};
    bad(where + " is \"answers\", \"refuses\", \"silent\", {\"error\": N} or {\"escpos\": ...}");
}

// What a host does on one TCP port: a rule, or a printer that answers
// ({"escpos": ..., "close_after": K}).
void load_tcp_port(NetHost& host, unsigned port, const json& given, const std::string& where) {
    if (!given.is_object() || !given.contains("escpos")) {
        host.tcp[port] = tcp_answer(given, where);
        return;
    }
    EscposRules rules = escpos_rules(given.at("escpos"), where + ".escpos");
    if (present(given, "close_after")) rules.close_after = given.at("close_after").get<unsigned>();
    // A printer that does not open is a connection that fails.
    host.tcp[port] = {rules.open_error != 0 ? TcpRule::error : TcpRule::answers, rules.open_error};
    host.escpos[port] = rules;
}

// An IPv4 address text, written back the way connect names it (no leading zeros).
std::string address_in(const std::string& text, const std::string& where) {
    ULONG address = 0;
    if (!parse_ipv4(text, &address)) bad(where + ": \"" + text + "\" is not an IPv4 address like 192.168.1.50");
    return ipv4_text(address);
}

// A value as written ("text": REG_SZ, a number: REG_DWORD, {"hex": ...}:
// REG_BINARY) or {"type": "REG_...", "data": ...} for another type.
RegValue registry_value(const json& given) {
    if (given.is_object() && given.contains("type")) {
        return reg_value_of(given.at("data"), reg_type(given.at("type").get<std::string>()));
    }
    return reg_value_of(given, given.is_number() ? REG_DWORD : given.is_string() ? REG_SZ : REG_BINARY);
}

}  // namespace

void load_registry(const json& value, Computer& pc) {
    if (!present(value, "tcp_ports")) return;
    for (const auto& [port, values] : value.at("tcp_ports").items()) {
        if (values.is_null()) continue;  // no entry: no key
        TcpPortKey key;
        for (const auto& [name, given] : values.items()) {
            if (name == "open_error") {
                key.open_error = given.get<DWORD>();
            } else if (!given.is_null()) {  // null: the value is missing
                key.values.emplace_back(utf8_to_utf16(name), registry_value(given));
            }
        }
        pc.tcp_ports.emplace_back(utf8_to_utf16(port), key);
    }
}

void load_network(const json& value, Computer& pc) {
    Network& network = pc.network;
    if (present(value, "startup_error")) network.startup_error = value.at("startup_error").get<DWORD>();
    if (present(value, "hosts")) {
        for (const auto& [address, given] : value.at("hosts").items()) {
            const std::string where = "network.hosts." + address;
            NetHost host;
            if (present(given, "delay_ms")) host.delay_ms = given.at("delay_ms").get<DWORD>();
            if (present(given, "tcp")) {
                for (const auto& [port, answer] : given.at("tcp").items()) {
                    unsigned number = 0;
                    for (char c : port)
                        number = c >= '0' && c <= '9' && number <= 65535 ? number * 10 + (c - '0') : ~0u;
                    if (number == 0 || number > 65535)
                        bad(where + ".tcp: \"" + port + "\" is not a TCP port (1 to 65535)");
                    load_tcp_port(host, number, answer, where + ".tcp." + port);
                }
            }
            network.hosts[address_in(address, where)] = host;
        }
    }
    if (present(value, "names")) {
        for (const auto& [name, given] : value.at("names").items()) {
            const std::string where = "network.names." + name;
            NetName resolved;
            if (!given.is_object()) {
                resolved.address = address_in(given.get<std::string>(), where);
            } else if (given.contains("address") == given.contains("error")) {
                bad(where +
                    " is an address text, {\"address\": A, \"delay_ms\": D} or {\"error\": N, \"delay_ms\": D}");
            } else if (given.contains("error")) {
                resolved.error = error_in(given, where);
            } else {
                resolved.address = address_in(given.at("address").get<std::string>(), where);
            }
            if (given.is_object() && present(given, "delay_ms")) resolved.delay_ms = given.at("delay_ms").get<DWORD>();
            network.names.emplace_back(utf8_to_utf16(name), resolved);
        }
    }
}

}  // namespace sim::scenario
