// The growable UTF-8 buffer in which every document is built, and the writers
// that put JSON, Windows error texts and status words into it.
#pragma once

#include <windows.h>

#include "base/wide.h"

// Always NUL-terminated once anything was appended. The builder frees data
// with free() after writing the document.
struct TextBuffer {
    char* data;
    DWORD length;    // bytes held, without the terminating NUL
    DWORD capacity;  // bytes allocated: 0, or 1024 * 2^k
};

// One row of a status word table: a status bit, its JSON key and its Russian
// text. A table ends with a row whose key is null.
struct StatusWord {
    DWORD mask;
    const char* key;
    const WCHAR* text;
};

void append(TextBuffer* buffer, const char* text);
void append_format(TextBuffer* buffer, const char* format, ...) MORVIK_PRINTF(2, 3);

// A new UTF-8 copy of a UTF-16 text (null counts as empty); free() it.
char* to_utf8(const WCHAR* text);

void append_json_string(TextBuffer* buffer, const WCHAR* text);

// Appends a UTF-16 text as UTF-8, unquoted (for texts a person reads).
void append_utf16(TextBuffer* buffer, const WCHAR* text);

// The system's text for a Windows error code without its trailing dots,
// blanks and line breaks; empty when there is none. free() it.
char* win32_message(DWORD code);

// The system's text for a Windows error code without its line end only, for
// a sentence a person reads; empty when there is none. free() it.
char* win32_message_line(DWORD code);

// The members "ok":false,"error":NAME,"win32":CODE,"message":TEXT, no braces.
void append_error(TextBuffer* buffer, const char* name, DWORD code);

// The same without "ok", for a document whose "ok" stands elsewhere.
void append_error_members(TextBuffer* buffer, const char* name, DWORD code);

// The fixed failure members for a command with no printer named and no
// default printer in Windows.
void append_no_printer(TextBuffer* buffer);

void append_status_keys(TextBuffer* buffer, DWORD status, const StatusWord* table);
void append_status_words(TextBuffer* buffer, DWORD status, const StatusWord* table);

// Ends the process with exit code 3: memory has run out.
[[noreturn]] void out_of_memory();
