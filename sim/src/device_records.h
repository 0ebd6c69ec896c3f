// The simulated device manager's records, as a scenario scripts them: the
// USB printing interfaces with their registry values, ids and answers, the
// devices on parallel ports, and the registry values they share with the
// Standard TCP/IP port keys.
#pragma once

#include <windows.h>

#include "escpos.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace sim {

// A registry value as stored: its type and its bytes (strings in UTF-16 with
// their terminating NUL, numbers little-endian), so a value of any type can
// hold any bytes, as on Windows.
struct RegValue {
    DWORD type = REG_NONE;
    std::string data;
};
RegValue reg_dword(DWORD number);
RegValue reg_sz(const std::u16string& text);

// A Standard TCP/IP port's key under HKLM\...\Monitors\Standard TCP/IP Port\Ports.
struct TcpPortKey {
    std::vector<std::pair<std::u16string, RegValue>> values;  // a value not listed is missing
    DWORD open_error = 0;                                     // RegOpenKeyExW fails with it
};

// A device's id list (REG_MULTI_SZ); unset: the property cannot be read.
using IdList = std::optional<std::vector<std::u16string>>;

// What a request gives: IOCTL_USBPRINT_GET_1284_ID on a device opened with
// one access mode, or IOCTL_USBPRINT_GET_LPT_STATUS.
struct DeviceAnswer {
    std::string bytes;      // the device ID with its two length bytes, or the status byte, as the device sends it
    DWORD ioctl_error = 0;  // the request fails with it; 0 = it answers `bytes`
};

// The answers per access mode of CreateFileW; unset: the open fails.
struct DeviceIdAnswers {
    std::optional<DeviceAnswer> access_0;
    std::optional<DeviceAnswer> generic_read;
};

// The printer device node a USB printing device carries as its first child.
struct UsbChild {
    IdList compatible_ids;
    IdList hardware_ids;
};

// One device interface of GUID_DEVINTERFACE_USBPRINT and the device exposing it.
struct UsbInterface {
    std::optional<RegValue> port_number;  // "Port Number"; unset: missing
    std::optional<RegValue> base_name;    // "Base Name"; unset: missing
    bool no_key = false;                  // SetupDiOpenDeviceInterfaceRegKey fails
    std::optional<std::u16string> path;   // unset: the detail call fails
    IdList hardware_ids;                  // of the USB device
    std::optional<UsbChild> child;        // unset: CM_Get_Child fails
    // Unset: every open works and the 1284 request fails with ERROR_INVALID_FUNCTION.
    std::optional<DeviceIdAnswers> device_id;
    std::optional<DeviceAnswer> lpt_status;  // unset: the request fails with ERROR_INVALID_FUNCTION
    EscposRules escpos;                      // what it answers when written to; default: never
};

// The port device node a parallel device hangs on.
struct LptParent {
    std::optional<RegValue> port_name;  // "PortName" of its hardware key; unset: missing
};

// A device of the enumerator LPTENUM.
struct LptDevice {
    IdList compatible_ids;
    IdList hardware_ids;
    std::optional<LptParent> parent;  // unset: CM_Get_Parent fails
};

// SetupDiEnumDeviceInterfaces failing part-way through the listing.
struct EnumFailure {
    DWORD index = 0;  // the member index whose call fails
    DWORD error = 0;
};

struct UsbDevices {
    DWORD list_error = 0;                  // SetupDiGetClassDevsW of the interface class fails with it
    std::optional<EnumFailure> enum_error_at;  // unset: ERROR_NO_MORE_ITEMS after the last interface
    std::vector<UsbInterface> interfaces;  // in listing order
};

struct LptDevices {
    DWORD list_error = 0;            // SetupDiGetClassDevsW of the enumerator LPTENUM fails with it
    std::vector<LptDevice> devices;  // in listing order
};

}  // namespace sim
