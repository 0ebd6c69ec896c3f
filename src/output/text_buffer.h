// The growable UTF-8 buffer in which every document is built: plain and
// formatted appends, and UTF-16 texts turned into UTF-8.
#pragma once

#include <windows.h>

#include "base/memory.h"
#include "base/wide.h"

// Always NUL-terminated once anything was appended. The builder frees data
// with free() after writing the document.
struct TextBuffer {
    char* data;
    DWORD length;    // bytes held, without the terminating NUL
    DWORD capacity;  // bytes allocated: 0, or 1024 * 2^k
};

// The program's own texts are compiled in Windows-1251 and appended as UTF-8
// (text_buffer.cpp says how); UTF-8 texts pass unchanged.
void append(TextBuffer* buffer, const char* text);

// The arrow of a path through the Control Panel, which 1251 lacks.
#define TEXT_ARROW "\x98"

// Appends `count` bytes of a text that need not end there.
void append_bytes(TextBuffer* buffer, const char* bytes, size_t count);

// A formatted piece (the conversions of output/format.h), whole.
void append_format(TextBuffer* buffer, const char* format, ...) MORVIK_PRINTF(2, 3);

// A new UTF-8 copy of a UTF-16 text (null counts as empty); free() it.
char* to_utf8(const WCHAR* text);

// Appends a UTF-16 text as UTF-8, unquoted (for texts a person reads).
void append_utf16(TextBuffer* buffer, const WCHAR* text);

