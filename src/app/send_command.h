// "send": the receipt bytes on standard input go to a queue as one RAW job.
#pragma once

#include <windows.h>

// Reads standard input whole, submits it to the named queue (the default
// printer when the name is empty) and answers with one document. Returns 0
// when the job was submitted completely, else 1.
int send_command(const WCHAR* printer_argument);
