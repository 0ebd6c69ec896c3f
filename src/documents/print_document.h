// The documents of "send", "test" and "driver": the progress line and the result.
#pragma once

#include <windows.h>

#include "output/text_buffer.h"
#include "printing/print_result.h"

enum : int { PROGRESS_LINE_ROOM = 64 };

// {"stage":"write","job":N} and a line feed, the job's number told before
// the first byte is written, into `line` (PROGRESS_LINE_ROOM bytes): on the
// stack, so that no allocation can fail while a job is open.
void format_progress_line(char* line, DWORD job);

// The result: its members, then "printer" (the queue worked on, "" when none
// was named and Windows has no default), and a line feed.
void append_print_document(TextBuffer* document, const PrintResult& result, const WCHAR* printer);
