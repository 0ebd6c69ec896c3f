// "driver": a one-page test printed through the printer's own driver.
#pragma once

#include <windows.h>

// Prints the test page on the queue (the default printer when the name is
// empty), laid out from the printer's resolution so it has the same physical
// size on a receipt printer and an office printer. Returns 0 when the page
// was handed to the spooler completely, else 1.
int driver_command(const WCHAR* printer_argument);
