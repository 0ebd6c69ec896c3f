// The Russian account of a print result for a person at the console.
#pragma once

#include <windows.h>

enum : int { NORMALIZED_NAME_ROOM = 260 };

// Writes, in place of the JSON result, a short Russian text: success, a
// queue that does not exist (with this computer's printers and a near-name
// suggestion), or any other failure with the JSON shown.
void render_send_result(const char* result_text, const WCHAR* printer);

// The answer of a print command ("send", "test", "driver"): its outcome
// members wrapped with the queue name into one document, written through
// the pipe, or told in Russian at a console.
void write_print_result(const char* members, const WCHAR* printer);

// Folds a queue name for the near-name search: blanks, tabs and ( ) - . _
// left out, at most 259 characters kept, all letters lower-cased.
void normalize_name(const WCHAR* name, WCHAR* folded);
