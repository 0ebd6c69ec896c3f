// "purge": deletes the jobs of one queue that have waited long enough.
#pragma once

#include <windows.h>

// Deletes every job of the queue (the default printer when the name is
// empty) at least `minimum_age_s` seconds old, and answers with one document
// counting what was deleted, refused and left. Returns 0 when nothing was
// refused, else 1.
int purge_command(const WCHAR* printer_argument, DWORD minimum_age_s);
