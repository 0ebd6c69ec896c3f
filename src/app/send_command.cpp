// "send": the receipt bytes on standard input go to a queue as one RAW job.
#include <stdlib.h>

#include "app/commands.h"
#include "app/print_answer.h"
#include "inventory/printer_inventory.h"
#include "output/text_buffer.h"
#include "printing/send_raw.h"

namespace {

const DWORD kFirstBlock = 65536;
const DWORD kLargestBlock = 8388608;  // 8 MiB: no receipt comes near it

struct Input {
    BYTE* bytes;
    DWORD held;
    DWORD capacity;
    bool too_large;    // more than 8 MiB was offered
    bool read_failed;  // a read failed for real, not at the end of the input
    DWORD read_error;  // its error; 0 when it set none
};

// A pipe ends with a failed read (ERROR_BROKEN_PIPE) once the writer has
// closed it; a file may say ERROR_HANDLE_EOF. Neither is a fault.
bool is_end_of_input(DWORD error) {
    return error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF;
}

void note_read_failure(Input* input, DWORD error) {
    if (is_end_of_input(error)) return;
    input->read_failed = true;
    input->read_error = error;
}

// Whether a read of 0 bytes ends the input. On a pipe it means that the
// writer wrote 0 bytes, not that it closed its end, as long as the pipe can
// still be asked how much waits in it: a closed one cannot, nor a handle
// that only looks like a pipe (Wine's view of a Unix pipe, a socket), whose
// end is just such a read. A file's or a device's input ends with it.
bool ends_input(HANDLE handle, bool pipe) {
    DWORD waiting = 0;
    return !pipe || !PeekNamedPipe(handle, nullptr, 0, nullptr, &waiting, nullptr);
}

// Reads at least one byte, or finds the end of the input or a failure (0).
DWORD read_some(HANDLE handle, bool pipe, BYTE* into, DWORD room, Input* input) {
    for (;;) {
        DWORD got = 0;
        SetLastError(ERROR_SUCCESS);  // a read that fails without saying why is reported with 0
        if (!ReadFile(handle, into, room, &got, nullptr)) {
            // A receipt cut short must not be printed as if whole, and an input
            // that fails before its first byte is a failure, not an empty one.
            note_read_failure(input, GetLastError());
            return 0;
        }
        if (got > 0 || ends_input(handle, pipe)) return got;
    }
}

void read_standard_input(Input* input) {
    HANDLE handle = GetStdHandle(STD_INPUT_HANDLE);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
    bool pipe = GetFileType(handle) == FILE_TYPE_PIPE;
    for (;;) {
        DWORD got = read_some(handle, pipe, input->bytes + input->held, input->capacity - input->held, input);
        if (got == 0) return;
        input->held += got;
        if (input->held < input->capacity) continue;
        if (input->capacity >= kLargestBlock) {
            // Whether one more read still delivers bytes once 8 MiB are held.
            BYTE probe;
            input->too_large = read_some(handle, pipe, &probe, 1, input) > 0;
            return;
        }
        BYTE* grown = static_cast<BYTE*>(realloc(input->bytes, input->capacity * 2));
        if (grown == nullptr) out_of_memory();
        input->bytes = grown;
        input->capacity *= 2;
    }
}

}  // namespace

int send_command(const Invocation& call) {
    Input input = {static_cast<BYTE*>(allocate(kFirstBlock)), 0, kFirstBlock, false, false, 0};
    read_standard_input(&input);
    WCHAR* default_name = nullptr;
    DWORD default_error = ERROR_SUCCESS;
    const WCHAR* printer = printer_or_default(call.second, &default_name, &default_error);

    PrintResult result;
    if (input.read_failed) {
        result = print_result_of(PrintOutcome::read_failed, input.read_error);
    } else if (input.held == 0) {
        result = print_result_of(PrintOutcome::empty, 0);
    } else if (input.too_large) {
        result = print_result_of(PrintOutcome::too_large, 0);
    } else if (printer[0] == 0) {
        result = print_result_of(PrintOutcome::no_printer, default_error);
    } else {
        result = send_raw(printer, input.bytes, input.held, L"Morvik ESC/POS", call.console ? nullptr : say_job_number);
    }

    say_print_result(call, result, printer);
    free(default_name);
    free(input.bytes);
    return exit_code_of(result);
}
