// The Russian account of a print result for a person at the console.
#pragma once

#include <windows.h>

// Writes, in place of the JSON result, a short Russian text: success, a
// queue that does not exist (with this computer's printers and a near-name
// suggestion), or any other failure with the JSON shown.
void render_send_result(const char* result_text, const WCHAR* printer);

// The answer of a print command ("send", "test", "driver"): its outcome
// members wrapped with the queue name into one document, written through
// the pipe, or told in Russian at a console.
void write_print_result(const char* members, const WCHAR* printer);

// A queue name folded for the near-name search: blanks, tabs and ( ) - . _
// left out, all letters lower-cased, the whole name kept. free() it.
WCHAR* normalized_name(const WCHAR* name);
