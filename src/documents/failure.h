// The failure members every document that reports a failure carries:
// "ok":false, "error", "win32" and "message", in one writer for all.
#pragma once

#include <windows.h>

#include "output/text_buffer.h"

// Which of the members a document carries, and how its message is given.
enum FailureForm : unsigned {
    FAILURE_MEMBERS = 0,           // "error","win32","message": "ok" stands elsewhere, or not at all
    FAILURE_WITH_OK = 1,           // "ok":false first
    FAILURE_WITHOUT_WIN32 = 2,     // no "win32" (watch's NO_PRINTER)
    FAILURE_MESSAGE_AT_MOST_255 = 4,  // a system text longer than 255 characters is given as ""
    FAILURE_CODE_ONLY = 8,            // "error" alone: no "win32", no "message" (UNKNOWN_COMMAND)
};

// NO_PRINTER: no printer named and no default printer (default_error 0), or
// the default printer could not be read (its error and the system's text).
void append_no_printer(TextBuffer* document, DWORD default_error, unsigned form, const char* after_ok = nullptr);

// The whole NO_PRINTER document of a command that says nothing more.
void append_no_printer_document(TextBuffer* document, DWORD default_error);

// The members, no braces and no comma before or after. `message` is the
// program's own text for its own failures; null: the system's text of
// `win32` (the program's own when Windows gave no reason, win32 0).
// `after_ok`: members that stand between "ok" and "error" in the document,
// each with its comma before it.
void append_failure(TextBuffer* document, const char* code, DWORD win32, const char* message, unsigned form,
                    const char* after_ok = nullptr);
