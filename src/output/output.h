// The one writer to standard output, for a console and for a pipe alike.
#pragma once

// Whether standard output is an interactive console (a person reads): a
// valid handle on which GetConsoleMode succeeds. Settled once at the start.
bool detect_console_mode();

// Writes a whole NUL-terminated UTF-8 text: as UTF-16 through the console's
// own interface to a console, else as the bytes themselves, flushed.
// Failures are silent: a document nobody can receive is dropped.
void write_output(const char* text, bool console);
