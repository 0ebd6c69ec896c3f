// The scenario keys of the device manager: "usb" (the USB printing
// interfaces, with their ids, registry values and what the printer answers)
// and "lpt" (the devices on parallel ports).
#include "scenario_load.h"

namespace sim::scenario {

using nlohmann::json;

namespace {

std::u16string wide(const json& value) { return utf8_to_utf16(value.get<std::string>()); }

// A registry value (see reg_value_of), reported with the type `type_key`
// names. Unset when absent or null.
std::optional<RegValue> load_reg_value(const json& object, const char* key, const char* type_key, DWORD type) {
    if (!present(object, key)) return std::nullopt;
    if (present(object, type_key)) type = reg_type(object.at(type_key).get<std::string>());
    return reg_value_of(object.at(key), type);
}

IdList load_ids(const json& object, const char* key) {
    if (!present(object, key)) return std::nullopt;
    std::vector<std::u16string> ids;
    for (const json& id : object.at(key)) ids.push_back(wide(id));
    return ids;
}

// {"hex": ...} (or "text", "file"): the answer; {"ioctl_error": N}: the request fails.
std::optional<DeviceAnswer> load_answer(const json& object, const char* key) {
    if (!present(object, key)) return std::nullopt;
    const json& given = object.at(key);
    DeviceAnswer answer;
    answer.ioctl_error = error_of(given, "ioctl_error");
    if (given.contains("hex") || given.contains("text") || given.contains("file")) answer.bytes = bytes_of(given);
    return answer;
}

// "16", "16 12": bytes in hexadecimal, spaces between them allowed.
std::string spaced_hex(const json& given) {
    std::string digits;
    for (char c : given.get<std::string>()) {
        if (c != ' ') digits.push_back(c);
    }
    return hex_to_bytes(digits);
}

// 24, or {"ioctl_error": N}: the status byte IOCTL_USBPRINT_GET_LPT_STATUS gives.
std::optional<DeviceAnswer> load_lpt_status(const json& item) {
    if (!present(item, "lpt_status")) return std::nullopt;
    const json& given = item.at("lpt_status");
    if (given.is_object()) return DeviceAnswer{"", error_of(given, "ioctl_error")};
    unsigned byte = given.get<unsigned>();
    if (byte > 255) bad("\"lpt_status\" is a byte (0 to 255) or {\"ioctl_error\": N}");
    return DeviceAnswer{std::string(1, static_cast<char>(byte)), 0};
}

}  // namespace

EscposRules escpos_rules(const json& given, const std::string& where) {
    EscposRules rules;
    if (given.is_string() && given.get<std::string>() == "silent") return rules;
    if (!given.is_object()) bad(where + " is \"silent\" or an object");
    for (const auto& [key, value] : given.items()) {
        if (key.size() != 1 || key[0] < '0' || key[0] > '9') continue;  // the other keys, below
        if (key[0] < '1' || key[0] > '4') bad(where + ": \"" + key + "\" is no status request (1 to 4)");
        if (value.is_string() && value.get<std::string>() == "silent") continue;
        std::string bytes = spaced_hex(value);
        if (bytes.empty()) bad(where + "." + key + " is one or more bytes, or \"silent\"");
        rules.status[static_cast<size_t>(key[0] - '1')] = bytes;
    }
    if (present(given, "delay_ms")) rules.delay_ms = given.at("delay_ms").get<DWORD>();
    if (present(given, "stale")) rules.stale = spaced_hex(given.at("stale"));
    rules.open_error = error_of(given, "open_error");
    rules.write_error = error_of(given, "write_error");
    rules.read_error = error_of(given, "read_error");
    return rules;
}

void load_usb(const json& value, Computer& pc) {
    pc.devices.usb.list_error = error_of(value, "list_error");
    if (present(value, "enum_error_at")) {
        const json& broken = value.at("enum_error_at");
        pc.devices.usb.enum_error_at = EnumFailure{broken.at("index").get<DWORD>(), broken.at("error").get<DWORD>()};
    }
    if (!present(value, "interfaces")) return;
    for (const json& item : value.at("interfaces")) {
        UsbInterface usb;
        usb.port_number = load_reg_value(item, "port_number", "port_number_type", REG_DWORD);
        usb.base_name = load_reg_value(item, "base_name", "base_name_type", REG_SZ);
        usb.no_key = present(item, "no_key") && item.at("no_key").get<bool>();
        if (present(item, "path")) usb.path = wide(item.at("path"));
        usb.hardware_ids = load_ids(item, "hardware_ids");
        if (present(item, "child")) {
            const json& child = item.at("child");
            usb.child = UsbChild{load_ids(child, "compatible_ids"), load_ids(child, "hardware_ids")};
        }
        if (present(item, "device_id")) {
            usb.device_id = DeviceIdAnswers{load_answer(item.at("device_id"), "access_0"),
                                            load_answer(item.at("device_id"), "generic_read")};
        }
        usb.lpt_status = load_lpt_status(item);
        if (present(item, "escpos")) usb.escpos = escpos_rules(item.at("escpos"), "usb.interfaces[].escpos");
        pc.devices.usb.interfaces.push_back(usb);
    }
}

void load_lpt(const json& value, Computer& pc) {
    pc.devices.lpt.list_error = error_of(value, "list_error");
    if (!present(value, "devices")) return;
    for (const json& item : value.at("devices")) {
        LptDevice device;
        device.compatible_ids = load_ids(item, "compatible_ids");
        device.hardware_ids = load_ids(item, "hardware_ids");
        if (present(item, "parent")) {
            device.parent = LptParent{load_reg_value(item.at("parent"), "port_name", "port_name_type", REG_SZ)};
        }
        pc.devices.lpt.devices.push_back(device);
    }
}

}  // namespace sim::scenario
