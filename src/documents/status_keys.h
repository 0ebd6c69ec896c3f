// The JSON keys of the spooler's status bits.
#pragma once

#include <windows.h>

#include "output/text_buffer.h"

// One row of a key table: a status bit and its key. A table ends with a row
// whose key is null.
struct StatusKey {
    DWORD mask;
    const char* key;
};

extern const StatusKey printer_status_keys[];  // PRINTER_STATUS_*
extern const StatusKey job_status_keys[];      // JOB_STATUS_*

// A JSON array of the keys of every row whose bit is set, in ascending bit
// order; [] when none is.
void append_status_keys(TextBuffer* buffer, DWORD status, const StatusKey* table);
