// Everything the list and the report show, gathered in the order each part
// needs the ones before it: the devices, the printers, the network ports the
// queues print to. Above the layers it gathers from, below the renderers.
#pragma once

#include "devices/device_inventory.h"
#include "inventory/printer_inventory.h"
#include "network/net_ports.h"

struct Survey {
    DeviceInventory devices;
    PrinterInventory printers;
    NetPorts* network;
};

// Gathers the USB devices, the parallel ports, the printers and their network
// ports, in that order. With `ask_printers` the printers themselves are asked
// too: each USB device for its device ID (which looks at the printers to decide
// whether the devices may be opened at all), each network printer whether it
// answers. free_survey frees it.
void survey_computer(bool ask_printers, Survey* survey);
void free_survey(Survey* survey);
