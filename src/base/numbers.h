// 64-bit numbers divided by small ones in 32-bit steps: a 32-bit exe would
// otherwise bring in the compiler's 64-bit division routines, and their
// unwind tables, for a few ages and the formatter's digits.
#pragma once

// value / divisor, and value % divisor in *remainder when it is not null.
// The divisor is 1 to 65535.
unsigned long long divide_small(unsigned long long value, unsigned divisor, unsigned* remainder = nullptr);
