// One connection to a network printer, kept open for the caller to talk on.
#pragma once

// clang-format off
#include <winsock2.h>
#include <windows.h>
// clang-format on

#include "network/net_ports.h"

struct NetLink {
    SOCKET socket;         // non-blocking; INVALID_SOCKET unless the answer is NET_ANSWERS
    bool winsock_started;  // a WSAStartup that close_net_link ends
    bool lookup_left;      // a name lookup still running: Windows Sockets stays started under it
    NetAnswer answer;      // as for ask_net_ports, with its ms and win32 (WSAStartup's error too)
    DWORD ms;
    DWORD win32;
};

// Connects to the port as ask_net_ports asks it (the same outcomes and the
// same limit), keeping the connection once made.
NetLink open_net_link(const NetPort& port);
void close_net_link(NetLink* link);
