// The entry point: no error boxes, console or pipe decided once, then one command.
#include <windows.h>

#include "app/dispatch.h"
#include "output/output.h"

bool console_mode = false;

namespace {

bool detect_console_mode() {
    HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
    // A pipe, a file or a null device makes GetConsoleMode fail. The file type
    // cannot tell: the null device is a character device like a console.
    DWORD mode = 0;
    return GetConsoleMode(handle, &mode) != FALSE;
}

}  // namespace

extern "C" int wmain(int argc, wchar_t** argv) {
    // No critical-error, fault or open-file boxes: a cash register has nobody to click them.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    console_mode = detect_console_mode();
    return dispatch_command(argc, argv);
}
