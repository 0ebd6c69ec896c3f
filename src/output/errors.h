// Windows error texts, for documents and for people.
#pragma once

#include <windows.h>

// The system's text for a Windows error code without its trailing dots,
// blanks and line breaks; empty when there is none; for 0, a failure Windows
// gave no reason for, the program's own text. free() it. The last error is
// left as it was.
char* win32_message(DWORD code);

// The same without its line end only, for a sentence a person reads.
char* win32_message_line(DWORD code);
