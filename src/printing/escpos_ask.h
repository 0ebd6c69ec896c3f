// Asking a receipt printer itself how it is: the real-time status requests
// DLE EOT n (10 04 n, n = 1 to 4), over its USB device or a TCP connection
// to its network port. Nothing else is ever sent. Typed results only.
#pragma once

#include <windows.h>

#include "network/net_ports.h"
#include "printing/escpos_status.h"

enum : int { ASK_BYTES_ROOM = 16 };

// How long a question may wait for its answer, and stale bytes to arrive.
const DWORD ESCPOS_ANSWER_LIMIT_MS = 500;
const DWORD ESCPOS_STALE_LIMIT_MS = 20;

enum class AskOutcome : int {
    answered,      // the first question at least
    in_use,        // the device is held open by another (the spooler printing): not asked
    no_answer,     // silent to the first question, or a connection never made
    bad_answer,    // bytes came that answer no question
    open_failed,   // the device did not open, or the connection failed
    write_failed,
    read_failed,   // a read failed, or the printer closed the connection before answering
};

struct AskResult {
    AskOutcome outcome;
    DWORD win32;  // the failed call's error; 0 for a connection the printer closed
    int answered;  // the questions answered, in turn: 0 to ESCPOS_QUESTIONS
    BYTE bytes[ASK_BYTES_ROOM];  // the answers in order; for a bad answer, the first bytes that came instead
    DWORD count;
    DWORD ms;  // from the first question to the last answer; for no answer, the time waited
};

// Over the device interface of a USB printer (overlapped: the USB printer
// class driver has no time limit of its own). The device is shared, never
// locked: a device the spooler holds open is in_use.
AskResult ask_usb_printer(const WCHAR* path);

// Over a TCP connection to the port's address, made as network ports are asked.
AskResult ask_network_printer(const NetPort& port);

// Which way a printer is asked, and why one was not.
enum class StatusWay : int { none, usb, tcp };
enum class NotAskedReason : int {
    asked,       // it was asked: see the ask result
    port,        // neither a USB port nor a raw Standard TCP/IP port
    busy,        // jobs in its queue or another on its port, or its device held open
    not_escpos,  // its device ID names a command set without ESC/POS
    no_device,   // no USB device holds the port
};

// What the status command found, for its renderers.
struct StatusVerdict {
    const WCHAR* printer;
    const WCHAR* port;      // null when the queue did not open
    DWORD queue_error;      // why the queue did not open; 0 when it did
    StatusWay way;
    NotAskedReason reason;
    AskResult ask;          // when asked
    int port_status;        // a USB printer's class status; PORT_STATUS_UNKNOWN when not had
};

// Whether a device ID's command set names ESC/POS, whatever its spelling
// ("ESC/POS", "ESCPOS", "ESC POS"); an empty one is not known to lack it.
bool command_set_has_escpos(const char* command_set);

// Ready: asked, answered, and the answers say so.
bool status_is_ready(const StatusVerdict& verdict);
