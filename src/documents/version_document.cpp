#include "documents/version_document.h"

#include "base/version.h"
#include "documents/failure.h"
#include "output/format.h"

void append_version_document(TextBuffer* document) {
    append(document, "{\"ok\":true,\"v\":\"" MORVIK_VERSION_TEXT "\"}\n");
}

void append_unknown_command_document(TextBuffer* document) {
    append(document, "{");
    append_failure(document, "UNKNOWN_COMMAND", 0, nullptr, FAILURE_WITH_OK | FAILURE_CODE_ONLY);
    append(document, "}\n");
}

void append_bad_number_document(TextBuffer* document, int argument) {
    char message[96];
    format_text(message, sizeof message, "Аргумент %d — не число: допустимы только цифры 0–9", argument);
    append(document, "{");
    append_failure(document, "BAD_NUMBER", 0, message, FAILURE_WITH_OK);
    append_format(document, ",\"argument\":%d}\n", argument);
}
