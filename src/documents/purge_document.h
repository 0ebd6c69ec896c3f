// The document of "purge".
#pragma once

#include <windows.h>

#include "output/text_buffer.h"
#include "printing/purge.h"

// The result of a purge of `printer`, and a line feed.
void append_purge_document(TextBuffer* document, const PurgeResult& result, const WCHAR* printer);

// What "purge" says when no printer was named and Windows has no default.
// `default_error`: why the default printer could not be read, 0 when there is none.
void append_purge_no_printer(TextBuffer* document, DWORD default_error);
