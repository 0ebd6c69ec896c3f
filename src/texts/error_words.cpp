#include "texts/error_words.h"

#include <stdlib.h>

#include "output/errors.h"

void append_error_words(TextBuffer* text, DWORD error) {
    char* message = win32_message_line(error);
    append_format(text, "ошибка %lu", static_cast<unsigned long>(error));
    if (message[0] != 0) {
        append(text, ": ");
        append(text, message);
    }
    free(message);
}
