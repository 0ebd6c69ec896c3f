#include "documents/failure.h"

#include <stdlib.h>

#include "output/errors.h"
#include "output/json.h"

namespace {

// What no printer named and no default printer in Windows is told.
const char kNoPrinterMessage[] = "Принтер не выбран, и принтера по умолчанию в Windows нет";

// The room the document allows a message: 255 UTF-16 units, its NUL included.
const int kMessageRoom = 255;

// The system's text for the code, or "" when it does not fit the room.
void append_system_message(TextBuffer* document, DWORD win32, bool at_most_255) {
    char* message = win32_message(win32);
    int units = at_most_255 ? MultiByteToWideChar(CP_UTF8, 0, message, -1, nullptr, 0) : 0;
    bool fits = !at_most_255 || (units > 0 && units <= kMessageRoom);
    // Already UTF-8 with any ill-formed UTF-16 replaced: escaped as it stands.
    append_json_utf8(document, fits ? message : "");
    free(message);
}

}  // namespace

void append_no_printer(TextBuffer* document, DWORD default_error, unsigned form, const char* after_ok) {
    append_failure(document, "NO_PRINTER", default_error, default_error == ERROR_SUCCESS ? kNoPrinterMessage : nullptr,
                   form, after_ok);
}

void append_no_printer_document(TextBuffer* document, DWORD default_error) {
    append(document, "{");
    append_no_printer(document, default_error, FAILURE_WITH_OK);
    append(document, "}\n");
}

void append_failure(TextBuffer* document, const char* code, DWORD win32, const char* message, unsigned form,
                    const char* after_ok) {
    if (form & FAILURE_WITH_OK) {
        append(document, "\"ok\":false");
        append(document, after_ok);
        append(document, ",");
    }
    append_format(document, "\"error\":\"%s\"", code);
    if (form & FAILURE_CODE_ONLY) return;
    if (!(form & FAILURE_WITHOUT_WIN32)) append_format(document, ",\"win32\":%lu", static_cast<unsigned long>(win32));
    append(document, ",\"message\":");
    if (message != nullptr) {
        append_json_utf8(document, message);
    } else {
        append_system_message(document, win32, (form & FAILURE_MESSAGE_AT_MOST_255) != 0);
    }
}
