#include "output/output.h"

#include <stdlib.h>
#include <string.h>
#include <windows.h>

namespace {

void write_bytes(HANDLE handle, const char* bytes, DWORD count) {
    // A pipe may take fewer bytes than offered; a document cut short would be
    // corrupt JSON, so the rest is offered again until a write fails or stalls.
    while (count > 0) {
        DWORD written = 0;
        if (!WriteFile(handle, bytes, count, &written, nullptr) || written == 0 || written > count) break;
        bytes += written;
        count -= written;
    }
    FlushFileBuffers(handle);
}

void write_console(HANDLE handle, const char* text) {
    int units = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (units <= 0) return;
    // Running out of memory here only loses this text; the command goes on.
    WCHAR* wide = static_cast<WCHAR*>(malloc(static_cast<size_t>(units) * sizeof(WCHAR)));
    if (wide == nullptr) return;
    if (MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, units) > 0) {
        DWORD written = 0;
        WriteConsoleW(handle, wide, static_cast<DWORD>(units - 1), &written, nullptr);
    }
    free(wide);
}

}  // namespace

void write_output(const char* text) {
    HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
    if (console_mode) {
        write_console(handle, text);
    } else {
        write_bytes(handle, text, static_cast<DWORD>(strlen(text)));
    }
}
