// Network printers: where a queue's Standard TCP/IP port points, read from
// the port monitor's registry key, and whether something answers there, asked
// with one TCP connection per port, all at once. Typed results only; the
// renderers say what they mean.
#pragma once

#include <windows.h>

enum NetProtocol : int { NET_PROTOCOL_RAW = 0, NET_PROTOCOL_LPR = 1 };

// What asking a port found.
enum NetAnswer : int {
    NET_NOT_ASKED = 0,  // not asked: no address, a WSD port, or Windows Sockets would not start
    NET_ANSWERS,        // the connection was made (and closed at once; nothing is sent)
    NET_REFUSED,        // a host answered that nothing listens on that TCP port
    NET_SILENT,         // no answer within the limit
    NET_NO_ADDRESS,     // the name does not resolve, or not in time (win32 NET_NAME_TIMED_OUT)
    NET_FAILED,         // any other Windows Sockets failure
};

enum : int { NET_NAME_ROOM = 256, MAX_NET_PORTS = 64 };

// How long the asking may take, the name lookups and the connections together.
const DWORD NET_ASK_LIMIT_MS = 1000;

// The win32 of a name whose lookup had not ended by the limit (WSAETIMEDOUT).
const DWORD NET_NAME_TIMED_OUT = 10060;
// The win32 of an address Windows will not connect to at all, such as
// 0.0.0.0 (WSAEADDRNOTAVAIL): a mistake in the port's settings.
const DWORD NET_ADDRESS_UNUSABLE = 10049;

struct NetPort {
    WCHAR port[NET_NAME_ROOM];  // the queue's port name, whole
    WCHAR host[NET_NAME_ROOM];  // HostName, else IPAddress; empty when the address is unknown
    DWORD tcp;                  // TCP port to ask: PortNumber (9100 when absent), 515 for LPR; 0 when unknown
    NetProtocol protocol;
    WCHAR queue[NET_NAME_ROOM];  // the LPR queue ("" for raw)
    bool wsd;                    // a Web Services for Devices port: network, address not kept, never asked
    NetAnswer answer;            // NET_NOT_ASKED until asked
    DWORD ms;                    // from the start of the asking to this printer's outcome
    DWORD win32;                 // the Winsock error of a failed / no_address answer (10061 for refused), else 0
};

struct NetPorts {
    int count;
    NetPort ports[MAX_NET_PORTS];
};

// Whether the port is a network port, filling `out` from the registry. The
// Standard TCP/IP key decides, whatever the port is called; without one, a
// name beginning "WSD" (ASCII case ignored) is a WSD port (network, no
// address, never asked) and any other is no network port. A key that cannot
// be read or a value that makes no sense leaves the address unknown (host "",
// tcp 0): never a guess.
bool read_net_port(const WCHAR* port_name, NetPort* out);

// A new, empty list of ports, on the heap (it is large); free() it.
NetPorts* new_net_ports();

// The entry of a port name (ASCII case ignored); null when it is no network port.
const NetPort* find_net_port(const NetPorts& ports, const WCHAR* port_name);

// Adds the queue's port to `ports` once (ports compared ignoring ASCII case),
// reading its key once; a port that is not a network port is not added, nor
// any beyond MAX_NET_PORTS.
void add_net_port(NetPorts* ports, const WCHAR* port_name);

// Asks every port with a known address at once: each distinct name looked up
// once, all at the same time (an address text needs no lookup), one
// non-blocking connection per port, started as soon as its address is known;
// lookups and connections together take at most NET_ASK_LIMIT_MS, whatever
// the names. Every port's answer, ms and win32 are set anew; when Windows
// Sockets does not start, every port stays NET_NOT_ASKED.
void ask_net_ports(NetPorts* ports);
