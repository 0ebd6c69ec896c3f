// printf-style formatting of exactly the conversions the program uses: %s,
// %d, %u, %x with an optional zero-padded width (%04u, %04x), each with the
// length l or ll (%lu, %llu). The C runtime's own printf engine would bring
// floating point and wide conversions into the exe, which needs none of them.
#pragma once

#include <stdarg.h>
#include <stddef.h>

#include "base/wide.h"

// Writes at most room - 1 bytes and a NUL into `out` (nothing when room is
// 0). Returns the length of the whole result, which did not fit when it is
// room or more: measure with room 0, then write into room enough.
size_t format_text(char* out, size_t room, const char* format, ...) MORVIK_PRINTF(3, 4);
size_t format_text_v(char* out, size_t room, const char* format, va_list args);
