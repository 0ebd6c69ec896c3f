// The report's findings about what could not be read, and about what the
// printers say of themselves: said first, since the rest is judged on them.
#pragma once

#include "devices/device_inventory.h"
#include "inventory/printer_inventory.h"
#include "network/net_ports.h"
#include "output/text_buffer.h"

// Each writes its findings and returns how many.
int append_spooler_finding(TextBuffer* text, const PrinterInventory& printers);
int append_port_status_findings(TextBuffer* text, const DeviceInventory& devices);
int append_usb_finding(TextBuffer* text, const DeviceInventory& devices);
int append_unchecked_network_finding(TextBuffer* text, const NetPorts* ports);
