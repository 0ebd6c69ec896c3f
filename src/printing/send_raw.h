// Hands a block of bytes to a print queue as one RAW spooler job.
#pragma once

#include <windows.h>

#include "printing/print_result.h"

// Told the job's number as soon as the spooler has given it, before the
// first byte is written, so that the caller can pass it on at once.
typedef void (*JobNumbered)(DWORD job);

// Submits `count` bytes to `printer` (not empty) as one RAW job named
// `document`. on_numbered may be null. The outcome is sent only when every
// byte was taken and the spooler committed the job. A job that fails once
// started (its page, a write, its end) is cancelled (AbortPrinter, else
// SetJobW's delete), or ended as it is when the spooler refuses both;
// `cancelled` says it will not print, which a queue that prints directly
// cannot promise.
PrintResult send_raw(const WCHAR* printer, const BYTE* data, DWORD count, const WCHAR* document,
                     JobNumbered on_numbered);
