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

struct UsbDevice {
    WCHAR port[DEVICE_PORT_ROOM];  // e.g. USB001; never empty in a valid entry
    WCHAR hwid[DEVICE_ID_ROOM];    // first hardware id of the USB device
    WCHAR pnp[DEVICE_ID_ROOM];     // an id of its printer child, "USBPRINT\..." preferred
    WCHAR path[DEVICE_PATH_ROOM];  // interface path to open; empty when too long
    char mfg[DEVICE_NAME_TEXT_ROOM];
    char mdl[DEVICE_NAME_TEXT_ROOM];
    char cmd[COMMAND_SET_ROOM];
    int asked;
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
// queue holds a job (then none is opened).
void query_device_ids(DeviceInventory* devices, const PrinterInventory& printers);
void read_device_id(UsbDevice* device);

// Stores what a device answered to the 1284 request: manufacturer, model and
// command set as printable ASCII without blanks at either end.
void store_device_id_answer(const BYTE* answer, DWORD returned, UsbDevice* device);
