// The command line: command words, their arguments and the exit codes.
#pragma once

#include <windows.h>

#include "base/memory.h"

// Exit codes of the whole program.
enum : int {
    EXIT_OK = 0,
    EXIT_FAILED = 1,  // the command's document reports the failure
    EXIT_BAD_COMMAND_LINE = 2,  // an unknown command word, or an argument that is not a number
    // EXIT_OUT_OF_MEMORY (3, base/memory.h) is given straight to ExitProcess.
};

// One run of the program, as a command finds it.
struct Invocation {
    int argc;
    WCHAR** argv;
    const WCHAR* second;   // argument 2, "" when absent: a printer's name ("" the default), or list's "ids"
    bool console;          // standard output is a console: a person reads Russian text
};

// Runs the command named by argument 1 and returns the exit code.
int dispatch_command(int argc, WCHAR** argv, bool console);

// Whether a text is a number as the command line takes one: ASCII digits
// only, at least one (no sign, blank, hex prefix, unit or other digits).
bool is_number(const WCHAR* text);

// The decimal number of argument `index`, or of default_text when the
// argument is absent or empty: its ASCII digits, 2^64 - 1 when larger.
// Dispatch has refused an argument that is not a number before.
unsigned long long parse_number(int argc, WCHAR** argv, int index, const WCHAR* default_text);

// The same for a number handed on as 32 bits: 4294967295 when larger, never
// a wrapped smaller number.
DWORD parse_dword(const Invocation& call, int index, const WCHAR* default_text);
