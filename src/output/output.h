// The one writer to standard output, for a console and for a pipe alike.
#pragma once

// True when standard output is an interactive console (a person reads);
// settled once by the entry point before any command runs.
extern bool console_mode;

// Whether standard output is an interactive console: a valid handle on which
// GetConsoleMode succeeds.
bool detect_console_mode();

// Writes a whole NUL-terminated UTF-8 text: as UTF-16 through the console's
// own interface in console mode, else as the bytes themselves, flushed.
// Failures are silent: a document nobody can receive is dropped.
void write_output(const char* text);
