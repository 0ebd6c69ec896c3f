// The simulated SetupAPI: device lists by class, enumerator or interface,
// the USB printing interfaces and their details, device properties, and the
// registry keys of interfaces and devices. cbSize checks and errors are those
// of Windows.
#include <usbprint.h>

#include <cstddef>
#include <cstring>

#include "device_model.h"

using namespace sim;

namespace {


constexpr DWORD kNoSuchDeviceInterface = 0xE0000225;  // ERROR_NO_SUCH_DEVICE_INTERFACE
constexpr DWORD kInvalidFlags = 1004;                 // ERROR_INVALID_FLAGS
constexpr DWORD kSpintActive = 0x00000001;
constexpr DWORD kSpdrpMaximum = 0x24;
constexpr DWORD kDicsFlagConfigSpecific = 0x00000002;
constexpr DWORD kDiregDrv = 0x00000002;
constexpr DWORD kDiodFlags = 0x00000002 | 0x00000004;  // DIOD_INHERIT_CLASSDRVS | DIOD_CANCEL_REMOVE
const HKEY kNoKey = reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE);

// Windows packs the setup records to 8 bytes on 64-bit and to 1 byte on
// 32-bit, so the detail record's fixed part measures 8 or 6 bytes.
constexpr DWORD kDetailFixedSize = [] {
    size_t size = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) + sizeof(WCHAR);
    size_t align = sizeof(void*) == 8 ? alignof(DWORD) : 1;
    return static_cast<DWORD>((size + align - 1) / align * align);
}();

bool same_guid(const GUID& a, const GUID& b) {
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

bool in_enumerator(DEVINST node, const std::u16string& enumerator) {
    return starts_with_ascii_nocase(instance_id(node), enumerator + u"\\");
}

HDEVINFO new_list(const std::string& label, std::vector<DEVINST> members) {
    uintptr_t value = new_handle();
    DeviceTables::List& list = tables().lists[value];
    list.label = label;
    list.members = std::move(members);
    track(&list, ResourceKind::device_list, label);
    return reinterpret_cast<HDEVINFO>(value);
}

DeviceTables::List* list_of(HDEVINFO handle) {
    auto it = tables().lists.find(reinterpret_cast<uintptr_t>(handle));
    return it == tables().lists.end() ? nullptr : &it->second;
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
const UsbInterface* interface_in(const DeviceTables::List& list, const SP_DEVICE_INTERFACE_DATA* data, DEVINST* node) {
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
    if (call_fails("SetupDiGetClassDevsW")) return INVALID_HANDLE_VALUE;
    bool all_classes = (Flags & DIGCF_ALLCLASSES) != 0;
    if (ClassGuid == nullptr && !all_classes) return fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    std::u16string enumerator = text_of(Enumerator);
    std::vector<DEVINST> members;
    if ((Flags & DIGCF_DEVICEINTERFACE) != 0) {
        // The devices exposing an interface of the class; the enumerator, if
        // any, narrows them to one enumerator or one device instance.
        bool usbprint = all_classes || same_guid(*ClassGuid, GUID_DEVINTERFACE_USBPRINT);
        if (usbprint && devices().usb.list_error != 0) return fail(devices().usb.list_error, INVALID_HANDLE_VALUE);
        for (size_t i = 0; usbprint && i < devices().usb.interfaces.size(); ++i) {
            DEVINST node = node_of(kUsbDevice, i);
            if (enumerator.empty() || in_enumerator(node, enumerator) ||
                equal_ascii_nocase(instance_id(node), enumerator)) {
                members.push_back(node);
            }
        }
        return new_list(usbprint ? "USB printing interfaces" : "device interfaces", std::move(members));
    }
    if (!enumerator.empty()) {
        // An enumerator no driver registered is refused, as on Windows.
        bool known = false;
        for (const char16_t* name : {u"USB", u"USBPRINT", u"LPTENUM", u"ACPI", u"ROOT"})
            known |= equal_ascii_nocase(enumerator, name);
        if (!known) return fail(ERROR_INVALID_DATA, INVALID_HANDLE_VALUE);
        if (equal_ascii_nocase(enumerator, u"LPTENUM") && devices().lpt.list_error != 0) {
            return fail(devices().lpt.list_error, INVALID_HANDLE_VALUE);
        }
    }
    for (DEVINST node : all_nodes()) {
        if ((all_classes || same_guid(class_of(node), *ClassGuid)) &&
            (enumerator.empty() || in_enumerator(node, enumerator))) {
            members.push_back(node);
        }
    }
    return new_list(enumerator.empty() ? "devices" : utf16_to_utf8(enumerator), std::move(members));
}

HDEVINFO WINAPI SetupDiCreateDeviceInfoList(const GUID*, HWND) {
    if (call_fails("SetupDiCreateDeviceInfoList")) return INVALID_HANDLE_VALUE;
    return new_list("created", {});
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) {
    if (call_fails("SetupDiDestroyDeviceInfoList")) return FALSE;
    DeviceTables::List* list = list_of(DeviceInfoSet);
    if (list == nullptr) return fail(ERROR_INVALID_HANDLE);
    untrack(list);
    tables().lists.erase(reinterpret_cast<uintptr_t>(DeviceInfoSet));
    overwrite_last_error();
    return TRUE;
}

BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                        const GUID* InterfaceClassGuid, DWORD MemberIndex,
                                        PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData) {
    if (call_fails("SetupDiEnumDeviceInterfaces")) return FALSE;
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
    if (!same_guid(*InterfaceClassGuid, GUID_DEVINTERFACE_USBPRINT)) return fail(ERROR_NO_MORE_ITEMS);
    // A listing that breaks off part-way (a device removed meanwhile, a driver fault).
    const std::optional<EnumFailure>& broken = devices().usb.enum_error_at;
    if (broken && MemberIndex == broken->index) return fail(broken->error);
    if (MemberIndex >= exposing.size()) {
        return fail(ERROR_NO_MORE_ITEMS);
    }
    DeviceInterfaceData->InterfaceClassGuid = GUID_DEVINTERFACE_USBPRINT;
    DeviceInterfaceData->Flags = kSpintActive;
    DeviceInterfaceData->Reserved = exposing[MemberIndex];
    return TRUE;
}

HKEY WINAPI SetupDiOpenDeviceInterfaceRegKey(HDEVINFO DeviceInfoSet, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
                                             DWORD Reserved, REGSAM) {
    if (call_fails("SetupDiOpenDeviceInterfaceRegKey")) return kNoKey;
    DeviceTables::List* list = list_of(DeviceInfoSet);
    if (list == nullptr) return fail(ERROR_INVALID_HANDLE, kNoKey);
    DEVINST node = 0;
    const UsbInterface* iface = interface_in(*list, DeviceInterfaceData, &node);
    if (iface == nullptr || Reserved != 0) return fail(ERROR_INVALID_PARAMETER, kNoKey);
    if (iface->no_key) return fail(ERROR_FILE_NOT_FOUND, kNoKey);
    std::vector<std::pair<std::u16string, RegValue>> values;
    if (iface->port_number) values.emplace_back(u"Port Number", *iface->port_number);
    if (iface->base_name) values.emplace_back(u"Base Name", *iface->base_name);
    return new_key(utf16_to_utf8(instance_id(node)) + " interface", std::move(values));
}

BOOL WINAPI SetupDiGetDeviceInterfaceDetailW(HDEVINFO DeviceInfoSet, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
                                             PSP_DEVICE_INTERFACE_DETAIL_DATA_W DeviceInterfaceDetailData,
                                             DWORD DeviceInterfaceDetailDataSize, PDWORD RequiredSize,
                                             PSP_DEVINFO_DATA DeviceInfoData) {
    if (call_fails("SetupDiGetDeviceInterfaceDetailW")) return FALSE;
    DeviceTables::List* list = list_of(DeviceInfoSet);
    if (list == nullptr) return fail(ERROR_INVALID_HANDLE);
    DEVINST node = 0;
    const UsbInterface* iface = interface_in(*list, DeviceInterfaceData, &node);
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
    if (call_fails("SetupDiGetDeviceRegistryPropertyW")) return FALSE;
    DeviceTables::List* list = list_of(DeviceInfoSet);
    if (list == nullptr) return fail(ERROR_INVALID_HANDLE);
    DEVINST node = 0;
    if (!device_in(*list, DeviceInfoData, &node)) return fail(ERROR_INVALID_PARAMETER);
    if (PropertyBuffer == nullptr && PropertyBufferSize != 0) return fail(ERROR_INVALID_USER_BUFFER);
    if (Property >= kSpdrpMaximum) return fail(ERROR_INVALID_REG_PROPERTY);
    IdList ids = ids_of(node, Property + 1);    // the configuration manager counts from 1
    if (!ids) return fail(ERROR_INVALID_DATA);  // what Windows says of a property the device lacks
    std::string bytes = multi_sz(*ids);
    if (PropertyRegDataType != nullptr) *PropertyRegDataType = REG_MULTI_SZ;
    if (RequiredSize != nullptr) *RequiredSize = static_cast<DWORD>(bytes.size());
    if (PropertyBufferSize < bytes.size()) return fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(PropertyBuffer, bytes.data(), bytes.size());
    return TRUE;
}

BOOL WINAPI SetupDiEnumDeviceInfo(HDEVINFO DeviceInfoSet, DWORD MemberIndex, PSP_DEVINFO_DATA DeviceInfoData) {
    if (call_fails("SetupDiEnumDeviceInfo")) return FALSE;
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
    if (call_fails("SetupDiOpenDeviceInfoW")) return FALSE;
    DeviceTables::List* list = list_of(DeviceInfoSet);
    if (list == nullptr) return fail(ERROR_INVALID_HANDLE);
    if (DeviceInstanceId == nullptr) return fail(ERROR_INVALID_PARAMETER);
    if ((OpenFlags & ~kDiodFlags) != 0) return fail(kInvalidFlags);
    if (DeviceInfoData != nullptr && DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA)) {
        return fail(ERROR_INVALID_USER_BUFFER);
    }
    std::u16string wanted = text_of(DeviceInstanceId);
    for (DEVINST node : all_nodes()) {
        if (!equal_ascii_nocase(instance_id(node), wanted)) continue;
        if (!is_member(*list, node)) list->members.push_back(node);
        if (DeviceInfoData != nullptr) fill_device(DeviceInfoData, node, DeviceInfoSet);
        return TRUE;
    }
    return fail(ERROR_NO_SUCH_DEVINST);
}

HKEY WINAPI SetupDiOpenDevRegKey(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData, DWORD Scope, DWORD,
                                 DWORD KeyType, REGSAM) {
    if (call_fails("SetupDiOpenDevRegKey")) return kNoKey;
    DeviceTables::List* list = list_of(DeviceInfoSet);
    if (list == nullptr) return fail(ERROR_INVALID_HANDLE, kNoKey);
    DEVINST node = 0;
    if (!device_in(*list, DeviceInfoData, &node)) return fail(ERROR_INVALID_PARAMETER, kNoKey);
    if ((Scope != DICS_FLAG_GLOBAL && Scope != kDicsFlagConfigSpecific) ||
        (KeyType != DIREG_DEV && KeyType != kDiregDrv)) {
        return fail(kInvalidFlags, kNoKey);
    }
    // Only a parallel port's hardware key holds a value the simulator knows.
    std::vector<std::pair<std::u16string, RegValue>> values;
    if (kind_of(node) == kLptParent && KeyType == DIREG_DEV) {
        const LptParent& parent = *devices().lpt.devices[index_of(node)].parent;
        if (parent.port_name) values.emplace_back(u"PortName", *parent.port_name);
    }
    return new_key(utf16_to_utf8(instance_id(node)) + (KeyType == DIREG_DEV ? " device" : " driver"),
                   std::move(values));
}

}  // extern "C"
