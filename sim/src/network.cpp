// Simulated Windows Sockets: exactly the calls the program makes to ask
// whether a network printer answers. Connections follow the scenario's
// network (network.h) on the virtual clock: select waits by moving the clock
// to the earliest outcome it can report, or by its whole timeout, as Sleep
// moves it. As on Windows, the last error is the thread's one, which
// WSAGetLastError reads.
#include "network_tables.h"  // first: <winsock2.h> renames what glibc names too

#include <cstring>
#include <optional>

#include "device_model.h"  // injected_failure: WSAStartup answers through its result

namespace sim {

const char* rule_name(TcpRule rule) {
    switch (rule) {
        case TcpRule::answers: return "answers";
        case TcpRule::refuses: return "refuses";
        case TcpRule::silent: return "silent";
        case TcpRule::error: return "error";
    }
    return "error";
}

bool parse_ipv4(const std::string& text, ULONG* address) {
    unsigned parts[4] = {};
    size_t at = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0 && (at >= text.size() || text[at++] != '.')) return false;
        size_t digits = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 4) {
            parts[part] = parts[part] * 10 + static_cast<unsigned>(text[at++] - '0');
            ++digits;
        }
        if (digits == 0 || digits > 3 || parts[part] > 255) return false;
    }
    if (at != text.size()) return false;
    // in_addr keeps the first part in its first byte.
    *address = parts[0] | parts[1] << 8 | parts[2] << 16 | parts[3] << 24;
    return true;
}

std::string ipv4_text(ULONG address) {
    return std::to_string(address & 255) + "." + std::to_string(address >> 8 & 255) + "." +
           std::to_string(address >> 16 & 255) + "." + std::to_string(address >> 24);
}

// A blocking connect to a host that never answers gives up as Windows does,
// after its SYN retries.
constexpr ULONGLONG kBlockingConnectTimeoutMs = 21000;

NetworkTables& net() {
    std::shared_ptr<NetworkTables>& t = computer().network.tables;
    if (!t) t = std::make_shared<NetworkTables>();
    return *t;
}

Stage stage_of(const NetworkTables::Socket& record) {
    if (!record.connect_called) return Stage::idle;
    if (record.answer.rule == TcpRule::silent || net_now_ms() < record.done_at) return Stage::pending;
    return record.answer.rule == TcpRule::answers ? Stage::connected : Stage::failed;
}

NetworkTables::Socket* checked_socket(SOCKET s) {
    if (net().startups == 0) return fail(WSANOTINITIALISED, static_cast<NetworkTables::Socket*>(nullptr));
    auto it = net().sockets.find(s);
    if (it == net().sockets.end()) return fail(WSAENOTSOCK, static_cast<NetworkTables::Socket*>(nullptr));
    return &it->second;
}

namespace {

ULONGLONG now_ms() {
    return net_now_ms();
}

u_short swap_bytes(u_short value) {
    return static_cast<u_short>(value >> 8 | value << 8);
}

// A fault injected into a call that returns its error: the rule's error, left
// as the last error too, or `fallback` for a rule without one, the last error
// then staying as it was. Unset when the call goes on.
std::optional<DWORD> injected_error(const char* function, DWORD fallback) {
    const DWORD before = computer().last_error, unset = 0xFFFFFFFF;
    computer().last_error = unset;
    const bool failed = call_fails(function);
    const DWORD error = computer().last_error;
    if (error == unset) computer().last_error = before;  // neither the rule nor a stale error set one
    if (!failed) return std::nullopt;
    return error == unset ? fallback : error;
}

DWORD error_of(const TcpAnswer& answer) {
    return answer.rule == TcpRule::refuses ? WSAECONNREFUSED : answer.rule == TcpRule::error ? answer.error : 0;
}

// When a socket in one of select's sets will be reported there; unset: never.
enum class Set { read, write, except };
std::optional<ULONGLONG> ready_at(const NetworkTables::Socket& record, Set set) {
    if (!record.connect_called || record.answer.rule == TcpRule::silent) return std::nullopt;
    if (set == Set::read) return readable_at(record);
    bool connects = record.answer.rule == TcpRule::answers;
    // A failed connection shows in the exception set only, never as writable.
    if (connects != (set == Set::write)) return std::nullopt;
    return record.done_at;
}

}  // namespace

}  // namespace sim

using namespace sim;

extern "C" {

int WSAAPI WSAStartup(WORD wVersionRequested, LPWSADATA lpWSAData) {
    // It answers through its result: WSAGetLastError cannot be used before it works.
    if (DWORD error = injected_failure("WSAStartup", WSASYSNOTREADY)) return static_cast<int>(error);
    if (computer().network.startup_error != 0) return static_cast<int>(computer().network.startup_error);
    if (LOBYTE(wVersionRequested) == 0) return WSAVERNOTSUPPORTED;
    if (lpWSAData == nullptr) return WSAEFAULT;
    std::memset(lpWSAData, 0, sizeof *lpWSAData);
    bool above = LOBYTE(wVersionRequested) > 2 || (LOBYTE(wVersionRequested) == 2 && HIBYTE(wVersionRequested) > 2);
    lpWSAData->wVersion = above ? MAKEWORD(2, 2) : wVersionRequested;
    lpWSAData->wHighVersion = MAKEWORD(2, 2);
    std::strcpy(lpWSAData->szDescription, "WinSock 2.0");
    std::strcpy(lpWSAData->szSystemStatus, "Running");
    // Each successful call needs its WSACleanup; the audit names one "winsock" until the last.
    if (net().startups++ == 0) track(&net().startups, ResourceKind::winsock, "");
    return 0;
}

int WSAAPI WSACleanup(void) {
    if (call_fails("WSACleanup")) return SOCKET_ERROR;
    if (net().startups == 0) return fail(WSANOTINITIALISED, SOCKET_ERROR);
    if (--net().startups == 0) {
        untrack(&net().startups);
        check_cleanup_under_threads();
    }
    overwrite_last_error();
    return 0;
}

int WSAAPI WSAGetLastError(void) {
    DWORD error = computer().last_error;
    call_fails("WSAGetLastError");  // cannot fail; logged, so the order of calls shows where errors are taken
    computer().last_error = error;
    return static_cast<int>(error);
}

int WSAAPI GetAddrInfoW(PCWSTR pNodeName, PCWSTR pServiceName, const ADDRINFOW* pHints, PADDRINFOW* ppResult) {
    // It returns its error and also sets it.
    if (std::optional<DWORD> error = injected_error("GetAddrInfoW", WSANO_RECOVERY)) return static_cast<int>(*error);
    auto failed = [](DWORD error) { return fail(error, static_cast<int>(error)); };
    if (net().startups == 0) return failed(WSANOTINITIALISED);
    if (ppResult == nullptr) return failed(WSAEINVAL);
    *ppResult = nullptr;
    if (pHints != nullptr && pHints->ai_family != AF_UNSPEC && pHints->ai_family != AF_INET) {
        return failed(WSAEAFNOSUPPORT);  // the simulated network is IPv4 only
    }
    unsigned port = 0;
    for (char16_t c : text_of(pServiceName)) {
        if (c < u'0' || c > u'9' || (port = port * 10 + (c - u'0')) > 65535) return failed(WSATYPE_NOT_FOUND);
    }
    // The computer's own addresses (no name) are not modelled.
    if (pNodeName == nullptr) return failed(WSAHOST_NOT_FOUND);
    const std::u16string name = text_of(pNodeName);
    std::string address = utf16_to_utf8(name);
    ULONG binary = 0;
    if (!parse_ipv4(address, &binary)) {  // an address text resolves to itself without a lookup
        // AI_NUMERICHOST: only an address text, never a lookup.
        if (pHints != nullptr && (pHints->ai_flags & AI_NUMERICHOST) != 0) return failed(WSAHOST_NOT_FOUND);
        const NetName* found = nullptr;
        for (const auto& [listed, answer] : computer().network.names) {
            if (equal_ascii_nocase(listed, name)) found = &answer;
        }
        if (found == nullptr) return failed(WSAHOST_NOT_FOUND);
        computer().clock.elapsed_ms += found->delay_ms;  // the caller waits for the answer
        if (found->error != 0) return failed(found->error);
        if (!parse_ipv4(found->address, &binary)) return failed(WSANO_DATA);
    }
    auto block = std::make_unique<NetworkTables::AddressBlock>();
    std::memset(block.get(), 0, sizeof *block);
    block->address.sin_family = AF_INET;
    block->address.sin_port = swap_bytes(static_cast<u_short>(port));
    block->address.sin_addr.s_addr = binary;
    block->info.ai_family = AF_INET;
    block->info.ai_socktype = pHints != nullptr ? pHints->ai_socktype : 0;
    block->info.ai_protocol = pHints != nullptr ? pHints->ai_protocol : 0;
    block->info.ai_addrlen = sizeof block->address;
    block->info.ai_addr = reinterpret_cast<struct sockaddr*>(&block->address);
    *ppResult = &block->info;
    track(&block->info, ResourceKind::address_info, utf16_to_utf8(name));
    net().address_lists[&block->info] = std::move(block);
    return 0;
}

void WSAAPI FreeAddrInfoW(PADDRINFOW pAddrInfo) {
    call_fails("FreeAddrInfoW");  // cannot fail; logged
    if (net().address_lists.erase(pAddrInfo) == 1) untrack(pAddrInfo);
}

SOCKET WSAAPI socket(int af, int type, int protocol) {
    if (call_fails("socket")) return INVALID_SOCKET;
    if (net().startups == 0) return fail(WSANOTINITIALISED, INVALID_SOCKET);
    if (af != AF_INET) return fail(WSAEAFNOSUPPORT, INVALID_SOCKET);
    if (type != SOCK_STREAM) return fail(WSAESOCKTNOSUPPORT, INVALID_SOCKET);
    if (protocol != 0 && protocol != IPPROTO_TCP) return fail(WSAEPROTONOSUPPORT, INVALID_SOCKET);
    SOCKET s = net().next_socket;
    net().next_socket += 4;  // values are never reused, so a closed socket stays invalid
    track(&net().sockets[s], ResourceKind::socket, "");
    return s;
}

int WSAAPI ioctlsocket(SOCKET s, LONG cmd, u_long* argp) {
    if (call_fails("ioctlsocket")) return SOCKET_ERROR;
    NetworkTables::Socket* record = checked_socket(s);
    if (record == nullptr) return SOCKET_ERROR;
    if (cmd != static_cast<LONG>(FIONBIO)) return fail(WSAEINVAL, SOCKET_ERROR);  // the only request modelled
    if (argp == nullptr) return fail(WSAEFAULT, SOCKET_ERROR);
    record->nonblocking = *argp != 0;
    return 0;
}

int WSAAPI connect(SOCKET s, const struct sockaddr* name, int namelen) {
    if (call_fails("connect")) return SOCKET_ERROR;
    NetworkTables::Socket* record = checked_socket(s);
    if (record == nullptr) return SOCKET_ERROR;
    if (name == nullptr || namelen < static_cast<int>(sizeof(SOCKADDR_IN))) return fail(WSAEFAULT, SOCKET_ERROR);
    if (record->connect_called) {
        Stage stage = stage_of(*record);
        return fail(stage == Stage::pending     ? WSAEALREADY
                    : stage == Stage::connected ? WSAEISCONN
                                                : WSAEINVAL,
                    SOCKET_ERROR);
    }
    SOCKADDR_IN target;
    std::memcpy(&target, name, sizeof target);
    if (target.sin_family != AF_INET) return fail(WSAEAFNOSUPPORT, SOCKET_ERROR);
    const u_short port = swap_bytes(target.sin_port);
    if (target.sin_addr.s_addr == 0 || port == 0) return fail(WSAEADDRNOTAVAIL, SOCKET_ERROR);
    record->address = ipv4_text(target.sin_addr.s_addr);
    record->port = port;
    record->connect_called = true;
    // An address not listed is silent; a TCP port not listed refuses.
    DWORD delay = 0;
    record->answer = TcpAnswer{TcpRule::silent, 0};
    auto host = computer().network.hosts.find(record->address);
    if (host != computer().network.hosts.end()) {
        auto rule = host->second.tcp.find(port);
        record->answer = rule != host->second.tcp.end() ? rule->second : TcpAnswer{};
        delay = host->second.delay_ms;
    }
    record->done_at = now_ms() + delay;
    computer().network.connections.push_back({record->address, port, record->answer.rule, now_ms()});
    track(record, ResourceKind::socket, record->address + ":" + std::to_string(port));
    if (!record->nonblocking) {
        // A blocking connect waits for the outcome, or gives up after its retries.
        bool silent = record->answer.rule == TcpRule::silent;
        computer().clock.elapsed_ms += silent ? kBlockingConnectTimeoutMs : delay;
        if (silent) {
            record->answer = TcpAnswer{TcpRule::error, WSAETIMEDOUT};
            record->done_at = now_ms();
        }
    }
    // A printer that answers keeps its side of the bytes from the moment it connects.
    if (record->answer.rule == TcpRule::answers) {
        auto rules = host->second.escpos.find(port);
        record->talk.emplace(rules != host->second.escpos.end() ? rules->second : EscposRules{}, record->done_at);
    }
    switch (stage_of(*record)) {
        case Stage::connected: return 0;
        case Stage::failed: return fail(error_of(record->answer), SOCKET_ERROR);
        default: return fail(WSAEWOULDBLOCK, SOCKET_ERROR);
    }
}

int WSAAPI select(int, fd_set* readfds, fd_set* writefds, fd_set* exceptfds, const struct timeval* timeout) {
    if (call_fails("select")) return SOCKET_ERROR;
    if (net().startups == 0) return fail(WSANOTINITIALISED, SOCKET_ERROR);
    const std::pair<fd_set*, Set> sets[] = {{readfds, Set::read}, {writefds, Set::write}, {exceptfds, Set::except}};
    // When the first socket asked about will be reported, if ever.
    std::optional<ULONGLONG> first;
    u_int asked = 0;
    for (const auto& [set, kind] : sets) {
        for (u_int i = 0; set != nullptr && i < set->fd_count; ++i, ++asked) {
            auto it = net().sockets.find(set->fd_array[i]);
            if (it == net().sockets.end()) return fail(WSAENOTSOCK, SOCKET_ERROR);
            std::optional<ULONGLONG> at = ready_at(it->second, kind);
            if (at && (!first || *at < *first)) first = at;
        }
    }
    if (asked == 0) return fail(WSAEINVAL, SOCKET_ERROR);  // as Windows: nothing to wait for
    if (timeout != nullptr && (timeout->tv_sec < 0 || timeout->tv_usec < 0)) return fail(WSAEINVAL, SOCKET_ERROR);
    // Waiting for ever on sockets that will never be reported would hang the
    // test; Windows would block. The simulator refuses it instead.
    if (timeout == nullptr && !first) return fail(WSAEINVAL, SOCKET_ERROR);
    if (!first || *first > now_ms()) {
        ULONGLONG wait = first ? *first - now_ms() : ~0ULL;
        if (timeout != nullptr) {
            ULONGLONG limit = static_cast<ULONGLONG>(timeout->tv_sec) * 1000 + (timeout->tv_usec + 999ULL) / 1000;
            if (limit < wait) wait = limit;
        }
        computer().clock.elapsed_ms += wait;
    }
    // On return each set holds only its ready sockets.
    int ready = 0;
    for (const auto& [set, kind] : sets) {
        u_int kept = 0;
        for (u_int i = 0; set != nullptr && i < set->fd_count; ++i) {
            std::optional<ULONGLONG> at = ready_at(net().sockets[set->fd_array[i]], kind);
            if (at && *at <= now_ms()) set->fd_array[kept++] = set->fd_array[i];
        }
        if (set != nullptr) set->fd_count = kept;
        ready += static_cast<int>(kept);
    }
    return ready;
}

int WSAAPI __WSAFDIsSet(SOCKET fd, fd_set* set) {
    // Behind FD_ISSET: a macro's helper rather than a call, so not logged.
    for (u_int i = 0; i < set->fd_count; ++i) {
        if (set->fd_array[i] == fd) return 1;
    }
    return 0;
}

int WSAAPI getsockopt(SOCKET s, int level, int optname, char* optval, int* optlen) {
    if (call_fails("getsockopt")) return SOCKET_ERROR;
    NetworkTables::Socket* record = checked_socket(s);
    if (record == nullptr) return SOCKET_ERROR;
    if (level != SOL_SOCKET || optname != SO_ERROR)
        return fail(WSAENOPROTOOPT, SOCKET_ERROR);  // the one option modelled
    if (optval == nullptr || optlen == nullptr || *optlen < static_cast<int>(sizeof(int))) {
        return fail(WSAEFAULT, SOCKET_ERROR);
    }
    int pending = stage_of(*record) == Stage::failed ? static_cast<int>(error_of(record->answer)) : 0;
    std::memcpy(optval, &pending, sizeof pending);
    *optlen = sizeof pending;
    return 0;
}

int WSAAPI closesocket(SOCKET s) {
    if (call_fails("closesocket")) return SOCKET_ERROR;
    NetworkTables::Socket* record = checked_socket(s);
    if (record == nullptr) return SOCKET_ERROR;
    untrack(record);
    net().sockets.erase(s);
    overwrite_last_error();
    return 0;
}

u_short WSAAPI htons(u_short hostshort) {
    call_fails("htons");  // cannot fail; logged
    return swap_bytes(hostshort);
}

}  // extern "C"
