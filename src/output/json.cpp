#include "output/json.h"

#include <stdlib.h>

void append_json_utf8(TextBuffer* buffer, const char* text) {
    // The short escapes for quote, backslash, line feed, carriage return and
    // tab, \u00xx for the other control bytes, every other byte as it is: the
    // output is UTF-8 JSON, not ASCII JSON.
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

void append_json_string(TextBuffer* buffer, const WCHAR* text) {
    char* utf8 = to_utf8(text);
    append_json_utf8(buffer, utf8);
    free(utf8);
}

void append_json_member(TextBuffer* buffer, const char* lead, const WCHAR* text) {
    append(buffer, lead);
    append_json_string(buffer, text);
}

const char* json_boolean(bool value) {
    return value ? "true" : "false";
}

const char* json_presence(int presence) {
    return presence > 0 ? "true" : presence == 0 ? "false" : "null";
}
