// Two small questions to an open queue, asked on every poll of a job watch.
#pragma once

#include <windows.h>

enum : int { PROBE_TEXT_ROOM = 128 };

// The queue's status bits, attribute bits, job count and port (128 units).
// When the spooler cannot answer, every output keeps its previous value.
void probe_printer(HANDLE printer, DWORD* status, DWORD* attributes, DWORD* jobs, WCHAR* port);

// Whether a job is in the queue (1) or gone (0). With a job number the job is
// looked up by it; with 0, every job submitted from 5000 ms before since_ms
// on counts (all jobs when since_ms is 0), their status bits ORed together.
// Sets status and status_text (128 units) on entry; sets *found_job only
// when a job is found. Memory lacking answers 1: a job is never taken for
// gone merely because memory was short.
int probe_job(HANDLE printer, DWORD job, unsigned long long since_ms, DWORD* status, WCHAR* status_text,
              DWORD* found_job);
