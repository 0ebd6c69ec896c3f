// The bytes a receipt printer sends back on one device or connection.
#include "escpos.h"

#include <algorithm>

namespace sim {

Conversation::Conversation(const EscposRules& rules, ULONGLONG now) : rules_(rules) {
    if (!rules_.stale.empty()) arrivals_.push_back({now, rules_.stale});
    if (rules_.close_after == 0u) closes_at_ = now;
}

void Conversation::take(const std::string& bytes, ULONGLONG now) {
    // A printer acts on a real-time request wherever it stands in what it is sent.
    for (size_t i = 0; i + 2 < bytes.size(); ++i) {
        unsigned n = static_cast<unsigned char>(bytes[i + 2]);
        if (bytes[i] != 0x10 || bytes[i + 1] != 0x04 || n < 1 || n > 4) continue;
        i += 2;
        if (closes_at_ || !rules_.status[n - 1]) continue;
        arrivals_.push_back({now + rules_.delay_ms, *rules_.status[n - 1]});
        if (rules_.close_after && ++answers_ == *rules_.close_after) closes_at_ = now + rules_.delay_ms;
    }
}

bool Conversation::has_arrived(ULONGLONG now) const {
    return !arrivals_.empty() && arrivals_.front().at <= now;
}

std::string Conversation::read(size_t room, ULONGLONG now) {
    std::string got;
    while (has_arrived(now) && got.size() < room) {
        Arrival& first = arrivals_.front();
        size_t count = std::min(room - got.size(), first.bytes.size());
        got += first.bytes.substr(0, count);
        first.bytes.erase(0, count);
        if (first.bytes.empty()) arrivals_.pop_front();
    }
    return got;
}

std::optional<ULONGLONG> Conversation::next_arrival() const {
    if (arrivals_.empty()) return std::nullopt;
    return arrivals_.front().at;
}

}  // namespace sim
