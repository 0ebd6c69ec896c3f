// JSON values in a text buffer: strings escaped the program's way, and the
// literals its documents use.
#pragma once

#include "output/text_buffer.h"

// Appends a UTF-16 text (null: empty) as one quoted JSON string of UTF-8.
void append_json_string(TextBuffer* buffer, const WCHAR* text);

// `lead` (the separator and the member's name, such as `,"port":`), then the
// text as a JSON string.
void append_json_member(TextBuffer* buffer, const char* lead, const WCHAR* text);

// The same for a text that is UTF-8 already.
void append_json_utf8(TextBuffer* buffer, const char* text);

// "true" or "false".
const char* json_boolean(bool value);

// An answer of yes (1), no (0) or "cannot tell" (-1) as true, false or null.
const char* json_presence(int presence);
