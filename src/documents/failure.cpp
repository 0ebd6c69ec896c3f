#include "documents/failure.h"

#include <stdlib.h>

#include "output/errors.h"
#include "output/json.h"

const char kNoPrinterMessage[] = "Принтер не выбран, и принтера по умолчанию в Windows нет";

namespace {

const int kLongestMessage = 255;

// The system's text for the code, or "" when it is longer than allowed.
void append_system_message(TextBuffer* document, DWORD win32, bool at_most_255) {
    char* message = win32_message(win32);
    if (at_most_255) {
        WCHAR wide[kLongestMessage + 1];
        if (MultiByteToWideChar(CP_UTF8, 0, message, -1, wide, kLongestMessage) <= 0) wide[0] = 0;
        wide[kLongestMessage] = 0;
        append_json_string(document, wide);
    } else {
        // Already UTF-8 with any ill-formed UTF-16 replaced: escaped as it stands.
        append_json_utf8(document, message);
    }
    free(message);
}

}  // namespace

void append_failure(TextBuffer* document, const char* code, DWORD win32, const char* message, unsigned form) {
    if (form & FAILURE_WITH_OK) append(document, "\"ok\":false,");
    append_format(document, "\"error\":\"%s\"", code);
    if (!(form & FAILURE_WITHOUT_WIN32)) append_format(document, ",\"win32\":%lu", static_cast<unsigned long>(win32));
    append(document, ",\"message\":");
    if (message != nullptr) {
        append_json_utf8(document, message);
    } else {
        append_system_message(document, win32, (form & FAILURE_MESSAGE_AT_MOST_255) != 0);
    }
}
