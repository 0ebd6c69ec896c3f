#include "output/errors.h"

#include <stdlib.h>
#include <string.h>

#include "output/text_buffer.h"

// A call that failed without setting an error is reported with 0, whose system
// text ("The operation completed successfully") would contradict the failure.
const char kNoReasonMessage[] = "Windows не сообщила причину";

namespace {

char* copy_text(const char* text) {
    size_t size = strlen(text) + 1;
    char* copy = static_cast<char*>(allocate(size));
    memcpy(copy, text, size);
    return copy;
}

bool trimmed_from_messages(WCHAR c, bool full_stops) {
    return c == L'\r' || c == L'\n' || (full_stops && (c == L'.' || c == L' '));
}

// The system's text for an error code as UTF-8, its line end (and with
// `full_stops` its trailing dots and blanks too) removed.
char* system_message(DWORD code, bool full_stops) {
    if (code == ERROR_SUCCESS) return copy_text(kNoReasonMessage);
    // Reporting an error must not change the last error.
    DWORD saved_error = GetLastError();
    WCHAR* system_text = nullptr;
    DWORD count =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
                       nullptr, code, 0, reinterpret_cast<LPWSTR>(&system_text), 0, nullptr);
    if (count == 0 || system_text == nullptr) {
        count = 0;
    } else {
        while (count > 0 && trimmed_from_messages(system_text[count - 1], full_stops)) system_text[--count] = 0;
    }
    char* result = to_utf8(count > 0 ? system_text : nullptr);
    if (system_text != nullptr) LocalFree(system_text);
    SetLastError(saved_error);
    return result;
}

}  // namespace

char* win32_message(DWORD code) {
    return system_message(code, true);
}

char* win32_message_line(DWORD code) {
    return system_message(code, false);
}
