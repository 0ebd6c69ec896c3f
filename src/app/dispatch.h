// The command line: command words, their arguments and the exit codes.
#pragma once

#include <windows.h>

// Exit codes of the whole program.
enum : int {
    EXIT_OK = 0,
    EXIT_FAILED = 1,  // the command's document reports the failure
    EXIT_UNKNOWN_COMMAND = 2,
    EXIT_OUT_OF_MEMORY = 3,  // given straight to ExitProcess
};

// Runs the command named by argument 1 and returns the exit code.
int dispatch_command(int argc, WCHAR** argv);

// The decimal number of argument `index`, or of default_text when the command
// line is too short: ASCII digits from the start, 2^64 - 1 when larger; 0 when
// the first character is not a digit (no sign, blank or hex prefix).
unsigned long long parse_number(int argc, WCHAR** argv, int index, const WCHAR* default_text);
