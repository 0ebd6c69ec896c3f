#include "output/output.h"

#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "base/memory.h"

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
    // A disk file is flushed so that a reader of the file sees the document at
    // once. A pipe's reader sees the bytes as soon as they are written, and a
    // flush there waits until the reader has read them all: a till that reads
    // only after the program has ended would wait for ever.
    if (GetFileType(handle) == FILE_TYPE_DISK) FlushFileBuffers(handle);
}

// Windows 7's console host fails a write much over 64 KiB and shows nothing,
// so text goes out in pieces well below that.
const DWORD kConsolePiece = 8192;

void write_units(HANDLE handle, const WCHAR* units, DWORD count) {
    while (count > 0) {
        DWORD piece = count < kConsolePiece ? count : kConsolePiece;
        // A surrogate pair is one character: never cut between its halves.
        if (piece < count && IS_HIGH_SURROGATE(units[piece - 1])) --piece;
        DWORD written = 0;
        if (!WriteConsoleW(handle, units, piece, &written, nullptr) || written == 0 || written > piece) return;
        units += written;
        count -= written;
    }
}

void write_console(HANDLE handle, const char* text) {
    int units = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (units <= 0) return;
    WCHAR* wide = static_cast<WCHAR*>(allocate(static_cast<size_t>(units) * sizeof(WCHAR)));
    if (MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, units) > 0) {
        write_units(handle, wide, static_cast<DWORD>(units - 1));
    }
    free(wide);
}

}  // namespace

bool detect_console_mode() {
    HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
    // A pipe, a file or a null device makes GetConsoleMode fail. The file type
    // cannot tell: the null device is a character device like a console.
    DWORD mode = 0;
    return GetConsoleMode(handle, &mode) != FALSE;
}

void write_output(const char* text, bool console) {
    HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
    if (console) {
        write_console(handle, text);
    } else {
        write_bytes(handle, text, static_cast<DWORD>(strlen(text)));
    }
}
