// The entry point: no error boxes, console or pipe decided once, then one command.
#include <windows.h>

#include "app/dispatch.h"
#include "output/output.h"

extern "C" int wmain(int argc, wchar_t** argv) {
    // No critical-error, fault or open-file boxes: a cash register has nobody to click them.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    return dispatch_command(argc, argv, detect_console_mode());
}
