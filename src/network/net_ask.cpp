// Asking network printers whether they answer: one TCP connection per port,
// all started at once without blocking and waited for together, so a shop
// with several dead printers waits the limit once, not once per printer.
// Nothing is ever sent; each socket is closed as soon as its outcome is known.
//
// A host name is looked up on a thread of its own: GetAddrInfoW has no time
// limit before Windows 8, and a resolver that never answers holds it for ten
// seconds and more. All names are looked up at the same time, and the asking
// stops waiting for them at the same limit as for the connections. A lookup
// given up there may still be running: its record is never freed (its thread
// writes into it) and Windows Sockets is not cleaned up under it; the process
// ends soon after and takes both.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
// clang-format on
#include <stdlib.h>
#include <string.h>

#include "base/wide.h"
#include "network/net_link.h"
#include "output/text_buffer.h"

static_assert(NET_NAME_TIMED_OUT == WSAETIMEDOUT && NET_ADDRESS_UNUSABLE == WSAEADDRNOTAVAIL,
              "the texts tell these answers by their numbers");

namespace {

// A name's lookup, shared by the asking and the thread that makes it.
struct Lookup {
    WCHAR host[NET_NAME_ROOM];  // the thread's own copy: the ports may be gone before it ends
    int error;                  // GetAddrInfoW's, or WSANO_DATA for an answer without an IPv4 address
    sockaddr_in address;
};

// What the asking holds, a slot per port: the first port of the same host
// (which alone looks the host up), the address to ask, the socket while its
// connection is pending, and the lookup thread while the host's name is
// being looked up.
struct Asking {
    NetPorts* ports;
    DWORD start;
    int lead[MAX_NET_PORTS];
    sockaddr_in address[MAX_NET_PORTS];  // sin_family AF_INET once resolved
    SOCKET socket[MAX_NET_PORTS];
    HANDLE thread[MAX_NET_PORTS];
    Lookup* lookup[MAX_NET_PORTS];
    bool given_up;  // a lookup was left running
    SOCKET* kept;   // where a connection made is kept, open; null: each is closed at once
};

// Ports without an address, WSD ports among them, have no TCP port either.
bool askable(const NetPort& port) {
    return port.tcp != 0;
}

DWORD time_left(const Asking* asking) {
    DWORD waited = GetTickCount() - asking->start;
    return waited < NET_ASK_LIMIT_MS ? NET_ASK_LIMIT_MS - waited : 0;
}

// A port's outcome, known now; its socket, if any, is closed at once. A
// failure with WSAECONNREFUSED is a refusal.
void settle(Asking* asking, int i, NetAnswer answer, DWORD win32) {
    if (answer == NET_ANSWERS && asking->kept != nullptr) {
        *asking->kept = asking->socket[i];
    } else if (asking->socket[i] != INVALID_SOCKET) {
        closesocket(asking->socket[i]);
    }
    asking->socket[i] = INVALID_SOCKET;
    NetPort* port = &asking->ports->ports[i];
    port->answer = answer == NET_FAILED && win32 == WSAECONNREFUSED ? NET_REFUSED : answer;
    port->win32 = win32;
    port->ms = GetTickCount() - asking->start;
}

// GetAddrInfoW's answer as an IPv4 address, or the error it stands for; the
// list is given back.
int take_address(int error, ADDRINFOW* found, sockaddr_in* address) {
    if (error == 0) {
        error = WSANO_DATA;  // a name with no IPv4 address
        if (found != nullptr && found->ai_family == AF_INET && found->ai_addrlen >= sizeof(sockaddr_in)) {
            memcpy(address, found->ai_addr, sizeof(sockaddr_in));
            error = 0;
        }
    }
    if (found != nullptr) FreeAddrInfoW(found);
    return error;
}

int resolve(const WCHAR* host, int flags, sockaddr_in* address) {
    ADDRINFOW hints;
    memset(&hints, 0, sizeof hints);
    hints.ai_flags = flags;
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    ADDRINFOW* found = nullptr;
    int error = GetAddrInfoW(host, nullptr, &hints, &found);
    return take_address(error, found, address);
}

DWORD WINAPI look_up(void* parameter) {
    Lookup* lookup = static_cast<Lookup*>(parameter);
    lookup->error = resolve(lookup->host, 0, &lookup->address);
    return 0;
}

// Starts one non-blocking connection; one that cannot complete at once
// keeps its socket, pending.
void start_connection(Asking* asking, int i) {
    sockaddr_in target = asking->address[i];
    target.sin_port = htons(static_cast<u_short>(asking->ports->ports[i].tcp));
    SetLastError(ERROR_SUCCESS);  // a call that fails without saying why is reported with 0
    asking->socket[i] = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (asking->socket[i] == INVALID_SOCKET) {
        settle(asking, i, NET_FAILED, WSAGetLastError());
        return;
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

// What a failed lookup means: a name not known, or known without an IPv4
// address, is no address; anything else a failure.
NetAnswer lookup_answer(int error) {
    return error == WSAHOST_NOT_FOUND || error == WSANO_DATA ? NET_NO_ADDRESS : NET_FAILED;
}

// The host of port `lead` found at `address`: each of its ports starts its
// connection. Without an address, each settles with `answer` and `error`.
void host_done(Asking* asking, int lead, const sockaddr_in* address, NetAnswer answer, DWORD error) {
    for (int i = lead; i < asking->ports->count; ++i) {
        if (asking->lead[i] != lead) continue;
        if (address == nullptr) {
            settle(asking, i, answer, error);
        } else {
            asking->address[i] = *address;
            start_connection(asking, i);
        }
    }
}

// Starts the lookup of a name on a thread of its own; the record is the
// thread's from then on.
void start_lookup(Asking* asking, int lead) {
    Lookup* lookup = static_cast<Lookup*>(calloc(1, sizeof(Lookup)));
    if (lookup == nullptr) out_of_memory();
    wide_copy(lookup->host, NET_NAME_ROOM, asking->ports->ports[lead].host);
    SetLastError(ERROR_SUCCESS);
    HANDLE thread = CreateThread(nullptr, 0, look_up, lookup, 0, nullptr);
    if (thread == nullptr) {
        DWORD error = GetLastError();
        free(lookup);
        host_done(asking, lead, nullptr, NET_FAILED, error);
        return;
    }
    asking->thread[lead] = thread;
    asking->lookup[lead] = lookup;
}

// Each askable port's host, once per distinct host (ASCII case ignored): an
// address text at once (it needs no lookup), a name on a lookup thread.
void find_hosts(Asking* asking) {
    NetPort* ports = asking->ports->ports;
    int count = asking->ports->count;
    for (int i = 0; i < count; ++i) {
        if (!askable(ports[i])) continue;
        int lead = 0;
        while (lead < i && !(askable(ports[lead]) && wide_equal_nocase(ports[lead].host, ports[i].host))) ++lead;
        asking->lead[i] = lead;
    }
    for (int i = 0; i < count; ++i) {
        if (asking->lead[i] != i) continue;
        sockaddr_in address;
        memset(&address, 0, sizeof address);
        int error = resolve(ports[i].host, AI_NUMERICHOST, &address);
        if (error == WSAHOST_NOT_FOUND) {
            start_lookup(asking, i);  // not an address: a name
        } else {
            host_done(asking, i, error == 0 ? &address : nullptr, lookup_answer(error), error);
        }
    }
}

// A lookup's end: ended, its result counts; else it is given up with
// `answer` and `error`, its thread still running with the record.
void end_lookup(Asking* asking, int lead, bool ended, NetAnswer answer, DWORD error) {
    CloseHandle(asking->thread[lead]);
    asking->thread[lead] = nullptr;
    Lookup* lookup = asking->lookup[lead];
    if (!ended) {
        asking->given_up = true;
        host_done(asking, lead, nullptr, answer, error);
        return;
    }
    host_done(asking, lead, lookup->error == 0 ? &lookup->address : nullptr, lookup_answer(lookup->error),
              lookup->error);
    free(lookup);
}

// Waits for the lookups until the limit, starting each host's connections as
// its name is found. Whatever ends the wait, a thread that has ended counts;
// the others are given up: their names not found in time, or the wait's error.
void wait_for_lookups(Asking* asking) {
    for (;;) {
        HANDLE threads[MAX_NET_PORTS];
        int leads[MAX_NET_PORTS];
        DWORD count = 0;
        for (int i = 0; i < asking->ports->count; ++i) {
            if (asking->thread[i] == nullptr) continue;
            threads[count] = asking->thread[i];
            leads[count++] = i;
        }
        if (count == 0) return;
        DWORD left = time_left(asking);
        SetLastError(ERROR_SUCCESS);
        DWORD woke = WaitForMultipleObjects(count, threads, FALSE, left);
        if (woke < WAIT_OBJECT_0 + count) {
            end_lookup(asking, leads[woke - WAIT_OBJECT_0], true, NET_NOT_ASKED, 0);
            continue;
        }
        bool late = woke == WAIT_TIMEOUT;
        DWORD error = late ? WSAETIMEDOUT : GetLastError();
        for (DWORD k = 0; k < count; ++k) {
            DWORD code = STILL_ACTIVE;
            bool ended = GetExitCodeThread(threads[k], &code) && code != STILL_ACTIVE;
            end_lookup(asking, leads[k], ended, late ? NET_NO_ADDRESS : NET_FAILED, error);
        }
    }
}

// Waits for the pending connections together until each has an outcome or
// the limit has passed since the asking started, looking at least once: a
// completed one is writable, a failed one in the exception set with its
// error in SO_ERROR.
void wait_for_answers(Asking* asking) {
    static_assert(MAX_NET_PORTS <= FD_SETSIZE, "every port's socket fits one fd_set");
    for (bool first = true;; first = false) {
        fd_set writable;
        writable.fd_count = 0;
        for (int i = 0; i < asking->ports->count; ++i) {
            if (asking->socket[i] != INVALID_SOCKET) writable.fd_array[writable.fd_count++] = asking->socket[i];
        }
        fd_set failed = writable;
        DWORD left = time_left(asking);
        if (writable.fd_count == 0 || (left == 0 && !first)) return;
        timeval timeout;
        timeout.tv_sec = left / 1000;
        timeout.tv_usec = left % 1000 * 1000;
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

// Every port with an address asked, once Windows Sockets has started;
// false when a lookup was left running.
bool ask_all(NetPorts* ports, SOCKET* kept) {
    Asking asking;
    memset(&asking, 0, sizeof asking);
    asking.ports = ports;
    asking.kept = kept;
    asking.start = GetTickCount();
    for (int i = 0; i < MAX_NET_PORTS; ++i) {
        asking.socket[i] = INVALID_SOCKET;
        asking.lead[i] = -1;  // known once its host is
    }
    find_hosts(&asking);
    wait_for_lookups(&asking);
    wait_for_answers(&asking);
    // Whatever has not answered by the limit is silent.
    for (int i = 0; i < ports->count; ++i) {
        if (asking.socket[i] != INVALID_SOCKET) settle(&asking, i, NET_SILENT, 0);
    }
    return !asking.given_up;
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
    bool all_ended = winsock.wVersion != MAKEWORD(2, 2) || ask_all(ports, nullptr);
    // A lookup left running may still be inside GetAddrInfoW.
    if (all_ended) WSACleanup();
}

NetLink open_net_link(const NetPort& port) {
    NetLink link;
    memset(&link, 0, sizeof link);
    link.socket = INVALID_SOCKET;
    link.answer = NET_FAILED;
    WSADATA winsock;
    int error = WSAStartup(MAKEWORD(2, 2), &winsock);
    link.winsock_started = error == 0;
    if (error != 0 || winsock.wVersion != MAKEWORD(2, 2)) {
        link.win32 = error != 0 ? static_cast<DWORD>(error) : WSAVERNOTSUPPORTED;
        return link;
    }
    NetPorts* ports = new_net_ports();
    ports->count = 1;
    ports->ports[0] = port;
    link.lookup_left = !ask_all(ports, &link.socket);
    link.answer = ports->ports[0].answer;
    link.ms = ports->ports[0].ms;
    link.win32 = ports->ports[0].win32;
    free(ports);
    return link;
}

void close_net_link(NetLink* link) {
    if (link->socket != INVALID_SOCKET) closesocket(link->socket);
    link->socket = INVALID_SOCKET;
    // A lookup left running may still be inside GetAddrInfoW.
    if (link->winsock_started && !link->lookup_left) WSACleanup();
    link->winsock_started = false;
}
