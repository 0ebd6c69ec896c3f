// Hands a block of bytes to a print queue as one RAW spooler job.
#pragma once

#include <windows.h>

#include "output/text_buffer.h"

// Submits `count` bytes to `printer` as one RAW job named `document` and
// appends the outcome to `result` as JSON members ("ok" first, no braces).
// In pipe mode a progress line with the job number is written as soon as the
// spooler has numbered the job. *job is that number (0 when no job was
// started). Returns 0 when every byte was accepted and the spooler committed
// the job, else 1.
int send_raw(const WCHAR* printer, const BYTE* data, DWORD count, TextBuffer* result, const WCHAR* document,
             DWORD* job);
