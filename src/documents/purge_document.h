// The document of "purge".
#pragma once

#include <windows.h>

#include "output/text_buffer.h"
#include "printing/purge.h"

// The result of a purge of `printer`, and a line feed.
void append_purge_document(TextBuffer* document, const PurgeResult& result, const WCHAR* printer);
