// The simulated network, as a scenario scripts it: hosts by IPv4 address with
// what each TCP port does with a connection, names that resolve to addresses,
// and the connections the program attempted.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "escpos.h"

namespace sim {

// What a host does with a connection to one of its TCP ports.
enum class TcpRule { answers, refuses, silent, error };

struct TcpAnswer {
    TcpRule rule = TcpRule::refuses;
    DWORD error = 0;  // TcpRule::error: the connection fails with it
};

struct NetHost {
    std::map<unsigned, TcpAnswer> tcp;  // by TCP port; a port not listed refuses
    // By TCP port that answers: how the printer there answers what it is
    // sent; a port not listed takes everything and never answers.
    std::map<unsigned, EscposRules> escpos;
    DWORD delay_ms = 1;                 // how long an answer, a refusal or an error takes
};

// What resolving a name gives: an IPv4 address text, or the error it fails
// with, after `delay_ms` of the looking thread's clock.
struct NetName {
    std::string address;
    DWORD error = 0;
    DWORD delay_ms = 0;
};

// A connection the program attempted: where, when (virtual ms after the
// start, as timeline events count), and the rule the network applied to it.
struct Connection {
    std::string address;
    unsigned port = 0;
    TcpRule outcome = TcpRule::silent;
    ULONGLONG at_ms = 0;
};

struct NetworkTables;  // startups, sockets and address lists handed out (network.cpp)

struct Network {
    std::map<std::string, NetHost> hosts;                   // by address text; an address not listed is silent
    std::vector<std::pair<std::u16string, NetName>> names;  // ASCII case ignored; not listed: 11001
    DWORD startup_error = 0;                                // WSAStartup fails with it
    std::vector<Connection> connections;                    // in the order connect was called
    std::shared_ptr<NetworkTables> tables;                  // made on first use; not for tests to set
};

// "answers", "refuses", "silent", "error": a connection's outcome in the state file.
const char* rule_name(TcpRule rule);

// The address an IPv4 text "a.b.c.d" (four decimal numbers up to 255) stands
// for, in network order as in_addr holds it; false for any other text.
bool parse_ipv4(const std::string& text, ULONG* address);
// "a.b.c.d" for an address in network order.
std::string ipv4_text(ULONG address);

}  // namespace sim
