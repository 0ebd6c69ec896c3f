// The one simulated computer and its reset to a new, empty machine.
#include "computer.h"

namespace sim {

namespace {
// 2026-03-01T06:05:07.250Z: an ordinary morning at the shop.
constexpr ULONGLONG kDefaultStartFiletime = 134168187072500000ULL;
}  // namespace

Computer& computer() {
    static Computer the_computer;
    return the_computer;
}

void reset() {
    Computer& pc = computer();
    pc = Computer{};
    pc.clock.start_filetime = kDefaultStartFiletime;
}

ULONGLONG now_filetime() {
    const ClockState& clock = computer().clock;
    return clock.start_filetime + clock.elapsed_ms * 10000ULL;
}

}  // namespace sim
