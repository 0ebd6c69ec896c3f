// Device nodes, id lists and the handle tables of the simulated device manager.
#include "device_model.h"

namespace sim {

namespace {

const GUID kClassUsb = {0x36fc9e60, 0xc465, 0x11cf, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID kClassPrinter = {0x4d36e979, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
const GUID kClassPorts = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

}  // namespace

DeviceTables& tables() {
    std::shared_ptr<DeviceTables>& t = computer().devices.tables;
    if (!t) t = std::make_shared<DeviceTables>();
    return *t;
}

uintptr_t new_handle() {
    uintptr_t value = tables().next_handle;
    tables().next_handle += 4;
    return value;
}

HKEY new_key(const std::string& label, std::vector<std::pair<std::u16string, RegValue>> values) {
    uintptr_t value = new_handle();
    DeviceTables::Key& key = tables().keys[value];
    key.values = std::move(values);
    track(&key, ResourceKind::registry_key, label);
    return reinterpret_cast<HKEY>(value);
}

bool node_exists(DEVINST node) {
    const Devices& d = devices();
    size_t i = index_of(node);
    if ((node & 0xFFFF) == 0) return false;
    switch (kind_of(node)) {
        case kUsbDevice: return i < d.usb.interfaces.size();
        case kUsbChild: return i < d.usb.interfaces.size() && d.usb.interfaces[i].child.has_value();
        case kLptDevice: return i < d.lpt.devices.size();
        case kLptParent: return i < d.lpt.devices.size() && d.lpt.devices[i].parent.has_value();
    }
    return false;
}

std::vector<DEVINST> all_nodes() {
    std::vector<DEVINST> nodes;
    for (size_t i = 0; i < devices().usb.interfaces.size(); ++i) {
        nodes.push_back(node_of(kUsbDevice, i));
        if (node_exists(node_of(kUsbChild, i))) nodes.push_back(node_of(kUsbChild, i));
    }
    for (size_t i = 0; i < devices().lpt.devices.size(); ++i) {
        if (node_exists(node_of(kLptParent, i))) nodes.push_back(node_of(kLptParent, i));
        nodes.push_back(node_of(kLptDevice, i));
    }
    return nodes;
}

std::u16string instance_id(DEVINST node) {
    static const char16_t* const kPrefix[] = {u"", u"USB\\DEVICE\\", u"USBPRINT\\PRINTER\\", u"LPTENUM\\PRINTER\\",
                                              u"ACPI\\PNP0401\\"};
    return kPrefix[kind_of(node)] + utf8_to_utf16(std::to_string(index_of(node) + 1));
}

const GUID& class_of(DEVINST node) {
    switch (kind_of(node)) {
        case kUsbDevice: return kClassUsb;
        case kLptParent: return kClassPorts;
        default: return kClassPrinter;
    }
}

IdList ids_of(DEVINST node, ULONG property) {
    bool hardware = property == CM_DRP_HARDWAREID;
    if (!hardware && property != CM_DRP_COMPATIBLEIDS) return std::nullopt;
    size_t i = index_of(node);
    switch (kind_of(node)) {
        case kUsbDevice: return hardware ? devices().usb.interfaces[i].hardware_ids : std::nullopt;
        case kUsbChild: {
            const UsbChild& child = *devices().usb.interfaces[i].child;
            return hardware ? child.hardware_ids : child.compatible_ids;
        }
        case kLptDevice: {
            const LptDevice& device = devices().lpt.devices[i];
            return hardware ? device.hardware_ids : device.compatible_ids;
        }
        default: return std::nullopt;
    }
}

std::string multi_sz(const std::vector<std::u16string>& ids) {
    std::u16string joined;
    for (const std::u16string& id : ids) joined += id + u'\0';
    joined += u'\0';
    return std::string(reinterpret_cast<const char*>(joined.data()), joined.size() * 2);
}

DWORD injected_failure(const char* function, DWORD fallback) {
    // A fault without an error of its own fails with the call's usual failure.
    DWORD saved = computer().last_error;
    computer().last_error = 0;
    if (!call_fails(function)) {
        computer().last_error = saved;
        return 0;
    }
    DWORD error = computer().last_error;
    computer().last_error = saved;
    return error != 0 ? error : fallback;
}

}  // namespace sim
