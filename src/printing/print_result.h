// What the work of a print command came to ("send", "test", "driver"): the
// documents and the texts for a person are both made from it.
#pragma once

#include <windows.h>

enum class PrintOutcome : int {
    sent,
    no_printer,        // no printer named and no default printer
    empty,             // "send": nothing on standard input
    too_large,         // "send": more than 8 MiB on standard input
    read_failed,       // "send": standard input could not be read to its end
    open_failed,
    startdoc_failed,
    startpage_failed,
    write_failed,      // the spooler refused the bytes part-way
    short_write,       // the spooler stopped taking bytes without an error
    print_failed,      // the job or page was not finished
};

struct PrintResult {
    PrintOutcome outcome;
    DWORD error;     // the Windows error of the call that failed; 0 when it set none
    DWORD job;       // the spooler's job number; 0 when no job was started
    DWORD bytes;     // raw jobs: the bytes to send
    DWORD written;   // raw jobs: the bytes the spooler took
    bool cancelled;  // a job that failed once started was cancelled and will not print
    bool raw;        // a raw job ("send", "test"), not the driver page
};

// An outcome decided before any job was started: no numbers to tell.
inline PrintResult print_result_of(PrintOutcome outcome, DWORD error) {
    return PrintResult{outcome, error, 0, 0, 0, false, false};
}
