// The device model the simulated SetupAPI, configuration manager, registry
// and device I/O share: device nodes and their instance ids, id lists, and
// the tables of lists, keys and handles the program holds.
#pragma once

#include <cfgmgr32.h>
#include <setupapi.h>

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "computer.h"

namespace sim {

// An open device handle.
struct DeviceOpen {
    size_t iface = 0;        // its interface's index
    DeviceAnswer device_id;  // what IOCTL_USBPRINT_GET_1284_ID answers on this open
};

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
    std::map<uintptr_t, DeviceOpen> handles;
};

DeviceTables& tables();
// A new handle value for a list, a key or a device.
uintptr_t new_handle();
// Opens a key holding these values, audited as "registry key <label>"; the
// device manager's keys and the TCP/IP port keys alike.
HKEY new_key(const std::string& label, std::vector<std::pair<std::u16string, RegValue>> values);

// Device nodes: the kind in the high half, the model's index + 1 in the low.
enum NodeKind : DEVINST { kUsbDevice = 1, kUsbChild = 2, kLptDevice = 3, kLptParent = 4 };

inline DEVINST node_of(NodeKind kind, size_t index) { return (kind << 16) | static_cast<DEVINST>(index + 1); }
inline NodeKind kind_of(DEVINST node) { return static_cast<NodeKind>(node >> 16); }
inline size_t index_of(DEVINST node) { return (node & 0xFFFF) - 1; }

inline const Devices& devices() { return computer().devices; }

bool node_exists(DEVINST node);
// Every node, each parent before its child.
std::vector<DEVINST> all_nodes();
// USB\DEVICE\1, USBPRINT\PRINTER\1, LPTENUM\PRINTER\1, ACPI\PNP0401\1.
std::u16string instance_id(DEVINST node);
const GUID& class_of(DEVINST node);

// A node's id list for CM_DRP_HARDWAREID or CM_DRP_COMPATIBLEIDS; unset when
// the node has no such list or it cannot be read.
IdList ids_of(DEVINST node, ULONG property);
// REG_MULTI_SZ: each id with its NUL, then the NUL that ends the list.
std::string multi_sz(const std::vector<std::u16string>& ids);

// Registry and configuration manager calls answer with their result and
// leave the thread's last error alone, also when a test makes them fail:
// the injected error (or `fallback` for none), 0 when the call goes on.
DWORD injected_failure(const char* function, DWORD fallback);

}  // namespace sim
