// Hands a block of bytes to a print queue as one RAW spooler job.
#pragma once

#include <windows.h>

#include "output/text_buffer.h"

// The job number of the last successful submission; 0 until there is one.
extern DWORD last_job_id;

// Submits `count` bytes to `printer` as one RAW job named `document` and
// appends the outcome to `result` as JSON members ("ok" first, no braces).
// In pipe mode a progress line with the job number is written as soon as the
// spooler has numbered the job. Returns 0 when every byte was accepted, else 1.
int send_raw(const WCHAR* printer, const BYTE* data, DWORD count, TextBuffer* result, const WCHAR* document);
