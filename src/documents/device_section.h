// The device section of the list and watch documents.
#pragma once

#include "devices/device_inventory.h"
#include "output/text_buffer.h"

// The members "usb_ok", "usb" and "lpt", without braces or outer commas.
void append_device_section(TextBuffer* buffer, const DeviceInventory& devices);

// ,"port_status": a USB printer's class status, or null when not had.
void append_port_status(TextBuffer* buffer, int port_status);
