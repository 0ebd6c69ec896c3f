#include "base/numbers.h"

unsigned long long divide_small(unsigned long long value, unsigned divisor, unsigned* remainder) {
    // Long division in 32-, 16- and 16-bit digits: each step's dividend (the
    // last remainder, below 2^16, and the next digit) fits 32 bits.
    unsigned high = static_cast<unsigned>(value >> 32);
    unsigned low = static_cast<unsigned>(value);
    unsigned quotient_high = high / divisor;
    unsigned rest = high % divisor;
    unsigned middle = (rest << 16) | (low >> 16);
    unsigned quotient_middle = middle / divisor;
    rest = middle % divisor;
    unsigned bottom = (rest << 16) | (low & 0xFFFFu);
    unsigned quotient_low = bottom / divisor;
    if (remainder != nullptr) *remainder = bottom % divisor;
    return (static_cast<unsigned long long>(quotient_high) << 32) | (quotient_middle << 16) | quotient_low;
}
