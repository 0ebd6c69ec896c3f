// Windows error texts and the failure members of the JSON documents.
#pragma once

#include <windows.h>

#include "output/text_buffer.h"

// What a command says when no printer was named and Windows has no default.
extern const char kNoPrinterMessage[];

// The system's text for a Windows error code without its trailing dots,
// blanks and line breaks; empty when there is none; for 0, a failure Windows
// gave no reason for, the program's own text. free() it. The last error is
// left as it was.
char* win32_message(DWORD code);

// The same without its line end only, for a sentence a person reads.
char* win32_message_line(DWORD code);

// The members "ok":false,"error":NAME,"win32":CODE,"message":TEXT, no braces.
void append_error(TextBuffer* buffer, const char* name, DWORD code);

// The same without "ok", for a document whose "ok" stands elsewhere.
void append_error_members(TextBuffer* buffer, const char* name, DWORD code);

// The fixed failure members for a command with no printer named and no
// default printer in Windows.
void append_no_printer(TextBuffer* buffer);
