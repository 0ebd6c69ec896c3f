// The words for the spooler's status bits: a JSON key and a Russian text for
// each bit, in ascending bit order, and the writers that use them.
#pragma once

#include <windows.h>

#include "output/text_buffer.h"

// One row of a status word table. A table ends with a row whose key is null.
struct StatusWord {
    DWORD mask;
    const char* key;
    const WCHAR* text;
};

extern const StatusWord printer_status_words[];
extern const StatusWord job_status_words[];

// A JSON array of the keys of every row whose bit is set; [] when none is.
void append_status_keys(TextBuffer* buffer, DWORD status, const StatusWord* table);

// The Russian texts of every row whose bit is set, joined by ", "; nothing
// when none is (the caller says what stands instead).
void append_status_words(TextBuffer* buffer, DWORD status, const StatusWord* table);
