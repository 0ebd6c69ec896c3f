// "list": every printer and printing device of this computer as one JSON document.
#pragma once

#include <windows.h>

// Gathers devices and printers (and, when the argument is "ids", asks each
// USB printer for its device ID) and writes the document. Returns 0.
int list_command(const WCHAR* argument);
