// The device model the simulated SetupAPI, configuration manager, registry
// and device I/O share: device nodes and their instance ids, id lists, and
// the tables of lists, keys and handles the program holds.
#pragma once

#include <cfgmgr32.h>
#include <setupapi.h>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "computer.h"
#include "escpos.h"

namespace sim {

// An event object (CreateEventW); its handle is the record's address.
struct Event {
    bool manual_reset = true;
    bool signalled = false;
};

// A read on a device waiting for the printer's answer, with the program's
// record and buffer it completes into.
struct PendingRead {
    OVERLAPPED* overlapped = nullptr;
    char* buffer = nullptr;
    DWORD room = 0;
    std::optional<ULONGLONG> cancelled_at;  // CancelIoEx asked for it then
};

// An open device handle.
struct DeviceOpen {
    size_t iface = 0;         // its interface's index
    DeviceAnswer device_id;   // what IOCTL_USBPRINT_GET_1284_ID answers on this open
    bool read_write = false;  // GENERIC_READ | GENERIC_WRITE: it talks to the printer
    bool overlapped = false;  // FILE_FLAG_OVERLAPPED
    std::deque<PendingRead> reads;  // in the order they were made
};

// What the program holds open. Handles are small values that are never
// reused, so a closed one stays invalid; lists and keys are audited under
// their record's address, so CloseHandle cannot close them by mistake.
// Events are records kept until the next computer, so no later one takes a
// closed one's address.
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
    // A printer's side of the bytes, by interface index, from its first open for writing.
    std::map<size_t, Conversation> conversations;
    std::vector<std::unique_ptr<Event>> events;
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

// Events (events.cpp): the open event a handle names, else null; setting and
// resetting one does nothing to a handle that names none.
Event* event_of(HANDLE handle);
void set_event(HANDLE handle);
void reset_event(HANDLE handle);

// Overlapped reads and writes on devices (device_stream.cpp), as ReadFile,
// WriteFile, CloseHandle and the waits reach them.
DeviceOpen* device_of(HANDLE handle);  // the open device a handle names, else null
BOOL device_write(HANDLE handle, LPCVOID bytes, DWORD count, LPOVERLAPPED overlapped);
BOOL device_read(HANDLE handle, LPVOID buffer, DWORD room, LPDWORD got, LPOVERLAPPED overlapped);
// Completes the reads whose bytes have arrived by now, and those cancelled
// before now; `waited`: a wait looks, and cancelled ones complete at once.
void settle_device_io(bool waited);
// When a wait for the event ends: now when it is set, else when the first
// read that sets it completes; unset: never.
std::optional<ULONGLONG> event_ready_at(HANDLE event);
// A handle closed, or the process ended: its reads are dropped without
// touching the program's records and buffers again.
void drop_device_reads(HANDLE handle);
void drop_all_device_reads();

}  // namespace sim
