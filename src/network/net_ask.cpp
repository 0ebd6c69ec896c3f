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

bool askable(const NetPort& port) {
    return !port.wsd && port.host[0] != 0 && port.tcp != 0;
}

void settle(NetPort* port, NetAnswer answer, DWORD win32, DWORD ms) {
    port->answer = answer;
    port->win32 = win32;
    port->ms = ms;
}

// A connection that failed with this error: refused, or failed with it.
void settle_failure(NetPort* port, DWORD error, DWORD ms) {
    settle(port, error == WSAECONNREFUSED ? NET_REFUSED : NET_FAILED, error, ms);
}

// Each askable port's IPv4 address into `addresses` (sin_family AF_INET once
// known), each distinct host resolved once; a host that does not resolve
// settles its ports.
void resolve_hosts(NetPorts* ports, sockaddr_in* addresses, DWORD start) {
    ADDRINFOW hints;
    memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    for (int i = 0; i < ports->count; ++i) {
        NetPort* port = &ports->ports[i];
        if (!askable(*port)) continue;
        int same = 0;
        while (same < i && !(askable(ports->ports[same]) && wide_equal_nocase(ports->ports[same].host, port->host))) {
            ++same;
        }
        if (same < i) {  // resolved already, for an earlier port
            addresses[i] = addresses[same];
            settle(port, ports->ports[same].answer, ports->ports[same].win32, ports->ports[same].ms);
            continue;
        }
        ADDRINFOW* found = nullptr;
        int error = GetAddrInfoW(port->host, nullptr, &hints, &found);
        DWORD ms = GetTickCount() - start;
        if (error == 0 && found != nullptr && found->ai_family == AF_INET && found->ai_addrlen >= sizeof *addresses) {
            memcpy(&addresses[i], found->ai_addr, sizeof *addresses);
        } else if (error == 0 || error == WSAHOST_NOT_FOUND || error == WSANO_DATA) {
            settle(port, NET_NO_ADDRESS, error == 0 ? WSANO_DATA : error, ms);
        } else {
            settle(port, NET_FAILED, error, ms);
        }
        if (found != nullptr) FreeAddrInfoW(found);
    }
}

// Starts one non-blocking connection per resolved port. A socket whose
// outcome comes later is left in `sockets`; the others are closed at once.
void start_connections(NetPorts* ports, const sockaddr_in* addresses, SOCKET* sockets, DWORD start) {
    for (int i = 0; i < ports->count; ++i) {
        if (addresses[i].sin_family != AF_INET) continue;
        sockaddr_in target = addresses[i];
        target.sin_port = htons(static_cast<u_short>(ports->ports[i].tcp));
        SetLastError(ERROR_SUCCESS);  // a call that fails without saying why is reported with 0
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (s == INVALID_SOCKET) {
            DWORD error = WSAGetLastError();
            settle(&ports->ports[i], NET_FAILED, error, GetTickCount() - start);
            continue;
        }
        u_long nonblocking = 1;
        SetLastError(ERROR_SUCCESS);
        bool failed = ioctlsocket(s, FIONBIO, &nonblocking) != 0;
        if (!failed) {
            SetLastError(ERROR_SUCCESS);
            failed = connect(s, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0;
        }
        DWORD error = failed ? WSAGetLastError() : 0;
        if (failed && error == WSAEWOULDBLOCK) {
            sockets[i] = s;
        } else {
            closesocket(s);
            DWORD ms = GetTickCount() - start;
            if (failed) {
                settle_failure(&ports->ports[i], error, ms);  // loopback may refuse at once
            } else {
                settle(&ports->ports[i], NET_ANSWERS, 0, ms);  // or answer at once
            }
        }
    }
}

// Waits for the pending connections together, until each has an outcome or
// the limit has passed since the connections started; a completed one is
// writable, a failed one in the exception set with its error in SO_ERROR.
void wait_for_answers(NetPorts* ports, SOCKET* sockets, DWORD start, DWORD connects_started) {
    for (;;) {
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        for (int i = 0; i < ports->count; ++i) {
            if (sockets[i] == INVALID_SOCKET) continue;
            FD_SET(sockets[i], &writable);
            FD_SET(sockets[i], &failed);
        }
        DWORD waited = GetTickCount() - connects_started;
        if (writable.fd_count == 0 || waited >= NET_ASK_LIMIT_MS) return;
        timeval timeout;
        timeout.tv_sec = (NET_ASK_LIMIT_MS - waited) / 1000;
        timeout.tv_usec = (NET_ASK_LIMIT_MS - waited) % 1000 * 1000;
        SetLastError(ERROR_SUCCESS);
        int ready = select(0, nullptr, &writable, &failed, &timeout);
        DWORD select_error = ready == SOCKET_ERROR ? WSAGetLastError() : 0;
        DWORD ms = GetTickCount() - start;
        for (int i = 0; i < ports->count; ++i) {
            SOCKET s = sockets[i];
            if (s == INVALID_SOCKET) continue;
            if (ready == SOCKET_ERROR) {
                settle(&ports->ports[i], NET_FAILED, select_error, ms);
            } else if (FD_ISSET(s, &writable)) {
                settle(&ports->ports[i], NET_ANSWERS, 0, ms);
            } else if (FD_ISSET(s, &failed)) {
                int error = 0;
                int length = sizeof error;
                SetLastError(ERROR_SUCCESS);
                if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0) {
                    error = WSAGetLastError();
                }
                settle_failure(&ports->ports[i], static_cast<DWORD>(error), ms);
            } else {
                continue;  // still pending
            }
            closesocket(s);
            sockets[i] = INVALID_SOCKET;
        }
    }
}

}  // namespace

void ask_net_ports(NetPorts* ports) {
    for (int i = 0; i < ports->count; ++i) settle(&ports->ports[i], NET_NOT_ASKED, 0, 0);
    WSADATA winsock;
    if (WSAStartup(MAKEWORD(2, 2), &winsock) != 0) return;
    sockaddr_in addresses[MAX_NET_PORTS];
    SOCKET sockets[MAX_NET_PORTS];
    memset(addresses, 0, sizeof addresses);
    for (int i = 0; i < MAX_NET_PORTS; ++i) sockets[i] = INVALID_SOCKET;
    DWORD start = GetTickCount();
    resolve_hosts(ports, addresses, start);
    DWORD connects_started = GetTickCount();
    start_connections(ports, addresses, sockets, start);
    wait_for_answers(ports, sockets, start, connects_started);
    // Whatever has not answered by the limit is silent.
    for (int i = 0; i < ports->count; ++i) {
        if (sockets[i] == INVALID_SOCKET) continue;
        closesocket(sockets[i]);
        settle(&ports->ports[i], NET_SILENT, 0, connects_started - start + NET_ASK_LIMIT_MS);
    }
    WSACleanup();
}
