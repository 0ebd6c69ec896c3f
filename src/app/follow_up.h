// After a test print at a console: the job followed for up to 15 s, and the
// person told whether Windows handed it to the printer, or why it hangs.
#pragma once

#include <windows.h>

// `escpos`: the test receipt, else the driver page.
void follow_up_for_person(const WCHAR* printer, DWORD job, bool escpos);
