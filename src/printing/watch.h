// Following a job until it leaves the spooler: "watch" for the point-of-sale
// application, and the follow-up of a test print for a person.
#pragma once

#include <windows.h>

// Polls the queue every 400 ms until the job is gone ("done"), a problem has
// lasted more than 2999 ms ("error") or the limit (clamped to 1..120 s) runs
// out ("stuck"), then writes one document. Returns 0 for "done", else 1.
int watch_command(const WCHAR* printer, DWORD job, DWORD limit_ms, unsigned long long since_ms);

// For a person after a test print: follows the job for up to 15 s and says in
// Russian whether Windows handed it to the printer, or why it hangs.
void follow_job(const WCHAR* printer, DWORD job, bool escpos);
