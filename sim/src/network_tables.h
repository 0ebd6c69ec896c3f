// What the Windows Sockets calls share (network.cpp, network_stream.cpp):
// the startups, sockets and address lists the program holds, and where a
// socket's connection stands on the virtual clock.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "computer.h"

namespace sim {

struct NetworkTables {
    struct Socket {
        bool nonblocking = false;
        bool connect_called = false;
        std::string address;
        unsigned port = 0;
        TcpAnswer answer;
        ULONGLONG done_at = 0;  // virtual ms at which the outcome is known (never for silent)
        std::optional<Conversation> talk;  // a connection that answers: the printer's side of the bytes
    };
    // What GetAddrInfoW hands out: the record and the address it points to.
    struct AddressBlock {
        ADDRINFOW info;
        SOCKADDR_IN address;
    };
    unsigned startups = 0;
    SOCKET next_socket = 0x100;
    std::map<SOCKET, Socket> sockets;
    std::map<const ADDRINFOW*, std::unique_ptr<AddressBlock>> address_lists;
};

NetworkTables& net();

inline ULONGLONG net_now_ms() { return computer().clock.elapsed_ms; }

// Where a socket stands: for a socket it is asked about, whether select
// reports it writable (connected) or in the exception set (failed).
enum class Stage { idle, pending, connected, failed };
Stage stage_of(const NetworkTables::Socket& record);

// The socket a call names, after the checks every socket call makes; null
// with the last error set when it cannot go on.
NetworkTables::Socket* checked_socket(SOCKET s);

// When select reports a connected socket readable: bytes to read, the
// peer's close, or an error to read; unset: never.
std::optional<ULONGLONG> readable_at(const NetworkTables::Socket& record);

}  // namespace sim
