// Small UTF-16 helpers that behave the same in both builds. The C library's
// wide functions assume a 32-bit wchar_t on Linux, so the program never uses them.
#pragma once

#include <windows.h>

// printf-style format checking for the program's own formatters.
#if defined(__clang__)
#define MORVIK_PRINTF(format_index, first_arg) __attribute__((format(printf, format_index, first_arg)))
#else
#define MORVIK_PRINTF(format_index, first_arg) __attribute__((format(gnu_printf, format_index, first_arg)))
#endif

// Number of UTF-16 units before the terminating NUL; 0 for a null pointer.
size_t wide_length(const WCHAR* text);

// Whether two texts are equal when ASCII letters are folded to one case;
// every other character must match exactly. Null counts as empty.
bool wide_equal_nocase(const WCHAR* a, const WCHAR* b);

// The same over the first `count` units of each. It stops at the first unit
// that differs, so a shorter text ends the comparison at its NUL.
bool wide_equal_nocase_n(const WCHAR* a, const WCHAR* b, size_t count);

// Exact comparisons, unit by unit. Null counts as empty.
bool wide_equal(const WCHAR* a, const WCHAR* b);
bool wide_contains(const WCHAR* text, const WCHAR* fragment);

// Whether fragment occurs in text, ignoring the case of ASCII letters only.
// False when either is null or the text is empty.
bool wide_contains_nocase(const WCHAR* text, const WCHAR* fragment);

// Copies text into a fixed room of room_units units, cut to room_units - 1
// units (one less rather than half a surrogate pair) and always
// NUL-terminated. A null text gives an empty string.
void wide_copy(WCHAR* room, size_t room_units, const WCHAR* text);
