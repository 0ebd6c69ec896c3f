// The simulated device manager: USB printing interfaces with their registry
// values, paths, ids, children and 1284 answers; LPTENUM devices with their
// parent ports; and the lists, registry keys and device handles the program
// opens on them. Sizes, cbSize checks and errors are those of Windows.
#include <cfgmgr32.h>
#include <setupapi.h>
#include <usbprint.h>

#include <cstddef>
#include <cstring>

#include "computer.h"

namespace sim {

// What the program holds open. Handles are small values that are never
// reused, so a closed one stays invalid; lists and keys are audited under
// their record's address, so CloseHandle cannot close them by mistake.
struct DeviceTables {
    struct List {
        std::string label;
        std::vector<DEVINST> members;
    };
    struct Key {
        std::vector<std::pair<std::u16string, RegValue>> values;
    };
    uintptr_t next_handle = 0x1000;
    std::map<uintptr_t, List> lists;
    std::map<uintptr_t, Key> keys;
    std::map<uintptr_t, DeviceAnswer> handles;  // what the device answers on that open
};

RegValue reg_dword(DWORD number) {
    RegValue value{REG_DWORD, std::string(4, '\0')};
    for (int i = 0; i < 4; ++i) value.data[i] = static_cast<char>((number >> (8 * i)) & 0xFF);
    return value;
}

RegValue reg_sz(const std::u16string& text) {
    return RegValue{REG_SZ, std::string(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * 2)};
}

}  // namespace sim

namespace {

using sim::DeviceTables;

const GUID kUsbPrintInterface = {0x28d78fad, 0x5a12, 0x11d1, {0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2}};
const GUID kClassUsb = {0x36fc9e60, 0xc465, 0x11cf, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID kClassPrinter = {0x4d36e979, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
const GUID kClassPorts = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

constexpr DWORD kNoSuchDeviceInterface = 0xE0000225;  // ERROR_NO_SUCH_DEVICE_INTERFACE
constexpr DWORD kInvalidFlags = 1004;                 // ERROR_INVALID_FLAGS
constexpr DWORD kSpintActive = 0x00000001;
constexpr DWORD kSpdrpMaximum = 0x24;
constexpr DWORD kCmDrpMax = 0x23;
constexpr CONFIGRET kCrFailure = 0x13;
constexpr CONFIGRET kCrInvalidProperty = 0x35;
constexpr DWORD kDicsFlagConfigSpecific = 0x00000002;
constexpr DWORD kDiregDrv = 0x00000002;
constexpr DWORD kDiodFlags = 0x00000002 | 0x00000004;  // DIOD_INHERIT_CLASSDRVS | DIOD_CANCEL_REMOVE

// Windows packs the setup records to 8 bytes on 64-bit and to 1 byte on
// 32-bit, so the detail record's fixed part measures 8 or 6 bytes.
constexpr DWORD kDetailFixedSize = [] {
    size_t size = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) + sizeof(WCHAR);
    size_t align = sizeof(void*) == 8 ? alignof(DWORD) : 1;
    return static_cast<DWORD>((size + align - 1) / align * align);
}();

// Device nodes: the kind in the high half, the model's index + 1 in the low.
enum NodeKind : DEVINST { kUsbDevice = 1, kUsbChild = 2, kLptDevice = 3, kLptParent = 4 };

DEVINST node_of(NodeKind kind, size_t index) {
    return (kind << 16) | static_cast<DEVINST>(index + 1);
}
NodeKind kind_of(DEVINST node) {
    return static_cast<NodeKind>(node >> 16);
}
size_t index_of(DEVINST node) {
    return (node & 0xFFFF) - 1;
}

const sim::Devices& devices() {
    return sim::computer().devices;
}

bool node_exists(DEVINST node) {
    const sim::Devices& d = devices();
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

// Every node, each parent before its child.
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
    return kPrefix[kind_of(node)] + sim::utf8_to_utf16(std::to_string(index_of(node) + 1));
}

const GUID& class_of(DEVINST node) {
    switch (kind_of(node)) {
        case kUsbDevice: return kClassUsb;
        case kLptParent: return kClassPorts;
        default: return kClassPrinter;
    }
}

// A node's id list for CM_DRP_HARDWAREID or CM_DRP_COMPATIBLEIDS; unset when
// the node has no such list or it cannot be read.
sim::IdList ids_of(DEVINST node, ULONG property) {
    bool hardware = property == CM_DRP_HARDWAREID;
    if (!hardware && property != CM_DRP_COMPATIBLEIDS) return std::nullopt;
    size_t i = index_of(node);
    switch (kind_of(node)) {
        case kUsbDevice: return hardware ? devices().usb.interfaces[i].hardware_ids : std::nullopt;
        case kUsbChild: {
            const sim::UsbChild& child = *devices().usb.interfaces[i].child;
            return hardware ? child.hardware_ids : child.compatible_ids;
        }
        case kLptDevice: {
            const sim::LptDevice& device = devices().lpt.devices[i];
            return hardware ? device.hardware_ids : device.compatible_ids;
        }
        default: return std::nullopt;
    }
}

// REG_MULTI_SZ: each id with its NUL, then the NUL that ends the list.
std::string multi_sz(const std::vector<std::u16string>& ids) {
    std::u16string joined;
    for (const std::u16string& id : ids) joined += id + u'\0';
    joined += u'\0';
    return std::string(reinterpret_cast<const char*>(joined.data()), joined.size() * 2);
}

bool same_guid(const GUID& a, const GUID& b) {
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

bool in_enumerator(DEVINST node, const std::u16string& enumerator) {
    return sim::starts_with_ascii_nocase(instance_id(node), enumerator + u"\\");
}

using sim::fail;

const HKEY kNoKey = reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE);

// Registry and configuration manager calls answer with their result and
// leave the thread's last error alone, also when a test makes them fail.
DWORD injected_failure(const char* function, DWORD fallback) {
    DWORD saved = sim::computer().last_error;
    if (!sim::call_fails(function)) return 0;
    DWORD error = sim::computer().last_error;
    sim::computer().last_error = saved;
    return error != 0 ? error : fallback;
}

DeviceTables& tables() {
    std::shared_ptr<DeviceTables>& t = sim::computer().devices.tables;
    if (!t) t = std::make_shared<DeviceTables>();
    return *t;
}

uintptr_t new_handle() {
    uintptr_t value = tables().next_handle;
    tables().next_handle += 4;
    return value;
}

HDEVINFO new_list(const std::string& label, std::vector<DEVINST> members) {
    uintptr_t value = new_handle();
    DeviceTables::List& list = tables().lists[value];
    list.label = label;
    list.members = std::move(members);
    sim::track(&list, sim::ResourceKind::device_list, label);
    return reinterpret_cast<HDEVINFO>(value);
}

DeviceTables::List* list_of(HDEVINFO handle) {
    auto it = tables().lists.find(reinterpret_cast<uintptr_t>(handle));
    return it == tables().lists.end() ? nullptr : &it->second;
}

HKEY new_key(const std::string& label, std::vector<std::pair<std::u16string, sim::RegValue>> values) {
    uintptr_t value = new_handle();
    DeviceTables::Key& key = tables().keys[value];
    key.values = std::move(values);
    sim::track(&key, sim::ResourceKind::registry_key, label);
    return reinterpret_cast<HKEY>(value);
}

bool is_member(const DeviceTables::List& list, DEVINST node) {
    for (DEVINST member : list.members) {
        if (member == node) return true;
    }
    return false;
}

// An SP_DEVINFO_DATA the caller hands in must name a device of this list.
bool device_in(const DeviceTables::List& list, const SP_DEVINFO_DATA* data, DEVINST* node) {
    if (data == nullptr || data->cbSize != sizeof(SP_DEVINFO_DATA) || !is_member(list, data->DevInst)) return false;
    *node = data->DevInst;
    return node_exists(*node);
}

// An SP_DEVICE_INTERFACE_DATA must come from enumerating this list.
const sim::UsbInterface* interface_in(const DeviceTables::List& list, const SP_DEVICE_INTERFACE_DATA* data,
                                      DEVINST* node) {
    if (data == nullptr || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) return nullptr;
    DEVINST candidate = static_cast<DEVINST>(data->Reserved);
    if (data->Reserved > 0xFFFFFFFFu || kind_of(candidate) != kUsbDevice || !node_exists(candidate) ||
        !is_member(list, candidate)) {
        return nullptr;
    }
    *node = candidate;
    return &devices().usb.interfaces[index_of(candidate)];
}

void fill_device(SP_DEVINFO_DATA* data, DEVINST node, HDEVINFO list) {
    data->ClassGuid = class_of(node);
    data->DevInst = node;
    data->Reserved = reinterpret_cast<ULONG_PTR>(list);
}

}  // namespace

extern "C" {

HDEVINFO WINAPI SetupDiGetClassDevsW(const GUID* ClassGuid, PCWSTR Enumerator, HWND, DWORD Flags) {
    if (sim::call_fails("SetupDiGetClassDevsW")) return INVALID_HANDLE_VALUE;
    bool all_classes = (Flags & DIGCF_ALLCLASSES) != 0;
    if (ClassGuid == nullptr && !all_classes) return fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    std::u16string enumerator = sim::text_of(Enumerator);
    std::vector<DEVINST> members;
    if ((Flags & DIGCF_DEVICEINTERFACE) != 0) {
        // The devices exposing an interface of the class; the enumerator, if
        // any, narrows them to one enumerator or one device instance.
        bool usbprint = all_classes || same_guid(*ClassGuid, kUsbPrintInterface);
        if (usbprint && devices().usb.list_error != 0) return fail(devices().usb.list_error, INVALID_HANDLE_VALUE);
        for (size_t i = 0; usbprint && i < devices().usb.interfaces.size(); ++i) {
            DEVINST node = node_of(kUsbDevice, i);
            if (enumerator.empty() || in_enumerator(node, enumerator) || sim::equal_ascii_nocase(instance_id(node), enumerator)) {
                members.push_back(node);
            }
        }
        return new_list(usbprint ? "USB printing interfaces" : "device interfaces", std::move(members));
    }
    if (!enumerator.empty()) {
        // An enumerator no driver registered is refused, as on Windows.
        bool known = false;
        for (const char16_t* name : {u"USB", u"USBPRINT", u"LPTENUM", u"ACPI", u"ROOT"})
            known |= sim::equal_ascii_nocase(enumerator, name);
        if (!known) return fail(ERROR_INVALID_DATA, INVALID_HANDLE_VALUE);
        if (sim::equal_ascii_nocase(enumerator, u"LPTENUM") && devices().lpt.list_error != 0) {
            return fail(devices().lpt.list_error, INVALID_HANDLE_VALUE);
        }
    }
    for (DEVINST node : all_nodes()) {
        if ((all_classes || same_guid(class_of(node), *ClassGuid)) &&
            (enumerator.empty() || in_enumerator(node, enumerator))) {
            members.push_back(node);
        }
    }
    return new_list(enumerator.empty() ? "devices" : sim::utf16_to_utf8(enumerator), std::move(members));
}

HDEVINFO WINAPI SetupDiCreateDeviceInfoList(const GUID*, HWND) {
    if (sim::call_fails("SetupDiCreateDeviceInfoList")) return INVALID_HANDLE_VALUE;
    return new_list("created", {});
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) {
    if (sim::call_fails("SetupDiDestroyDeviceInfoList")) return FALSE;
    DeviceTables::List* list = list_of(DeviceInfoSet);
    if (list == nullptr) return fail(ERROR_INVALID_HANDLE);
    sim::untrack(list);
    tables().lists.erase(reinterpret_cast<uintptr_t>(DeviceInfoSet));
    sim::overwrite_last_error();
    return TRUE;
}

BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                        const GUID* InterfaceClassGuid, DWORD MemberIndex,
                                        PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData) {
    if (sim::call_fails("SetupDiEnumDeviceInterfaces")) return FALSE;
    DeviceTables::List* list = list_of(DeviceInfoSet);
    if (list == nullptr) return fail(ERROR_INVALID_HANDLE);
    if (InterfaceClassGuid == nullptr || DeviceInterfaceData == nullptr) return fail(ERROR_INVALID_PARAMETER);
    if (DeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) return fail(ERROR_INVALID_USER_BUFFER);
    DEVINST only = 0;
    if (DeviceInfoData != nullptr && !device_in(*list, DeviceInfoData, &only)) return fail(ERROR_INVALID_PARAMETER);
    // Only USB printing devices expose interfaces, one each.
    std::vector<DEVINST> exposing;
    for (DEVINST node : list->members) {
        if (kind_of(node) == kUsbDevice && node_exists(node) && (only == 0 || node == only)) exposing.push_back(node);
    }
    if (!same_guid(*InterfaceClassGuid, kUsbPrintInterface)) return fail(ERROR_NO_MORE_ITEMS);
    // A listing that breaks off part-way (a device removed meanwhile, a driver fault).
    const std::optional<sim::EnumFailure>& broken = devices().usb.enum_error_at;
    if (broken && MemberIndex == broken->index) return fail(broken->error);
    if (MemberIndex >= exposing.size()) {
        return fail(ERROR_NO_MORE_ITEMS);
    }
    DeviceInterfaceData->InterfaceClassGuid = kUsbPrintInterface;
    DeviceInterfaceData->Flags = kSpintActive;
    DeviceInterfaceData->Reserved = exposing[MemberIndex];
    return TRUE;
}

HKEY WINAPI SetupDiOpenDeviceInterfaceRegKey(HDEVINFO DeviceInfoSet, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
                                             DWORD Reserved, REGSAM) {
    if (sim::call_fails("SetupDiOpenDeviceInterfaceRegKey")) return kNoKey;
    DeviceTables::List* list = list_of(DeviceInfoSet);
    if (list == nullptr) return fail(ERROR_INVALID_HANDLE, kNoKey);
    DEVINST node = 0;
    const sim::UsbInterface* iface = interface_in(*list, DeviceInterfaceData, &node);
    if (iface == nullptr || Reserved != 0) return fail(ERROR_INVALID_PARAMETER, kNoKey);
    if (iface->no_key) return fail(ERROR_FILE_NOT_FOUND, kNoKey);
    std::vector<std::pair<std::u16string, sim::RegValue>> values;
    if (iface->port_number) values.emplace_back(u"Port Number", *iface->port_number);
    if (iface->base_name) values.emplace_back(u"Base Name", *iface->base_name);
    return new_key(sim::utf16_to_utf8(instance_id(node)) + " interface", std::move(values));
}

BOOL WINAPI SetupDiGetDeviceInterfaceDetailW(HDEVINFO DeviceInfoSet, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
                                             PSP_DEVICE_INTERFACE_DETAIL_DATA_W DeviceInterfaceDetailData,
                                             DWORD DeviceInterfaceDetailDataSize, PDWORD RequiredSize,
                                             PSP_DEVINFO_DATA DeviceInfoData) {
    if (sim::call_fails("SetupDiGetDeviceInterfaceDetailW")) return FALSE;
    DeviceTables::List* list = list_of(DeviceInfoSet);
    if (list == nullptr) return fail(ERROR_INVALID_HANDLE);
    DEVINST node = 0;
    const sim::UsbInterface* iface = interface_in(*list, DeviceInterfaceData, &node);
    if (iface == nullptr) return fail(ERROR_INVALID_PARAMETER);
    if (DeviceInterfaceDetailData == nullptr ? DeviceInterfaceDetailDataSize != 0
                                             : DeviceInterfaceDetailData->cbSize != kDetailFixedSize) {
        return fail(ERROR_INVALID_USER_BUFFER);
    }
    if (DeviceInfoData != nullptr && DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA)) {
        return fail(ERROR_INVALID_USER_BUFFER);
    }
    if (!iface->path) return fail(kNoSuchDeviceInterface);
    const std::u16string& path = *iface->path;
    DWORD needed =
        static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) + (path.size() + 1) * sizeof(WCHAR));
    if (RequiredSize != nullptr) *RequiredSize = needed;
    // The device is named even when the record does not fit.
    if (DeviceInfoData != nullptr) fill_device(DeviceInfoData, node, DeviceInfoSet);
    if (DeviceInterfaceDetailDataSize < needed) return fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(DeviceInterfaceDetailData->DevicePath, path.c_str(), (path.size() + 1) * sizeof(WCHAR));
    return TRUE;
}

BOOL WINAPI SetupDiGetDeviceRegistryPropertyW(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData, DWORD Property,
                                              PDWORD PropertyRegDataType, PBYTE PropertyBuffer,
                                              DWORD PropertyBufferSize, PDWORD RequiredSize) {
    if (sim::call_fails("SetupDiGetDeviceRegistryPropertyW")) return FALSE;
    DeviceTables::List* list = list_of(DeviceInfoSet);
    if (list == nullptr) return fail(ERROR_INVALID_HANDLE);
    DEVINST node = 0;
    if (!device_in(*list, DeviceInfoData, &node)) return fail(ERROR_INVALID_PARAMETER);
    if (PropertyBuffer == nullptr && PropertyBufferSize != 0) return fail(ERROR_INVALID_USER_BUFFER);
    if (Property >= kSpdrpMaximum) return fail(ERROR_INVALID_REG_PROPERTY);
    sim::IdList ids = ids_of(node, Property + 1);  // the configuration manager counts from 1
    if (!ids) return fail(ERROR_INVALID_DATA);     // what Windows says of a property the device lacks
    std::string bytes = multi_sz(*ids);
    if (PropertyRegDataType != nullptr) *PropertyRegDataType = REG_MULTI_SZ;
    if (RequiredSize != nullptr) *RequiredSize = static_cast<DWORD>(bytes.size());
    if (PropertyBufferSize < bytes.size()) return fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(PropertyBuffer, bytes.data(), bytes.size());
    return TRUE;
}

BOOL WINAPI SetupDiEnumDeviceInfo(HDEVINFO DeviceInfoSet, DWORD MemberIndex, PSP_DEVINFO_DATA DeviceInfoData) {
    if (sim::call_fails("SetupDiEnumDeviceInfo")) return FALSE;
    DeviceTables::List* list = list_of(DeviceInfoSet);
    if (list == nullptr) return fail(ERROR_INVALID_HANDLE);
    if (DeviceInfoData == nullptr) return fail(ERROR_INVALID_PARAMETER);
    if (DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA)) return fail(ERROR_INVALID_USER_BUFFER);
    if (MemberIndex >= list->members.size()) return fail(ERROR_NO_MORE_ITEMS);
    fill_device(DeviceInfoData, list->members[MemberIndex], DeviceInfoSet);
    return TRUE;
}

BOOL WINAPI SetupDiOpenDeviceInfoW(HDEVINFO DeviceInfoSet, PCWSTR DeviceInstanceId, HWND, DWORD OpenFlags,
                                   PSP_DEVINFO_DATA DeviceInfoData) {
    if (sim::call_fails("SetupDiOpenDeviceInfoW")) return FALSE;
    DeviceTables::List* list = list_of(DeviceInfoSet);
    if (list == nullptr) return fail(ERROR_INVALID_HANDLE);
    if (DeviceInstanceId == nullptr) return fail(ERROR_INVALID_PARAMETER);
    if ((OpenFlags & ~kDiodFlags) != 0) return fail(kInvalidFlags);
    if (DeviceInfoData != nullptr && DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA)) {
        return fail(ERROR_INVALID_USER_BUFFER);
    }
    std::u16string wanted = sim::text_of(DeviceInstanceId);
    for (DEVINST node : all_nodes()) {
        if (!sim::equal_ascii_nocase(instance_id(node), wanted)) continue;
        if (!is_member(*list, node)) list->members.push_back(node);
        if (DeviceInfoData != nullptr) fill_device(DeviceInfoData, node, DeviceInfoSet);
        return TRUE;
    }
    return fail(ERROR_NO_SUCH_DEVINST);
}

HKEY WINAPI SetupDiOpenDevRegKey(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData, DWORD Scope, DWORD,
                                 DWORD KeyType, REGSAM) {
    if (sim::call_fails("SetupDiOpenDevRegKey")) return kNoKey;
    DeviceTables::List* list = list_of(DeviceInfoSet);
    if (list == nullptr) return fail(ERROR_INVALID_HANDLE, kNoKey);
    DEVINST node = 0;
    if (!device_in(*list, DeviceInfoData, &node)) return fail(ERROR_INVALID_PARAMETER, kNoKey);
    if ((Scope != DICS_FLAG_GLOBAL && Scope != kDicsFlagConfigSpecific) ||
        (KeyType != DIREG_DEV && KeyType != kDiregDrv)) {
        return fail(kInvalidFlags, kNoKey);
    }
    // Only a parallel port's hardware key holds a value the simulator knows.
    std::vector<std::pair<std::u16string, sim::RegValue>> values;
    if (kind_of(node) == kLptParent && KeyType == DIREG_DEV) {
        const sim::LptParent& parent = *devices().lpt.devices[index_of(node)].parent;
        if (parent.port_name) values.emplace_back(u"PortName", *parent.port_name);
    }
    return new_key(sim::utf16_to_utf8(instance_id(node)) + (KeyType == DIREG_DEV ? " device" : " driver"),
                   std::move(values));
}

LONG WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                             LPDWORD lpcbData) {
    if (DWORD error = injected_failure("RegQueryValueExW", ERROR_GEN_FAILURE)) return static_cast<LONG>(error);
    auto key = tables().keys.find(reinterpret_cast<uintptr_t>(hKey));
    if (key == tables().keys.end()) return ERROR_INVALID_HANDLE;
    if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr)) return ERROR_INVALID_PARAMETER;
    std::u16string name = sim::text_of(lpValueName);
    const sim::RegValue* value = nullptr;
    for (const auto& [value_name, stored] : key->second.values) {
        if (sim::equal_ascii_nocase(value_name, name)) value = &stored;
    }
    if (value == nullptr) return ERROR_FILE_NOT_FOUND;
    DWORD size = static_cast<DWORD>(value->data.size());
    if (lpType != nullptr) *lpType = value->type;
    if (lpData == nullptr) {
        if (lpcbData != nullptr) *lpcbData = size;
        return ERROR_SUCCESS;
    }
    if (*lpcbData < size) {
        // Windows leaves the buffer undefined; the start of the value, cut
        // without its NUL, shows up code that uses it anyway.
        std::memcpy(lpData, value->data.data(), *lpcbData);
        *lpcbData = size;
        return ERROR_MORE_DATA;
    }
    std::memcpy(lpData, value->data.data(), size);
    *lpcbData = size;
    return ERROR_SUCCESS;
}

LONG WINAPI RegCloseKey(HKEY hKey) {
    if (DWORD error = injected_failure("RegCloseKey", ERROR_GEN_FAILURE)) return static_cast<LONG>(error);
    auto key = tables().keys.find(reinterpret_cast<uintptr_t>(hKey));
    if (key == tables().keys.end()) return ERROR_INVALID_HANDLE;
    sim::untrack(&key->second);
    tables().keys.erase(key);
    sim::overwrite_last_error();
    return ERROR_SUCCESS;
}

CONFIGRET WINAPI CM_Get_Child(PDEVINST pdnDevInst, DEVINST dnDevInst, ULONG ulFlags) {
    if (DWORD error = injected_failure("CM_Get_Child", kCrFailure)) return error;
    if (pdnDevInst == nullptr) return CR_INVALID_POINTER;
    if (ulFlags != 0) return CR_INVALID_FLAG;
    if (!node_exists(dnDevInst)) return CR_INVALID_DEVNODE;
    DEVINST child = 0;
    if (kind_of(dnDevInst) == kUsbDevice) child = node_of(kUsbChild, index_of(dnDevInst));
    if (kind_of(dnDevInst) == kLptParent) child = node_of(kLptDevice, index_of(dnDevInst));
    if (child == 0 || !node_exists(child)) return CR_NO_SUCH_DEVNODE;
    *pdnDevInst = child;
    return CR_SUCCESS;
}

CONFIGRET WINAPI CM_Get_Parent(PDEVINST pdnDevInst, DEVINST dnDevInst, ULONG ulFlags) {
    if (DWORD error = injected_failure("CM_Get_Parent", kCrFailure)) return error;
    if (pdnDevInst == nullptr) return CR_INVALID_POINTER;
    if (ulFlags != 0) return CR_INVALID_FLAG;
    if (!node_exists(dnDevInst)) return CR_INVALID_DEVNODE;
    // The tree holds only the modelled nodes: a USB device's hub is not among them.
    DEVINST parent = 0;
    if (kind_of(dnDevInst) == kUsbChild) parent = node_of(kUsbDevice, index_of(dnDevInst));
    if (kind_of(dnDevInst) == kLptDevice) parent = node_of(kLptParent, index_of(dnDevInst));
    if (parent == 0 || !node_exists(parent)) return CR_NO_SUCH_DEVNODE;
    *pdnDevInst = parent;
    return CR_SUCCESS;
}

CONFIGRET WINAPI CM_Get_Device_IDW(DEVINST dnDevInst, PWSTR Buffer, ULONG BufferLen, ULONG ulFlags) {
    if (DWORD error = injected_failure("CM_Get_Device_IDW", kCrFailure)) return error;
    if (Buffer == nullptr) return CR_INVALID_POINTER;
    if (ulFlags != 0) return CR_INVALID_FLAG;
    if (!node_exists(dnDevInst)) return CR_INVALID_DEVNODE;
    std::u16string id = instance_id(dnDevInst);
    // Without room for the NUL, as much of the id as fits, unterminated.
    if (BufferLen < id.size() + 1) {
        std::memcpy(Buffer, id.data(), BufferLen * sizeof(WCHAR));
        return CR_BUFFER_SMALL;
    }
    std::memcpy(Buffer, id.c_str(), (id.size() + 1) * sizeof(WCHAR));
    return CR_SUCCESS;
}

CONFIGRET WINAPI CM_Get_DevNode_Registry_PropertyW(DEVINST dnDevInst, ULONG ulProperty, PULONG pulRegDataType,
                                                   PVOID Buffer, PULONG pulLength, ULONG ulFlags) {
    if (DWORD error = injected_failure("CM_Get_DevNode_Registry_PropertyW", kCrFailure)) return error;
    if (pulLength == nullptr || (Buffer == nullptr && *pulLength != 0)) return CR_INVALID_POINTER;
    if (ulFlags != 0) return CR_INVALID_FLAG;
    if (!node_exists(dnDevInst)) return CR_INVALID_DEVNODE;
    if (ulProperty < CM_DRP_DEVICEDESC || ulProperty > kCmDrpMax) return kCrInvalidProperty;
    sim::IdList ids = ids_of(dnDevInst, ulProperty);
    if (!ids) return CR_NO_SUCH_VALUE;
    std::string bytes = multi_sz(*ids);
    if (pulRegDataType != nullptr) *pulRegDataType = REG_MULTI_SZ;
    ULONG offered = *pulLength;
    *pulLength = static_cast<ULONG>(bytes.size());
    if (offered < bytes.size()) return CR_BUFFER_SMALL;
    std::memcpy(Buffer, bytes.data(), bytes.size());
    return CR_SUCCESS;
}

HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD, LPSECURITY_ATTRIBUTES,
                          DWORD dwCreationDisposition, DWORD, HANDLE) {
    if (sim::call_fails("CreateFileW")) return INVALID_HANDLE_VALUE;
    if (lpFileName == nullptr) return fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    // The only files of this computer are its USB printing devices.
    std::u16string name = sim::text_of(lpFileName);
    const sim::UsbInterface* iface = nullptr;
    for (const sim::UsbInterface& candidate : devices().usb.interfaces) {
        if (candidate.path && sim::equal_ascii_nocase(*candidate.path, name)) {
            iface = &candidate;
            break;
        }
    }
    if (iface == nullptr) return fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    if (dwCreationDisposition != OPEN_EXISTING) return fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    const std::optional<sim::DeviceAnswer>* answer = dwDesiredAccess == 0              ? &iface->device_id.access_0
                                                     : dwDesiredAccess == GENERIC_READ ? &iface->device_id.generic_read
                                                                                       : nullptr;
    if (answer == nullptr || !answer->has_value()) return fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
    uintptr_t value = new_handle();
    tables().handles[value] = **answer;
    // Audited under the handle itself, so that CloseHandle closes it.
    sim::track(reinterpret_cast<HANDLE>(value), sim::ResourceKind::device_handle, sim::utf16_to_utf8(name));
    return reinterpret_cast<HANDLE>(value);
}

BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID, DWORD, LPVOID lpOutBuffer,
                            DWORD nOutBufferSize, LPDWORD lpBytesReturned, LPOVERLAPPED lpOverlapped) {
    if (lpBytesReturned != nullptr) *lpBytesReturned = 0;
    if (sim::call_fails("DeviceIoControl")) return FALSE;
    auto device = tables().handles.find(reinterpret_cast<uintptr_t>(hDevice));
    if (!sim::is_open(hDevice, sim::ResourceKind::device_handle) || device == tables().handles.end()) {
        return fail(ERROR_INVALID_HANDLE);
    }
    if (lpBytesReturned == nullptr && lpOverlapped == nullptr) return fail(ERROR_INVALID_PARAMETER);
    if (dwIoControlCode != IOCTL_USBPRINT_GET_1284_ID) return fail(ERROR_INVALID_FUNCTION);
    const sim::DeviceAnswer& answer = device->second;
    if (answer.ioctl_error != 0) return fail(answer.ioctl_error);
    if (lpOutBuffer == nullptr || nOutBufferSize == 0) return fail(ERROR_INSUFFICIENT_BUFFER);
    // The driver asks the device for as many bytes as the buffer holds; a
    // longer ID arrives cut, its length bytes still telling the whole length.
    DWORD count = answer.bytes.size() < nOutBufferSize ? static_cast<DWORD>(answer.bytes.size()) : nOutBufferSize;
    std::memcpy(lpOutBuffer, answer.bytes.data(), count);
    if (lpBytesReturned != nullptr) *lpBytesReturned = count;
    return TRUE;
}

}  // extern "C"
