#include "documents/version_document.h"

#include "base/version.h"

void append_version_document(TextBuffer* document) {
    append(document, "{\"ok\":true,\"v\":\"" MORVIK_VERSION_TEXT "\"}\n");
}

void append_unknown_command_document(TextBuffer* document) {
    append(document, "{\"ok\":false,\"error\":\"UNKNOWN_COMMAND\"}\n");
}
