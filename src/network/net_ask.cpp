// Asking network printers whether they answer: one TCP connection per port,
// all started at once without blocking and waited for together, so a shop
// with several dead printers waits the limit once, not once per printer.
// Nothing is ever sent; each socket is closed as soon as its outcome is known.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
// clang-format on
#include <string.h>

#include "base/wide.h"
#include "network/net_ports.h"

namespace {

// What the asking holds, a slot per port: the address to ask, and the socket
// while its connection is pending.
struct Asking {
    NetPorts* ports;
    DWORD start;
    sockaddr_in address[MAX_NET_PORTS];  // sin_family AF_INET once resolved
    SOCKET socket[MAX_NET_PORTS];
};

// Ports without an address, WSD ports among them, have no TCP port either.
bool askable(const NetPort& port) {
    return port.tcp != 0;
}

// A port's outcome, known now; its socket, if any, is closed at once. A
// failure with WSAECONNREFUSED is a refusal.
void settle(Asking* asking, int i, NetAnswer answer, DWORD win32) {
    if (asking->socket[i] != INVALID_SOCKET) closesocket(asking->socket[i]);
    asking->socket[i] = INVALID_SOCKET;
    NetPort* port = &asking->ports->ports[i];
    port->answer = answer == NET_FAILED && win32 == WSAECONNREFUSED ? NET_REFUSED : answer;
    port->win32 = win32;
    port->ms = GetTickCount() - asking->start;
}

// Each askable port's address, each distinct host resolved once; a host that
// does not resolve settles its ports.
void resolve_hosts(Asking* asking) {
    ADDRINFOW hints;
    memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    NetPort* ports = asking->ports->ports;
    for (int i = 0; i < asking->ports->count; ++i) {
        if (!askable(ports[i])) continue;
        int same = 0;
        while (same < i && !(askable(ports[same]) && wide_equal_nocase(ports[same].host, ports[i].host))) ++same;
        if (same < i) {  // resolved already, for an earlier port
            asking->address[i] = asking->address[same];
            ports[i].answer = ports[same].answer;
            ports[i].win32 = ports[same].win32;
            ports[i].ms = ports[same].ms;
            continue;
        }
        ADDRINFOW* found = nullptr;
        int error = GetAddrInfoW(ports[i].host, nullptr, &hints, &found);
        if (error == 0 && found != nullptr && found->ai_family == AF_INET && found->ai_addrlen >= sizeof(sockaddr_in)) {
            memcpy(&asking->address[i], found->ai_addr, sizeof(sockaddr_in));
        } else {
            bool unknown = error == 0 || error == WSAHOST_NOT_FOUND || error == WSANO_DATA;
            settle(asking, i, unknown ? NET_NO_ADDRESS : NET_FAILED, error == 0 ? WSANO_DATA : error);
        }
        if (found != nullptr) FreeAddrInfoW(found);
    }
}

// Starts one non-blocking connection per resolved port; one that cannot
// complete at once keeps its socket, pending.
void start_connections(Asking* asking) {
    for (int i = 0; i < asking->ports->count; ++i) {
        if (asking->address[i].sin_family != AF_INET) continue;
        sockaddr_in target = asking->address[i];
        target.sin_port = htons(static_cast<u_short>(asking->ports->ports[i].tcp));
        SetLastError(ERROR_SUCCESS);  // a call that fails without saying why is reported with 0
        asking->socket[i] = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (asking->socket[i] == INVALID_SOCKET) {
            settle(asking, i, NET_FAILED, WSAGetLastError());
            continue;
        }
        u_long nonblocking = 1;
        SetLastError(ERROR_SUCCESS);
        bool failed = ioctlsocket(asking->socket[i], FIONBIO, &nonblocking) != 0;
        if (!failed) {
            SetLastError(ERROR_SUCCESS);
            failed = connect(asking->socket[i], reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0;
        }
        // Loopback may answer or refuse at once.
        DWORD error = failed ? WSAGetLastError() : 0;
        if (error != WSAEWOULDBLOCK) settle(asking, i, failed ? NET_FAILED : NET_ANSWERS, error);
    }
}

// Waits for the pending connections together until each has an outcome or
// the limit has passed since they started: a completed one is writable, a
// failed one in the exception set with its error in SO_ERROR.
void wait_for_answers(Asking* asking) {
    const DWORD started = GetTickCount();
    for (;;) {
        fd_set writable;
        writable.fd_count = 0;
        for (int i = 0; i < asking->ports->count; ++i) {
            if (asking->socket[i] != INVALID_SOCKET) writable.fd_array[writable.fd_count++] = asking->socket[i];
        }
        fd_set failed = writable;
        DWORD waited = GetTickCount() - started;
        if (writable.fd_count == 0 || waited >= NET_ASK_LIMIT_MS) return;
        timeval timeout;
        timeout.tv_sec = (NET_ASK_LIMIT_MS - waited) / 1000;
        timeout.tv_usec = (NET_ASK_LIMIT_MS - waited) % 1000 * 1000;
        SetLastError(ERROR_SUCCESS);
        int ready = select(0, nullptr, &writable, &failed, &timeout);
        DWORD select_error = ready == SOCKET_ERROR ? WSAGetLastError() : 0;
        for (int i = 0; i < asking->ports->count; ++i) {
            SOCKET s = asking->socket[i];
            if (s == INVALID_SOCKET) continue;
            if (ready == SOCKET_ERROR) {
                settle(asking, i, NET_FAILED, select_error);
            } else if (FD_ISSET(s, &writable)) {
                settle(asking, i, NET_ANSWERS, 0);
            } else if (FD_ISSET(s, &failed)) {
                int error = 0;
                int length = sizeof error;
                SetLastError(ERROR_SUCCESS);
                if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0) {
                    error = WSAGetLastError();
                }
                settle(asking, i, NET_FAILED, error);
            }
        }
    }
}

// Every port with an address asked, once Windows Sockets has started.
void ask_all(NetPorts* ports) {
    Asking asking;
    memset(&asking, 0, sizeof asking);
    asking.ports = ports;
    asking.start = GetTickCount();
    for (int i = 0; i < MAX_NET_PORTS; ++i) asking.socket[i] = INVALID_SOCKET;
    resolve_hosts(&asking);
    start_connections(&asking);
    wait_for_answers(&asking);
    // Whatever has not answered by the limit is silent.
    for (int i = 0; i < ports->count; ++i) {
        if (asking.socket[i] != INVALID_SOCKET) settle(&asking, i, NET_SILENT, 0);
    }
}

}  // namespace

void ask_net_ports(NetPorts* ports) {
    for (int i = 0; i < ports->count; ++i) {
        ports->ports[i].answer = NET_NOT_ASKED;
        ports->ports[i].win32 = 0;
        ports->ports[i].ms = 0;
    }
    WSADATA winsock;
    if (WSAStartup(MAKEWORD(2, 2), &winsock) != 0) return;
    // Windows Sockets 2.2, which the calls here are written for: every Windows
    // since 98 has it. An older one leaves every port unasked.
    if (winsock.wVersion == MAKEWORD(2, 2)) ask_all(ports);
    WSACleanup();
}
