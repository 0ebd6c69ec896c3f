// The document of "watch".
#pragma once

#include <windows.h>

#include "devices/device_inventory.h"
#include "network/net_ports.h"
#include "output/text_buffer.h"
#include "printing/watch.h"

// What a watch that ran found out, as the document tells it.
struct WatchVerdict {
    WatchFate fate;
    DWORD ms;             // how long the watch took
    const WCHAR* printer;  // the queue watched
    bool is_default;      // the queue is the default printer at the end
    const JobState* state;
    const DeviceInventory* devices;  // read at the end: only the USB half is shown gathered
    const NetPorts* network;         // the queue's network port, asked, after trouble; else null
};

void append_watch_document(TextBuffer* document, const WatchVerdict& verdict);

// The early ends: no printer named and no default; the queue not opened.
void append_watch_no_printer(TextBuffer* document, DWORD default_error);
void append_watch_open_failed(TextBuffer* document, const WCHAR* printer, DWORD error);
