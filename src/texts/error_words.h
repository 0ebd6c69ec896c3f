// How a person is told a Windows error: its number and its system text.
#pragma once

#include <windows.h>

#include "output/text_buffer.h"

// "ошибка 1722: The RPC server is unavailable", or "ошибка 10049" alone when
// the system has no text for it.
void append_error_words(TextBuffer* text, DWORD error);
