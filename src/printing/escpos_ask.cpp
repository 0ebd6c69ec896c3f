// clang-format off
#include <winsock2.h>
#include <windows.h>
// clang-format on
#include <stdlib.h>
#include <string.h>

#include "base/memory.h"
#include "network/net_link.h"
#include "printing/escpos_ask.h"

namespace {

// What a read or write ended with besides a Windows error.
const DWORD kTimedOut = ERROR_TIMEOUT;
const DWORD kClosed = ERROR_HANDLE_EOF;  // the printer closed the connection

// The way to the printer: its USB device or a connection.
struct Line {
    HANDLE device;  // INVALID_HANDLE_VALUE on a connection
    SOCKET socket;  // INVALID_SOCKET on a device
};

// An overlapped operation's record and buffer, on the heap: one the driver
// may still complete is left to it, never freed.
struct UsbOperation {
    OVERLAPPED overlapped;
    BYTE bytes[64];
};

// How long a cancelled operation that the driver would not cancel may take to end.
const DWORD kCancelLimitMs = 1000;

// One overlapped transfer bounded by `limit_ms`. A late one is cancelled and
// waited for to its end (1168 from the cancel: it ended in between, and its
// result counts). One that cannot be seen to end is abandoned with its record
// and event, which the driver may still write.
DWORD usb_transfer(HANDLE device, bool write, BYTE* bytes, DWORD size, DWORD limit_ms, DWORD* moved) {
    *moved = 0;
    UsbOperation* operation = static_cast<UsbOperation*>(allocate(sizeof(UsbOperation)));
    memset(operation, 0, sizeof *operation);
    if (write) memcpy(operation->bytes, bytes, size);
    OVERLAPPED* overlapped = &operation->overlapped;
    SetLastError(ERROR_SUCCESS);  // a call that fails without saying why is reported with 0
    overlapped->hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (overlapped->hEvent == nullptr) {
        DWORD error = GetLastError();
        free(operation);
        return error;
    }
    SetLastError(ERROR_SUCCESS);
    BOOL done = write ? WriteFile(device, operation->bytes, size, nullptr, overlapped)
                      : ReadFile(device, operation->bytes, sizeof operation->bytes, nullptr, overlapped);
    DWORD error = done ? ERROR_SUCCESS : GetLastError();
    if (done || error == ERROR_IO_PENDING) {
        if (!done && WaitForSingleObject(overlapped->hEvent, limit_ms) != WAIT_OBJECT_0) {
            SetLastError(ERROR_SUCCESS);
            bool refused = !CancelIoEx(device, overlapped);
            error = refused ? GetLastError() : ERROR_SUCCESS;
            if (refused && error != ERROR_NOT_FOUND &&
                WaitForSingleObject(overlapped->hEvent, kCancelLimitMs) != WAIT_OBJECT_0) {
                return error;  // still running: abandoned
            }
        }
        SetLastError(ERROR_SUCCESS);
        error = GetOverlappedResult(device, overlapped, moved, TRUE) ? ERROR_SUCCESS : GetLastError();
        // A failure that leaves it running abandons it.
        if (!HasOverlappedIoCompleted(overlapped)) return error;
        if (error == ERROR_OPERATION_ABORTED) error = kTimedOut;
        if (!write && error == ERROR_SUCCESS) memcpy(bytes, operation->bytes, *moved);
    }
    CloseHandle(overlapped->hEvent);
    free(operation);
    return error;
}

// Waits at most `limit_ms` for the socket to be readable.
DWORD tcp_wait(SOCKET socket, DWORD limit_ms) {
    fd_set sockets;
    sockets.fd_count = 1;
    sockets.fd_array[0] = socket;
    timeval timeout;
    timeout.tv_sec = limit_ms / 1000;
    timeout.tv_usec = limit_ms % 1000 * 1000;
    int ready = select(0, &sockets, nullptr, nullptr, &timeout);
    if (ready == SOCKET_ERROR) return WSAGetLastError();
    return ready == 0 ? kTimedOut : ERROR_SUCCESS;
}

DWORD tcp_transfer(SOCKET socket, bool write, BYTE* bytes, DWORD size, DWORD limit_ms, DWORD* moved) {
    *moved = 0;
    // Three bytes always fit a new connection's buffer: a send waits for nothing.
    DWORD error = write ? ERROR_SUCCESS : tcp_wait(socket, limit_ms);
    if (error != ERROR_SUCCESS) return error;
    char* data = reinterpret_cast<char*>(bytes);
    int count = write ? send(socket, data, static_cast<int>(size), 0) : recv(socket, data, static_cast<int>(size), 0);
    if (count == SOCKET_ERROR) {
        error = WSAGetLastError();
        return error == WSAEWOULDBLOCK ? kTimedOut : error;
    }
    if (count == 0 && !write) return kClosed;
    *moved = static_cast<DWORD>(count);
    return ERROR_SUCCESS;
}

DWORD transfer(const Line& line, bool write, BYTE* bytes, DWORD size, DWORD limit_ms, DWORD* moved) {
    if (line.device != INVALID_HANDLE_VALUE) return usb_transfer(line.device, write, bytes, size, limit_ms, moved);
    return tcp_transfer(line.socket, write, bytes, size, limit_ms, moved);
}

DWORD elapsed_since(DWORD start) {
    return GetTickCount() - start;
}

// Reads and forgets what the printer sent before it was asked: answers to
// old questions, or a status request found inside old data.
void drain_stale_bytes(const Line& line) {
    DWORD start = GetTickCount();
    BYTE stale[64];
    DWORD moved = 0;
    for (DWORD waited = 0; waited < ESCPOS_STALE_LIMIT_MS; waited = elapsed_since(start)) {
        // A failure or a close shows again at the first question.
        if (transfer(line, false, stale, sizeof stale, ESCPOS_STALE_LIMIT_MS - waited, &moved) != ERROR_SUCCESS) return;
    }
}

// What one question came to.
enum class Reply { answered, unanswered, closed, failed };

// Asks 10 04 n and waits for its status byte: bytes before it are not
// answers (an automatic status back, old data), bytes after it the rest of
// this answer. Bytes that answer nothing are kept in `result` as they came.
Reply ask_question(const Line& line, int n, AskResult* result, BYTE* answer) {
    BYTE question[3] = {0x10, 0x04, static_cast<BYTE>(n)};
    DWORD asked_at = GetTickCount();
    DWORD moved = 0;
    DWORD error = transfer(line, true, question, sizeof question, ESCPOS_ANSWER_LIMIT_MS, &moved);
    if (error == kTimedOut) return Reply::unanswered;  // it would not take the question
    if (error != ERROR_SUCCESS || moved != sizeof question) {  // a short write has no error of its own: 0
        result->outcome = AskOutcome::write_failed;
        result->win32 = error;
        return Reply::failed;
    }
    result->count = 0;
    for (DWORD waited = 0; waited < ESCPOS_ANSWER_LIMIT_MS; waited = elapsed_since(asked_at)) {
        BYTE got[64];
        error = transfer(line, false, got, sizeof got, ESCPOS_ANSWER_LIMIT_MS - waited, &moved);
        if (error == kTimedOut) break;
        if (error == kClosed) return Reply::closed;
        if (error != ERROR_SUCCESS) {
            result->outcome = AskOutcome::read_failed;
            result->win32 = error;
            return Reply::failed;
        }
        int found = find_status_byte(got, moved);
        if (found >= 0) {
            *answer = got[found];
            return Reply::answered;
        }
        for (DWORD i = 0; i < moved && result->count < ASK_BYTES_ROOM; ++i) result->bytes[result->count++] = got[i];
    }
    return Reply::unanswered;
}

AskResult ask_on_line(const Line& line) {
    AskResult result{};
    drain_stale_bytes(line);
    DWORD first_asked = GetTickCount();
    DWORD last_answer = first_asked;
    BYTE answers[ESCPOS_QUESTIONS];
    for (int n = 1; n <= ESCPOS_QUESTIONS; ++n) {
        Reply reply = ask_question(line, n, &result, &answers[n - 1]);
        if (reply == Reply::failed) return result;
        if (reply != Reply::answered && result.count > 0) {
            result.outcome = AskOutcome::bad_answer;
            return result;
        }
        if (reply == Reply::answered) {
            result.answered = n;
            last_answer = GetTickCount();
            continue;
        }
        // A printer that answers nothing at all is silent; one that stops
        // answering leaves the rest unknown.
        if (n > 1) break;
        result.outcome = reply == Reply::closed ? AskOutcome::read_failed : AskOutcome::no_answer;
        result.ms = elapsed_since(first_asked);
        return result;
    }
    result.outcome = AskOutcome::answered;
    memcpy(result.bytes, answers, static_cast<size_t>(result.answered));
    result.count = static_cast<DWORD>(result.answered);
    result.ms = last_answer - first_asked;
    return result;
}

AskResult failed(AskOutcome outcome, DWORD win32) {
    AskResult result{};
    result.outcome = outcome;
    result.win32 = win32;
    return result;
}

}  // namespace

AskResult ask_usb_printer(const WCHAR* path) {
    if (path[0] == 0) return failed(AskOutcome::open_failed, ERROR_SUCCESS);  // not read, or too long to keep
    // Shared both ways: the spooler must never find its printer locked.
    SetLastError(ERROR_SUCCESS);
    HANDLE device = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        return failed(error == ERROR_SHARING_VIOLATION ? AskOutcome::in_use : AskOutcome::open_failed, error);
    }
    Line line = {device, INVALID_SOCKET};
    AskResult result = ask_on_line(line);
    CloseHandle(device);
    return result;
}

AskResult ask_network_printer(const NetPort& port) {
    NetLink link = open_net_link(port);
    AskResult result;
    if (link.answer == NET_ANSWERS) {
        Line line = {INVALID_HANDLE_VALUE, link.socket};
        result = ask_on_line(line);
    } else {
        result = failed(link.answer == NET_SILENT ? AskOutcome::no_answer : AskOutcome::open_failed, link.win32);
        result.ms = link.ms;
    }
    close_net_link(&link);
    return result;
}

bool command_set_has_escpos(const char* command_set) {
    if (command_set[0] == 0) return true;
    // Letters only, upper case: "ESC/POS" and "Esc Pos" alike read "ESCPOS".
    char letters[128];
    size_t length = 0;
    for (const char* p = command_set; *p != 0 && length < sizeof letters - 1; ++p) {
        char c = *p >= 'a' && *p <= 'z' ? static_cast<char>(*p - 'a' + 'A') : *p;
        if ((c >= 'A' && c <= 'Z') || c == ',') letters[length++] = c;
    }
    letters[length] = 0;
    return strstr(letters, "ESCPOS") != nullptr;
}

bool status_is_ready(const StatusVerdict& verdict) {
    return verdict.reason == NotAskedReason::asked && verdict.ask.outcome == AskOutcome::answered &&
           decode_escpos_status(verdict.ask.bytes, verdict.ask.answered).ready;
}
