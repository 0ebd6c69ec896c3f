#include "output/text_buffer.h"

#include <stdarg.h>
#include <stdlib.h>
#include <string.h>

#include "output/format.h"

namespace {

// Room for n more bytes and the NUL.
void reserve(TextBuffer* buffer, size_t n) {
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
}

}  // namespace

void append_bytes(TextBuffer* buffer, const char* bytes, size_t n) {
    reserve(buffer, n);
    if (n > 0) memcpy(buffer->data + buffer->length, bytes, n);
    buffer->length += static_cast<DWORD>(n);
    buffer->data[buffer->length] = 0;
}

void append(TextBuffer* buffer, const char* text) {
    append_bytes(buffer, text != nullptr ? text : "", text != nullptr ? strlen(text) : 0);
}

void append_format(TextBuffer* buffer, const char* format, ...) {
    // Measured first, then formatted in place: a piece of any length goes whole.
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    size_t length = format_text_v(nullptr, 0, format, args);
    va_end(args);
    reserve(buffer, length);
    format_text_v(buffer->data + buffer->length, length + 1, format, again);
    va_end(again);
    buffer->length += static_cast<DWORD>(length);
}

char* to_utf8(const WCHAR* text) {
    if (text == nullptr) text = L"";
    int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    char* result = static_cast<char*>(allocate(size > 0 ? static_cast<size_t>(size) : 1));
    if (size <= 0 || WideCharToMultiByte(CP_UTF8, 0, text, -1, result, size, nullptr, nullptr) <= 0) {
        result[0] = 0;
    }
    return result;
}

void append_utf16(TextBuffer* buffer, const WCHAR* text) {
    char* utf8 = to_utf8(text);
    append(buffer, utf8);
    free(utf8);
}
