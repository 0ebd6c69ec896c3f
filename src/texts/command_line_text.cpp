#include "texts/command_line_text.h"

void append_bad_number_text(TextBuffer* text, const WCHAR* word, int argument) {
    append_format(text, "ОШИБКА: аргумент %d команды «", argument);
    append_utf16(text, word);
    append(text, "» — не число: допустимы только цифры 0–9.\r\n");
}
