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

// The program's own texts are compiled in Windows-1251, one byte a Russian
// letter instead of UTF-8's two (the exe is half Russian text), and become
// UTF-8 here, as they enter a document. A byte from 0x80 up that does not begin
// a well-formed UTF-8 sequence is such a letter; names and system messages,
// which are UTF-8 already, pass unchanged, and no text of the program holds a
// sequence that reads as UTF-8 (the goldens would show it). 0x98, which 1251
// leaves unused, stands for the arrow of a path through the Control Panel.
const WCHAR kHighHalf[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x2192, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

// The length of the well-formed UTF-8 sequence at bytes[i], or 0.
size_t utf8_sequence(const unsigned char* bytes, size_t i, size_t n) {
    unsigned char lead = bytes[i];
    size_t length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3 : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    if (length == 0 || n - i < length) return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((bytes[i + k] & 0xC0) != 0x80) return 0;
    }
    return length;
}

WCHAR letter_of(unsigned char byte) {
    return byte >= 0xC0 ? static_cast<WCHAR>(0x0410 + (byte - 0xC0)) : kHighHalf[byte - 0x80];
}

// Writes n bytes with their letters decoded to `out` (nothing when it is
// null) and returns the length of the result.
size_t decode(char* out, const char* text, size_t n) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    size_t length = 0;
    for (size_t i = 0; i < n;) {
        size_t sequence = bytes[i] < 0x80 ? 1 : utf8_sequence(bytes, i, n);
        unsigned char utf8[3];
        const unsigned char* piece = bytes + i;
        if (sequence == 0) {
            WCHAR letter = letter_of(bytes[i]);
            sequence = letter < 0x800 ? 2 : 3;
            utf8[0] = static_cast<unsigned char>(letter < 0x800 ? 0xC0 | (letter >> 6) : 0xE0 | (letter >> 12));
            utf8[1] = static_cast<unsigned char>(letter < 0x800 ? 0x80 | (letter & 0x3F) : 0x80 | ((letter >> 6) & 0x3F));
            utf8[2] = static_cast<unsigned char>(0x80 | (letter & 0x3F));
            piece = utf8;
            ++i;
        } else {
            i += sequence;
        }
        if (out != nullptr) memcpy(out + length, piece, sequence);
        length += sequence;
    }
    return length;
}

}  // namespace

void append_bytes(TextBuffer* buffer, const char* bytes, size_t n) {
    size_t length = decode(nullptr, bytes, n);
    reserve(buffer, length);
    decode(buffer->data + buffer->length, bytes, n);
    buffer->length += static_cast<DWORD>(length);
    buffer->data[buffer->length] = 0;
}

void append(TextBuffer* buffer, const char* text) {
    append_bytes(buffer, text != nullptr ? text : "", text != nullptr ? strlen(text) : 0);
}

void append_format(TextBuffer* buffer, const char* format, ...) {
    // Measured first, then formatted in the buffer's spare room, then decoded
    // from a copy when the piece holds letters of the program's own texts.
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    size_t length = format_text_v(nullptr, 0, format, args);
    va_end(args);
    reserve(buffer, length);
    char* piece = buffer->data + buffer->length;
    format_text_v(piece, length + 1, format, again);
    va_end(again);
    if (decode(nullptr, piece, length) == length) {
        buffer->length += static_cast<DWORD>(length);
        return;
    }
    char* copy = static_cast<char*>(allocate(length));
    memcpy(copy, piece, length);
    append_bytes(buffer, copy, length);
    free(copy);
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
