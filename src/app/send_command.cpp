#include "app/send_command.h"

#include <stdlib.h>

#include "inventory/printer_inventory.h"
#include "output/errors.h"
#include "output/output.h"
#include "output/text_buffer.h"
#include "printing/send_raw.h"
#include "texts/send_result.h"

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

// Whether one more read still delivers bytes once 8 MiB are held; a real
// failure of that read is reported like any other.
void look_past_the_limit(HANDLE handle, Input* input) {
    BYTE probe;
    DWORD got = 0;
    SetLastError(ERROR_SUCCESS);
    if (ReadFile(handle, &probe, 1, &got, nullptr)) {
        input->too_large = got > 0;
    } else {
        note_read_failure(input, GetLastError());
    }
}

void read_standard_input(Input* input) {
    HANDLE handle = GetStdHandle(STD_INPUT_HANDLE);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
    for (;;) {
        DWORD got = 0;
        SetLastError(ERROR_SUCCESS);  // a read that fails without saying why is reported with 0
        if (!ReadFile(handle, input->bytes + input->held, input->capacity - input->held, &got, nullptr)) {
            // A receipt cut short must not be printed as if whole, and an input
            // that fails before its first byte is a failure, not an empty one.
            note_read_failure(input, GetLastError());
            return;
        }
        if (got == 0) return;
        input->held += got;
        if (input->held < input->capacity) continue;
        if (input->capacity >= kLargestBlock) {
            look_past_the_limit(handle, input);
            return;
        }
        BYTE* grown = static_cast<BYTE*>(realloc(input->bytes, input->capacity * 2));
        if (grown == nullptr) out_of_memory();
        input->bytes = grown;
        input->capacity *= 2;
    }
}

}  // namespace

int send_command(const WCHAR* printer_argument) {
    Input input = {static_cast<BYTE*>(malloc(kFirstBlock)), 0, kFirstBlock, false, false, 0};
    if (input.bytes == nullptr) out_of_memory();
    read_standard_input(&input);

    WCHAR* default_name = nullptr;
    const WCHAR* printer = printer_or_default(printer_argument, &default_name);

    TextBuffer members = {};
    int result = 1;
    if (input.read_failed) {
        append_error(&members, "READ_FAILED", input.read_error);
    } else if (input.held == 0) {
        append(&members, "\"ok\":false,\"error\":\"EMPTY\",\"win32\":0,\"message\":\"Пустой поток\"");
    } else if (input.too_large) {
        append(&members, "\"ok\":false,\"error\":\"TOO_LARGE\",\"win32\":0,\"message\":\"Поток больше 8 МиБ\"");
    } else {
        DWORD job = 0;
        result = send_raw(printer, input.bytes, input.held, &members, L"Morvik ESC/POS", &job);
    }

    write_print_result(members.data, printer);
    free(members.data);
    free(default_name);
    free(input.bytes);
    return result;
}
