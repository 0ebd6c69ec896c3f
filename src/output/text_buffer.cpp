#include "output/text_buffer.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

void append_bytes(TextBuffer* buffer, const char* bytes, size_t n);

// Quotes and escapes UTF-8 bytes: the short escapes for quote, backslash,
// line feed, carriage return and tab, \u00xx for the other control bytes,
// every other byte as it is (the output is UTF-8 JSON, not ASCII JSON).
void append_json_utf8(TextBuffer* buffer, const char* text) {
    append(buffer, "\"");
    const char* run = text;  // start of the bytes that need no escape
    for (const char* p = text;; ++p) {
        unsigned char byte = static_cast<unsigned char>(*p);
        if (byte >= 0x20 && byte != '"' && byte != '\\') continue;
        append_bytes(buffer, run, static_cast<size_t>(p - run));  // the plain run in one piece
        if (byte == 0) break;
        switch (byte) {
            case '"': append(buffer, "\\\""); break;
            case '\\': append(buffer, "\\\\"); break;
            case '\n': append(buffer, "\\n"); break;
            case '\r': append(buffer, "\\r"); break;
            case '\t': append(buffer, "\\t"); break;
            default: append_format(buffer, "\\u%04x", static_cast<unsigned>(byte)); break;
        }
        run = p + 1;
    }
    append(buffer, "\"");
}

char* empty_string() {
    char* text = static_cast<char*>(malloc(1));
    if (text == nullptr) out_of_memory();
    text[0] = 0;
    return text;
}

}  // namespace

void out_of_memory() {
    ExitProcess(3);
}

void append(TextBuffer* buffer, const char* text) {
    append_bytes(buffer, text != nullptr ? text : "", text != nullptr ? strlen(text) : 0);
}

namespace {

void append_bytes(TextBuffer* buffer, const char* bytes, size_t n) {
    unsigned long long need = static_cast<unsigned long long>(buffer->length) + n + 1;
    if (buffer->capacity < need) {
        unsigned long long capacity = buffer->capacity;
        if (capacity == 0) {
            capacity = need <= 1024 ? 1024 : 2048;
            while (capacity < need) capacity *= 2;
        } else {
            do {
                capacity *= 2;
            } while (capacity < need);
        }
        // A document of more than 2 GiB cannot be held; treat it as memory exhausted.
        if (capacity > 0x80000000ULL) out_of_memory();
        char* grown = static_cast<char*>(realloc(buffer->data, static_cast<size_t>(capacity)));
        if (grown == nullptr) out_of_memory();
        buffer->data = grown;
        buffer->capacity = static_cast<DWORD>(capacity);
    }
    if (n > 0) memcpy(buffer->data + buffer->length, bytes, n);
    buffer->length += static_cast<DWORD>(n);
    buffer->data[buffer->length] = 0;
}

}  // namespace

void append_format(TextBuffer* buffer, const char* format, ...) {
    char scratch[512];
    va_list args;
    va_start(args, format);
    int written = vsnprintf(scratch, sizeof scratch, format, args);
    va_end(args);
    if (written < 0) scratch[0] = 0;
    scratch[sizeof scratch - 1] = 0;  // a longer piece keeps its first 511 bytes
    append(buffer, scratch);
}

char* to_utf8(const WCHAR* text) {
    if (text == nullptr) text = L"";
    int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    char* result = static_cast<char*>(malloc(size > 0 ? static_cast<size_t>(size) : 1));
    if (result == nullptr) out_of_memory();
    if (size <= 0 || WideCharToMultiByte(CP_UTF8, 0, text, -1, result, size, nullptr, nullptr) <= 0) {
        result[0] = 0;
    }
    return result;
}

void append_json_string(TextBuffer* buffer, const WCHAR* text) {
    char* utf8 = to_utf8(text);
    append_json_utf8(buffer, utf8);
    free(utf8);
}

void append_utf16(TextBuffer* buffer, const WCHAR* text) {
    char* utf8 = to_utf8(text);
    append(buffer, utf8);
    free(utf8);
}

void append_no_printer(TextBuffer* buffer) {
    append(buffer,
           "\"ok\":false,\"error\":\"NO_PRINTER\",\"win32\":0,"
           "\"message\":\"Принтер не выбран, и принтера по умолчанию в Windows нет\"");
}

namespace {

bool trimmed_from_messages(WCHAR c, bool full_stops) {
    return c == L'\r' || c == L'\n' || (full_stops && (c == L'.' || c == L' '));
}

// The system's text for an error code as UTF-8, its line end (and with
// `full_stops` its trailing dots and blanks too) removed; empty when there is none.
char* system_message(DWORD code, bool full_stops) {
    // Reporting an error must not change the last error.
    DWORD saved_error = GetLastError();
    WCHAR* system_text = nullptr;
    DWORD count =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
                       nullptr, code, 0, reinterpret_cast<LPWSTR>(&system_text), 0, nullptr);
    char* result;
    if (count == 0 || system_text == nullptr) {
        result = empty_string();
    } else {
        while (count > 0 && trimmed_from_messages(system_text[count - 1], full_stops)) system_text[--count] = 0;
        result = to_utf8(system_text);
    }
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

void append_error_members(TextBuffer* buffer, const char* name, DWORD code) {
    char* message = win32_message(code);
    append_format(buffer, "\"error\":\"%s\",\"win32\":%lu,\"message\":", name, static_cast<unsigned long>(code));
    // The message is already UTF-8 with any ill-formed UTF-16 replaced, so it
    // is escaped as it stands instead of going back through UTF-16.
    append_json_utf8(buffer, message);
    free(message);
}

void append_error(TextBuffer* buffer, const char* name, DWORD code) {
    append(buffer, "\"ok\":false,");
    append_error_members(buffer, name, code);
}

void append_status_keys(TextBuffer* buffer, DWORD status, const StatusWord* table) {
    append(buffer, "[");
    bool first = true;
    for (const StatusWord* row = table; row->key != nullptr; ++row) {
        if ((row->mask & status) == 0) continue;
        if (!first) append(buffer, ",");
        append_format(buffer, "\"%s\"", row->key);
        first = false;
    }
    append(buffer, "]");
}

void append_status_words(TextBuffer* buffer, DWORD status, const StatusWord* table) {
    bool first = true;
    for (const StatusWord* row = table; row->key != nullptr; ++row) {
        if ((row->mask & status) == 0) continue;
        if (!first) append(buffer, ", ");
        append_utf16(buffer, row->text);
        first = false;
    }
}
