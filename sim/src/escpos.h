// A receipt printer that answers: how it answers the real-time status
// requests (DLE EOT n) written to it, as a scenario scripts it, and the bytes
// going back and forth on one device or connection on the virtual clock.
// USB devices and network connections share it.
#pragma once

#include <windows.h>

#include <array>
#include <deque>
#include <optional>
#include <string>

namespace sim {

struct EscposRules {
    // The answer to 10 04 n for n = 1..4 (index n - 1); unset: none.
    std::array<std::optional<std::string>, 4> status;
    DWORD delay_ms = 1;                   // how long after the write an answer arrives
    std::string stale;                    // bytes waiting to be read before any question
    DWORD open_error = 0;                 // the device does not open (a connection fails) with it
    DWORD write_error = 0;                // every write fails with it
    DWORD read_error = 0;                 // every read fails with it
    std::optional<unsigned> close_after;  // a connection: the peer closes after this many answers
};

// The bytes on one device or connection. Answers arrive in the order of the
// questions (one delay for all), so arrivals stay in time order.
class Conversation {
public:
    Conversation(const EscposRules& rules, ULONGLONG now);

    // Takes bytes written at `now`: each 10 04 n in them (n from 1 to 4) with
    // an answer is answered `delay_ms` later, unless the peer has closed.
    void take(const std::string& bytes, ULONGLONG now);
    // Whether bytes have arrived by `now` and not been read yet.
    bool has_arrived(ULONGLONG now) const;
    // Bytes arrived by `now`, at most `room`, taken from what waits.
    std::string read(size_t room, ULONGLONG now);
    // When the first bytes not read yet arrive (at or before `now` when they
    // wait already); unset: none are coming.
    std::optional<ULONGLONG> next_arrival() const;
    // When the peer closes its end (after `close_after` answers); unset: never.
    std::optional<ULONGLONG> closes_at() const { return closes_at_; }
    const EscposRules& rules() const { return rules_; }

private:
    struct Arrival {
        ULONGLONG at;
        std::string bytes;
    };
    EscposRules rules_;
    std::deque<Arrival> arrivals_;
    unsigned answers_ = 0;
    std::optional<ULONGLONG> closes_at_;
};

}  // namespace sim
