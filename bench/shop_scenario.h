// A large shop computer for the benchmarks: as many queues as the program
// keeps (64), each holding as many jobs as it reads (20), and 16 USB printers.
#pragma once

#include <string>

// The queue "send" is measured on.
extern const char kSendQueue[];
// The one queue of the status scenarios, the default printer.
extern const char kStatusQueue[];

// The scenario as simwin reads it (JSON, UTF-8). The same text every call.
std::string shop_scenario();

// A shop whose printers are all on the network: 20 queues, each on a Standard
// TCP/IP port of its own; four of the printers are switched off.
std::string network_shop_scenario();

// A till with one receipt printer on USB001 and no jobs, which answers the
// status requests 1 ms after each ("16 12 12 12": ready), or never (silent).
std::string status_scenario(bool silent);
