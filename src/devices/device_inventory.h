// The device manager's view of this computer: the USB printing devices
// present now with their spooler port names, what they say about themselves,
// and the devices detected on parallel ports.
#pragma once

#include <windows.h>

#include "inventory/printer_inventory.h"

enum : int {
    MAX_USB_DEVICES = 32,
    MAX_PARALLEL_PORTS = 8,
    DEVICE_PORT_ROOM = 32,
    DEVICE_ID_ROOM = 128,
    DEVICE_PATH_ROOM = 300,
    DEVICE_NAME_TEXT_ROOM = 64,  // manufacturer and model
    COMMAND_SET_ROOM = 96,
};

// What the device ID query got from a device.
enum : int { DEVICE_ID_NOT_ASKED = 0, DEVICE_ID_NO_ANSWER = 1, DEVICE_ID_ANSWERED = 2 };

// The USB printer class's status byte (GET_PORT_STATUS), as the printer
// itself reports it without being sent anything; PORT_STATUS_UNKNOWN when
// not asked or not answered (many printers do not support it).
enum : int {
    PORT_STATUS_UNKNOWN = -1,
    PORT_STATUS_NO_ERROR = 0x08,
    PORT_STATUS_SELECTED = 0x10,
    PORT_STATUS_PAPER_EMPTY = 0x20,
};

struct UsbDevice {
    WCHAR port[DEVICE_PORT_ROOM];  // e.g. USB001; never empty in a valid entry
    WCHAR hwid[DEVICE_ID_ROOM];    // first hardware id of the USB device
    WCHAR pnp[DEVICE_ID_ROOM];     // an id of its printer child, "USBPRINT\..." preferred
    WCHAR path[DEVICE_PATH_ROOM];  // interface path to open; empty when too long
    char mfg[DEVICE_NAME_TEXT_ROOM];
    char mdl[DEVICE_NAME_TEXT_ROOM];
    char cmd[COMMAND_SET_ROOM];
    int asked;
    int port_status;  // the class status byte, or PORT_STATUS_UNKNOWN
};

struct ParallelPort {
    WCHAR port[DEVICE_PORT_ROOM];  // e.g. LPT1; may be empty
    WCHAR pnp[DEVICE_ID_ROOM];     // never empty in a valid entry
};

struct DeviceInventory {
    BOOL usb_ok;  // the last USB listing was complete
    int usb_count;
    int usb_cut;  // devices left out: more than MAX_USB_DEVICES were listed
    UsbDevice usb_devices[MAX_USB_DEVICES];
    int lpt_count;
    ParallelPort lpt_ports[MAX_PARALLEL_PORTS];
};

// Empties and refills the USB half.
void collect_usb_devices(DeviceInventory* devices);

// 1 when a USB printing device holds exactly this port name, 0 when the name
// is "USB" and digits and none does, -1 when that cannot be told.
int usb_port_presence(const DeviceInventory& devices, const WCHAR* port);

// Writes into `destination` (DEVICE_ID_ROOM units) the node's first
// compatible id that begins with `prefix`, else its first hardware id, else "".
void find_pnp_id(DWORD node, const WCHAR* prefix, WCHAR* destination);

// Empties and refills the parallel half.
void collect_parallel_ports(DeviceInventory* devices);

// Asks every USB device for its IEEE 1284 device ID, unless a real local
// queue holds a job (then none is opened), and for its class status, which
// sends the printer nothing and is asked even then.
void query_device_ids(DeviceInventory* devices, const PrinterInventory& printers);
void read_device_id(UsbDevice* device);
void read_port_status(UsbDevice* device);

// The device that holds this port; null when none does.
UsbDevice* device_on_port(DeviceInventory* devices, const WCHAR* port);

// Stores what a device answered to the 1284 request: manufacturer, model and
// command set as printable ASCII without blanks at either end.
void store_device_id_answer(const BYTE* answer, DWORD returned, UsbDevice* device);
