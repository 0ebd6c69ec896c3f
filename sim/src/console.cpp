// Standard handles and the console. Standard output is a console, a pipe, a
// file, a null handle or an invalid one; standard input is a pipe whose bytes
// come from the scenario or from the real standard input.
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "device_model.h"

namespace {

// Distinct, never dereferenced values, as real handles are.
HANDLE const kStdin = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x50));
HANDLE const kStdout = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x54));
HANDLE const kStderr = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x58));

void forward(const char* bytes, size_t count) {
    while (count > 0) {
        ssize_t written = ::write(1, bytes, count);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;  // the reader is gone: drop the rest, as a broken pipe would
        bytes += written;
        count -= static_cast<size_t>(written);
    }
}

// Console text as simwin shows it: UTF-8.
void forward_text(const std::u16string& text) {
    std::string bytes = sim::utf16_to_utf8(text);
    forward(bytes.data(), bytes.size());
}

using sim::fail;

// The read after the last byte: the writer has closed its end, or (an "end"
// of 0) a file has ended, which is a read of 0 bytes.
BOOL end_of_input(const sim::StdinState& in) {
    if (in.then_error == ERROR_SUCCESS) return TRUE;
    return fail(in.then_error);
}

}  // namespace

extern "C" {

HANDLE WINAPI GetStdHandle(DWORD nStdHandle) {
    const sim::Computer& pc = sim::computer();
    if (sim::call_fails("GetStdHandle")) return INVALID_HANDLE_VALUE;
    if (nStdHandle == STD_OUTPUT_HANDLE) {
        if (pc.stdout_kind == sim::StdoutKind::null) return nullptr;
        if (pc.stdout_kind == sim::StdoutKind::invalid) return INVALID_HANDLE_VALUE;
        return kStdout;
    }
    if (nStdHandle == STD_INPUT_HANDLE) {
        if (pc.stdin_state.kind == sim::StdinKind::null) return nullptr;
        if (pc.stdin_state.kind == sim::StdinKind::invalid) return INVALID_HANDLE_VALUE;
        return kStdin;
    }
    if (nStdHandle == STD_ERROR_HANDLE) return kStderr;
    return fail(ERROR_INVALID_HANDLE, INVALID_HANDLE_VALUE);
}

BOOL WINAPI GetConsoleMode(HANDLE hConsoleHandle, LPDWORD lpMode) {
    if (sim::call_fails("GetConsoleMode")) return FALSE;
    if (hConsoleHandle != kStdout || sim::computer().stdout_kind != sim::StdoutKind::console) {
        return fail(ERROR_INVALID_HANDLE);
    }
    if (lpMode == nullptr) return fail(ERROR_INVALID_PARAMETER);
    *lpMode = 0x0003;  // ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT
    return TRUE;
}

BOOL WINAPI WriteConsoleW(HANDLE hConsoleOutput, const VOID* lpBuffer, DWORD nNumberOfCharsToWrite,
                          LPDWORD lpNumberOfCharsWritten, LPVOID) {
    sim::Computer& pc = sim::computer();
    if (lpNumberOfCharsWritten != nullptr) *lpNumberOfCharsWritten = 0;
    if (sim::call_fails("WriteConsoleW")) return FALSE;
    if (hConsoleOutput != kStdout || pc.stdout_kind != sim::StdoutKind::console) {
        return fail(ERROR_INVALID_HANDLE);
    }
    if (lpBuffer == nullptr && nNumberOfCharsToWrite > 0) return fail(ERROR_INVALID_PARAMETER);
    // Windows 7's console host refuses large writes whole, showing nothing.
    if (pc.console_max_write && nNumberOfCharsToWrite > *pc.console_max_write) return fail(ERROR_NOT_ENOUGH_MEMORY);
    std::u16string text(static_cast<const char16_t*>(lpBuffer), nNumberOfCharsToWrite);
    pc.console_text += text;
    if (pc.forward_output) forward_text(text);
    if (lpNumberOfCharsWritten != nullptr) *lpNumberOfCharsWritten = nNumberOfCharsToWrite;
    return TRUE;
}

BOOL WINAPI ReadConsoleW(HANDLE hConsoleInput, LPVOID lpBuffer, DWORD nNumberOfCharsToRead,
                         LPDWORD lpNumberOfCharsRead, LPVOID) {
    sim::Computer& pc = sim::computer();
    if (lpNumberOfCharsRead != nullptr) *lpNumberOfCharsRead = 0;
    if (sim::call_fails("ReadConsoleW")) return FALSE;
    if (hConsoleInput != kStdin || !pc.read_console) return fail(ERROR_INVALID_HANDLE);
    // The person pressed Enter at once.
    const char16_t answer[] = u"\r\n";
    DWORD count = nNumberOfCharsToRead < 2 ? nNumberOfCharsToRead : 2;
    if (count > 0) std::memcpy(lpBuffer, answer, count * sizeof(char16_t));
    pc.console_input_read.append(answer, count);
    if (lpNumberOfCharsRead != nullptr) *lpNumberOfCharsRead = count;
    return TRUE;
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
    sim::Computer& pc = sim::computer();
    if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = 0;
    if (sim::call_fails("WriteFile")) return FALSE;
    if (sim::device_of(hFile) != nullptr) {
        return sim::device_write(hFile, lpBuffer, nNumberOfBytesToWrite, lpOverlapped);
    }
    if (hFile == kStderr) {
        if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = nNumberOfBytesToWrite;
        return TRUE;  // nobody reads the simulated standard error
    }
    if (hFile != kStdout || pc.stdout_kind == sim::StdoutKind::null ||
        pc.stdout_kind == sim::StdoutKind::invalid) {
        return fail(ERROR_INVALID_HANDLE);
    }
    if (lpBuffer == nullptr && nNumberOfBytesToWrite > 0) return fail(ERROR_INVALID_USER_BUFFER);
    const char* bytes = static_cast<const char*>(lpBuffer);
    DWORD taken = nNumberOfBytesToWrite;
    if (pc.stdout_kind == sim::StdoutKind::console) {
        // WriteFile on a console shows the bytes in the console's code page:
        // 866 on a Russian Windows, so UTF-8 Cyrillic shows garbled there.
        std::u16string shown = sim::oem_to_utf16(std::string(bytes, nNumberOfBytesToWrite));
        pc.console_text += shown;
        if (pc.forward_output) forward_text(shown);
    } else {
        // A pipe may take part of what it is offered, or nothing at all.
        const sim::WriteBehaviour& rule = pc.stdout_write;
        if (!rule.accepts(static_cast<DWORD>(pc.stdout_bytes.size()), nNumberOfBytesToWrite, &taken)) {
            return fail(rule.fail_error);
        }
        pc.stdout_bytes.append(bytes, taken);
        if (pc.forward_output) forward(bytes, taken);
    }
    if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = taken;
    return TRUE;
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                     LPOVERLAPPED lpOverlapped) {
    sim::StdinState& in = sim::computer().stdin_state;
    if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = 0;
    if (sim::call_fails("ReadFile")) return FALSE;
    if (sim::device_of(hFile) != nullptr) {
        return sim::device_read(hFile, lpBuffer, nNumberOfBytesToRead, lpNumberOfBytesRead, lpOverlapped);
    }
    if (hFile != kStdin || in.kind == sim::StdinKind::null || in.kind == sim::StdinKind::invalid) {
        return fail(ERROR_INVALID_HANDLE);
    }
    if (lpBuffer == nullptr && nNumberOfBytesToRead > 0) return fail(ERROR_INVALID_USER_BUFFER);
    if (nNumberOfBytesToRead == 0) return TRUE;
    // A pipe hands out at most one buffer's worth at a time.
    DWORD wanted = nNumberOfBytesToRead < 65536 ? nNumberOfBytesToRead : 65536;
    size_t got = 0;
    if (in.kind == sim::StdinKind::real) {
        while (!in.finished) {
            ssize_t n = ::read(0, lpBuffer, wanted);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                in.finished = true;
                break;
            }
            got = static_cast<size_t>(n);
            break;
        }
        if (got == 0) return end_of_input(in);
    } else if (in.in_pieces) {
        // Each read hands out the rest of one piece: an empty piece is a write
        // of 0 bytes, which a pipe's reader sees as a read of 0 bytes.
        if (in.piece == in.pieces.size()) return end_of_input(in);
        const std::string& piece = in.pieces[in.piece];
        got = piece.size() - in.position;
        if (got > wanted) got = wanted;
        std::memcpy(lpBuffer, piece.data() + in.position, got);
        in.position += got;
        if (in.position == piece.size()) {
            ++in.piece;
            in.position = 0;
        }
    } else {
        got = in.bytes.size() - in.position;
        if (got > wanted) got = wanted;
        std::memcpy(lpBuffer, in.bytes.data() + in.position, got);
        in.position += got;
        if (got == 0) return end_of_input(in);
    }
    if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = static_cast<DWORD>(got);
    return TRUE;
}

// Standard input as a pipe: it can be asked how much waits in it until its
// writer has closed its end (every byte and piece handed out, or the real
// standard input at its end); a file or a device is no pipe.
BOOL WINAPI PeekNamedPipe(HANDLE hNamedPipe, LPVOID, DWORD, LPDWORD lpBytesRead, LPDWORD lpTotalBytesAvail,
                          LPDWORD lpBytesLeftThisMessage) {
    const sim::StdinState& in = sim::computer().stdin_state;
    for (LPDWORD count : {lpBytesRead, lpTotalBytesAvail, lpBytesLeftThisMessage}) {
        if (count != nullptr) *count = 0;
    }
    if (sim::call_fails("PeekNamedPipe")) return FALSE;
    if (hNamedPipe != kStdin || in.kind == sim::StdinKind::null || in.kind == sim::StdinKind::invalid) {
        return fail(ERROR_INVALID_HANDLE);
    }
    if (in.file_type != FILE_TYPE_PIPE) return fail(ERROR_INVALID_FUNCTION);
    size_t waiting = 0;
    bool open = false;
    if (in.kind == sim::StdinKind::real) {
        open = !in.finished;
    } else if (in.in_pieces) {
        open = in.piece < in.pieces.size();
        if (open) waiting = in.pieces[in.piece].size() - in.position;
    } else {
        open = in.position < in.bytes.size();
        waiting = in.bytes.size() - in.position;
    }
    if (!open) return fail(ERROR_BROKEN_PIPE);
    if (lpTotalBytesAvail != nullptr) *lpTotalBytesAvail = static_cast<DWORD>(waiting);
    return TRUE;
}

BOOL WINAPI FlushFileBuffers(HANDLE hFile) {
    sim::Computer& pc = sim::computer();
    if (sim::call_fails("FlushFileBuffers")) return FALSE;
    if (hFile != kStdout || pc.stdout_kind == sim::StdoutKind::null ||
        pc.stdout_kind == sim::StdoutKind::invalid) {
        return fail(ERROR_INVALID_HANDLE);
    }
    ++pc.flush_count;
    return TRUE;
}

DWORD WINAPI GetFileType(HANDLE hFile) {
    const sim::Computer& pc = sim::computer();
    if (sim::call_fails("GetFileType")) return FILE_TYPE_UNKNOWN;
    SetLastError(NO_ERROR);
    if (hFile == kStdin) return pc.stdin_state.file_type;
    if (hFile == kStdout) {
        switch (pc.stdout_kind) {
            case sim::StdoutKind::console: return FILE_TYPE_CHAR;
            case sim::StdoutKind::pipe: return FILE_TYPE_PIPE;
            case sim::StdoutKind::file: return FILE_TYPE_DISK;
            default: break;
        }
    }
    return fail(ERROR_INVALID_HANDLE, FILE_TYPE_UNKNOWN);
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
    if (sim::call_fails("CloseHandle")) return FALSE;
    // Only kernel handles close this way: a printer handle, a device context or
    // a system buffer closed with CloseHandle stays open, as on Windows. A
    // thread goes on running without its handle; a device's pending reads
    // are cancelled, and never again touch what the program handed them.
    if (!sim::is_open(hObject, sim::ResourceKind::device_handle) && !sim::is_open(hObject, sim::ResourceKind::thread) &&
        !sim::is_open(hObject, sim::ResourceKind::event)) {
        return fail(ERROR_INVALID_HANDLE);
    }
    sim::drop_device_reads(hObject);
    sim::untrack(hObject);
    sim::overwrite_last_error();  // clean-up leaves its own last error, as on Windows
    return TRUE;
}

}  // extern "C"
