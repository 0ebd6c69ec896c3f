// The Russian words for the spooler's status bits.
#pragma once

#include <windows.h>

#include "output/text_buffer.h"

// One row of a word table: a status bit and its words. A table ends with a
// row whose words are null.
struct StatusWord {
    DWORD mask;
    const char* words;
};

extern const StatusWord printer_status_words[];  // PRINTER_STATUS_*
extern const StatusWord job_status_words[];      // JOB_STATUS_*

// The words of every row whose bit is set, in ascending bit order, joined by
// ", "; nothing when none is (the caller says what stands instead).
void append_status_words(TextBuffer* buffer, DWORD status, const StatusWord* table);

// A job's state: the spooler's own text for it first, when it has one, then
// the words of its status bits; "в очереди" when there is neither.
void append_job_state(TextBuffer* buffer, const WCHAR* status_text, DWORD status);
