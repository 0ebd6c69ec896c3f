// What "send", "test" and "driver" share: telling the outcome of a print.
#pragma once

#include <windows.h>

#include "app/dispatch.h"
#include "printing/print_result.h"

// Writes the progress line {"stage":"write","job":N} through the pipe: handed
// to the raw submission, which calls it as soon as the job is numbered.
void say_job_number(DWORD job);

// The document through a pipe; at a console the Russian account, for which a
// queue that could not be opened has the computer's printers gathered afresh.
void say_print_result(const Invocation& call, const PrintResult& result, const WCHAR* printer);

// The exit code of a print.
int exit_code_of(const PrintResult& result);
