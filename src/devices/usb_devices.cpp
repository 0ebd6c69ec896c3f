#include <windows.h>
// clang-format off
#include <cfgmgr32.h>
#include <setupapi.h>
#include <initguid.h>  // GUID_DEVINTERFACE_USBPRINT is defined here, declared elsewhere
#include <usbprint.h>
// clang-format on
#include <stdlib.h>
#include <string.h>

#include "base/memory.h"
#include "base/wide.h"
#include "devices/device_inventory.h"

namespace {

// An id list (REG_MULTI_SZ) as read here: offered two units short of the
// room, so that it always ends in two NULs.
const int kIdListUnits = 1024;

// The port monitor names a USB printing device's port "Base Name" followed by
// "Port Number" in at least three digits: USB001.
// `base` is at most kBaseNameRoom - 1 units: with the ten digits of the
// largest number it fits the port's room (DEVICE_PORT_ROOM).
const int kBaseNameRoom = 16;

void format_port(WCHAR* port, const WCHAR* base, DWORD number) {
    static_assert(kBaseNameRoom - 1 + 10 < DEVICE_PORT_ROOM, "a base name and ten digits fit a port name");
    WCHAR digits[11];
    int count = 0;
    do {
        digits[count++] = static_cast<WCHAR>(L'0' + number % 10);
        number /= 10;
    } while (number != 0);
    while (count < 3) digits[count++] = L'0';
    size_t length = 0;
    for (const WCHAR* p = base; *p != 0; ++p) port[length++] = *p;
    while (count > 0) port[length++] = digits[--count];
    port[length] = 0;
}

void read_port_name(HDEVINFO list, SP_DEVICE_INTERFACE_DATA* interface_data, UsbDevice* device) {
    HKEY key = SetupDiOpenDeviceInterfaceRegKey(list, interface_data, 0, KEY_READ);
    if (key == reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE)) return;

    DWORD number = 0;
    DWORD type = 0;
    DWORD size = sizeof number;
    bool have_number = RegQueryValueExW(key, L"Port Number", nullptr, &type, reinterpret_cast<LPBYTE>(&number),
                                        &size) == ERROR_SUCCESS &&
                       type == REG_DWORD;

    WCHAR base[kBaseNameRoom] = L"USB";
    size = sizeof base - sizeof base[0];  // the last unit stays for the NUL
    if (RegQueryValueExW(key, L"Base Name", nullptr, &type, reinterpret_cast<LPBYTE>(base), &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        wide_copy(base, sizeof base / sizeof base[0], L"USB");
    }
    base[sizeof base / sizeof base[0] - 1] = 0;

    if (have_number) format_port(device->port, base, number);
    RegCloseKey(key);
}

void read_ids_and_path(HDEVINFO list, SP_DEVICE_INTERFACE_DATA* interface_data, UsbDevice* device) {
    DWORD size = 0;
    SetupDiGetDeviceInterfaceDetailW(list, interface_data, nullptr, 0, &size, nullptr);
    if (size == 0) return;
    SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(allocate(size));
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    SP_DEVINFO_DATA device_data;
    memset(&device_data, 0, sizeof device_data);
    device_data.cbSize = sizeof device_data;
    if (SetupDiGetDeviceInterfaceDetailW(list, interface_data, detail, size, nullptr, &device_data)) {
        // Two units short of the room: the list always ends in two NULs.
        WCHAR ids[512];
        memset(ids, 0, sizeof ids);
        if (SetupDiGetDeviceRegistryPropertyW(list, &device_data, SPDRP_HARDWAREID, nullptr,
                                              reinterpret_cast<PBYTE>(ids), sizeof ids - 2 * sizeof ids[0], nullptr)) {
            wide_copy(device->hwid, DEVICE_ID_ROOM, ids);
        }
        if (wide_length(detail->DevicePath) <= DEVICE_PATH_ROOM - 2) {
            wide_copy(device->path, DEVICE_PATH_ROOM, detail->DevicePath);
        }
        DEVINST child = 0;
        if (CM_Get_Child(&child, device_data.DevInst, 0) == CR_SUCCESS) {
            find_pnp_id(child, L"USBPRINT\\", device->pnp);
        }
    }
    free(detail);
}

// Reads one NUL-separated id list of a device node into `ids` (kIdListUnits).
bool read_id_list(DEVINST node, ULONG property, WCHAR* ids) {
    memset(ids, 0, kIdListUnits * sizeof(WCHAR));
    ULONG length = (kIdListUnits - 2) * sizeof(WCHAR);
    return CM_Get_DevNode_Registry_PropertyW(node, property, nullptr, ids, &length, 0) == CR_SUCCESS && ids[0] != 0;
}

}  // namespace

void find_pnp_id(DWORD node, const WCHAR* prefix, WCHAR* destination) {
    destination[0] = 0;
    WCHAR ids[kIdListUnits];
    if (read_id_list(node, CM_DRP_COMPATIBLEIDS, ids)) {
        size_t prefix_length = wide_length(prefix);
        for (size_t at = 0; at < kIdListUnits - 4 && ids[at] != 0; at += wide_length(ids + at) + 1) {
            if (wide_equal_nocase_n(ids + at, prefix, prefix_length)) {
                wide_copy(destination, DEVICE_ID_ROOM, ids + at);
                return;
            }
        }
    }
    if (read_id_list(node, CM_DRP_HARDWAREID, ids)) wide_copy(destination, DEVICE_ID_ROOM, ids);
}

void collect_usb_devices(DeviceInventory* devices) {
    devices->usb_count = 0;
    devices->usb_cut = 0;
    devices->usb_ok = FALSE;
    HDEVINFO list = SetupDiGetClassDevsW(&GUID_DEVINTERFACE_USBPRINT, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (list == INVALID_HANDLE_VALUE) return;

    devices->usb_ok = TRUE;
    int dropped = 0;
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA interface_data;
        memset(&interface_data, 0, sizeof interface_data);
        interface_data.cbSize = sizeof interface_data;
        if (!SetupDiEnumDeviceInterfaces(list, nullptr, &GUID_DEVINTERFACE_USBPRINT, index, &interface_data)) {
            // Only the end of the list ends it well: a listing cut short could
            // miss the device behind a port that would then pass for empty.
            if (GetLastError() != ERROR_NO_MORE_ITEMS) devices->usb_ok = FALSE;
            break;
        }
        // Past the room the devices are counted, not held: a cut list is no
        // complete one.
        if (devices->usb_count == MAX_USB_DEVICES) {
            ++devices->usb_cut;
            continue;
        }

        UsbDevice* device = &devices->usb_devices[devices->usb_count];
        memset(device, 0, sizeof *device);
        device->port_status = PORT_STATUS_UNKNOWN;
        read_port_name(list, &interface_data, device);
        read_ids_and_path(list, &interface_data, device);
        // Without a port name the entry is useless, and a port "USBnnn" could
        // belong to it: the listing is then incomplete.
        if (device->port[0] != 0) {
            ++devices->usb_count;
        } else {
            ++dropped;
        }
    }
    SetupDiDestroyDeviceInfoList(list);
    if (dropped > 0 || devices->usb_cut > 0) devices->usb_ok = FALSE;
}

UsbDevice* device_on_port(DeviceInventory* devices, const WCHAR* port) {
    for (int i = 0; port != nullptr && i < devices->usb_count; ++i) {
        if (wide_equal_nocase(port, devices->usb_devices[i].port)) return &devices->usb_devices[i];
    }
    return nullptr;
}

int usb_port_presence(const DeviceInventory& devices, const WCHAR* port) {
    // "USB" and one or more digits, nothing else; the comparison stops at the
    // first unit that differs, a short name's NUL included.
    bool usb_name = port != nullptr && wide_equal_nocase_n(port, L"USB", 3) && port[3] != 0;
    for (int i = 3; usb_name && port[i] != 0; ++i) usb_name = port[i] >= L'0' && port[i] <= L'9';
    if (!usb_name || !devices.usb_ok) return -1;  // cannot be told
    for (int i = 0; i < devices.usb_count; ++i) {
        if (wide_equal_nocase(port, devices.usb_devices[i].port)) return 1;
    }
    return 0;
}
