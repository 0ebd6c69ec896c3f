// For a person at the console: a command line that was not understood.
#pragma once

#include <windows.h>

#include "output/text_buffer.h"

// One line: the argument at `argument` of the command `word` is not a number.
void append_bad_number_text(TextBuffer* text, const WCHAR* word, int argument);
