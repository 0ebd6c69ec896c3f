// Bytes on a connection to a network receipt printer: send and recv, and
// when select reports such a connection readable. The printer answers what
// it is sent as a USB one does (escpos.h); it may close its end after a
// number of answers, after which recv gives what is left, then 0.
#include <algorithm>
#include <cstring>

#include "network_tables.h"

namespace sim {

namespace {

// The connection a send or recv may use; null with the last error set.
NetworkTables::Socket* connected_socket(SOCKET s, const char* buffer, int length, int flags) {
    NetworkTables::Socket* const none = nullptr;
    NetworkTables::Socket* record = checked_socket(s);
    if (record == nullptr) return none;
    if (stage_of(*record) != Stage::connected) return fail(WSAENOTCONN, none);
    if (flags != 0) return fail(WSAEOPNOTSUPP, none);  // MSG_PEEK, MSG_OOB...: not modelled
    if (length < 0 || (buffer == nullptr && length > 0)) return fail(WSAEFAULT, none);
    return record;
}

bool closed_by(const Conversation& talk, ULONGLONG now) {
    return talk.closes_at() && *talk.closes_at() <= now;
}

}  // namespace

std::optional<ULONGLONG> readable_at(const NetworkTables::Socket& record) {
    if (record.answer.rule != TcpRule::answers || !record.talk) return std::nullopt;
    const Conversation& talk = *record.talk;
    // An error to read is there as soon as the connection is.
    if (talk.rules().read_error != 0) return record.done_at;
    std::optional<ULONGLONG> at = talk.next_arrival();
    if (talk.closes_at() && (!at || *talk.closes_at() < *at)) at = talk.closes_at();
    if (!at) return std::nullopt;
    return std::max(*at, record.done_at);
}

}  // namespace sim

using namespace sim;

extern "C" {

int WSAAPI send(SOCKET s, const char* buf, int len, int flags) {
    if (call_fails("send")) return SOCKET_ERROR;
    NetworkTables::Socket* record = connected_socket(s, buf, len, flags);
    if (record == nullptr) return SOCKET_ERROR;
    Conversation& talk = *record->talk;
    if (talk.rules().write_error != 0) return fail(talk.rules().write_error, SOCKET_ERROR);
    // Sending after the peer has closed its end still succeeds, as the first
    // such send does on Windows; nothing answers it.
    std::string bytes(buf, static_cast<size_t>(len));
    computer().sent.push_back({record->address + ":" + std::to_string(record->port), bytes});
    talk.take(bytes, net_now_ms());
    return len;
}

int WSAAPI recv(SOCKET s, char* buf, int len, int flags) {
    if (call_fails("recv")) return SOCKET_ERROR;
    NetworkTables::Socket* record = connected_socket(s, buf, len, flags);
    if (record == nullptr) return SOCKET_ERROR;
    Conversation& talk = *record->talk;
    if (talk.rules().read_error != 0) return fail(talk.rules().read_error, SOCKET_ERROR);
    if (!talk.has_arrived(net_now_ms()) && !closed_by(talk, net_now_ms())) {
        if (record->nonblocking) return fail(WSAEWOULDBLOCK, SOCKET_ERROR);
        // A blocking recv waits for the next bytes or the peer's close;
        // Windows would wait for ever for neither, the simulator refuses.
        std::optional<ULONGLONG> at = readable_at(*record);
        if (!at) return fail(WSAEINVAL, SOCKET_ERROR);
        computer().clock.elapsed_ms = std::max(net_now_ms(), *at);
    }
    std::string bytes = talk.read(static_cast<size_t>(len), net_now_ms());
    if (!bytes.empty()) std::memcpy(buf, bytes.data(), bytes.size());
    return static_cast<int>(bytes.size());  // 0: the peer has closed and everything is read
}

}  // extern "C"
