// The network printers of the list and watch documents.
#pragma once

#include "network/net_ports.h"
#include "output/text_buffer.h"

// The member "net": one entry per network port, in the order given; a port
// that was asked carries the answer. Null ports: an empty array.
void append_net_section(TextBuffer* document, const NetPorts* ports);
