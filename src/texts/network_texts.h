// What the report says of a queue that prints over the network.
#pragma once

#include "inventory/printer_inventory.h"
#include "network/net_ports.h"
#include "output/text_buffer.h"

// The line under a queue's port: where the port points, and what answered there.
void append_net_port_line(TextBuffer* text, const NetPort& port);

// The finding about a queue whose network printer did not answer, with
// advice; false when there is nothing to advise.
bool append_net_finding(TextBuffer* text, const PrinterEntry& entry, const NetPort& port);

// Said once when any printer was asked: the check printed nothing.
void append_net_check_note(TextBuffer* text);
