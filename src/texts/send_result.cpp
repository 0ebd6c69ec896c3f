#include "texts/send_result.h"

#include <stdlib.h>
#include <string.h>

#include "base/wide.h"
#include "inventory/printer_inventory.h"
#include "output/json.h"
#include "output/output.h"
#include "output/text_buffer.h"

namespace {

bool left_out_of_names(WCHAR c) {
    return c == L'\t' || c == L' ' || c == L'(' || c == L')' || c == L'-' || c == L'.' || c == L'_';
}

// Whether a queue's folded name equals the folded pattern or, when `loosely`,
// contains it or is contained in it.
bool is_near_name(const WCHAR* name, const WCHAR* pattern, bool loosely) {
    WCHAR* candidate = normalized_name(name);
    bool found = wide_equal(candidate, pattern) ||
                (loosely && candidate[0] != 0 && (wide_contains(candidate, pattern) || wide_contains(pattern, candidate)));
    free(candidate);
    return found;
}

// The queue whose folded name equals the folded pattern, else the first
// whose folded name contains it or is contained in it; null when none.
const PrinterEntry* find_near_name(const PrinterInventory& printers, const WCHAR* pattern) {
    if (pattern[0] == 0) return nullptr;
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < printers.printer_count; ++i) {
            if (is_near_name(printers.printers[i].name, pattern, pass == 1)) return &printers.printers[i];
        }
    }
    return nullptr;
}

void append_missing_queue(TextBuffer* text, const char* name, const WCHAR* printer) {
    WCHAR* pattern = normalized_name(printer);
    PrinterInventory printers = collect_printers();

    append(text, "ОШИБКА: принтера «");
    append(text, name);
    append(text, "» в Windows нет. Имя нужно писать точно как в списке, с теми же пробелами.\r\n");

    const PrinterEntry* suggestion = find_near_name(printers, pattern);
    if (suggestion != nullptr) {
        append(text, "\r\nПохоже, это «");
        append_utf16(text, suggestion->name);
        append(text, "». Запустите:\r\n  morvik-helper.exe test \"");
        append_utf16(text, suggestion->name);
        append(text, "\"\r\n");
    }

    append(text, "\r\nПринтеры этого компьютера:\r\n");
    if (printers.printer_count == 0) append(text, "  (ни одного)\r\n");
    for (int i = 0; i < printers.printer_count; ++i) {
        const PrinterEntry& entry = printers.printers[i];
        append(text, "  ");
        append_utf16(text, entry.name);
        if (entry.is_default) append(text, "   [по умолчанию]");
        if (entry.is_virtual) append(text, "   (виртуальный)");
        append(text, "\r\n");
    }
    free_printers(&printers);
    free(pattern);
}

}  // namespace

void render_send_result(const char* result_text, const WCHAR* printer) {
    char* name = to_utf8(printer);
    TextBuffer text = {};
    if (strstr(result_text, "\"ok\":true") != nullptr) {
        append(&text, "OK: задание отправлено в очередь «");
        append(&text, name);
        append(&text, "». Если бумага не вышла — запустите помощника без параметров и посмотрите отчёт.\r\n");
    } else if (strstr(result_text, "\"error\":\"OPEN_FAILED\"") != nullptr) {
        append_missing_queue(&text, name, printer);
    } else {
        append(&text, "ОШИБКА отправки в «");
        append(&text, name);
        append(&text, "»: ");
        append(&text, result_text);
        append(&text, "\r\n");
        if (strstr(result_text, "\"cancelled\":true") != nullptr) {
            append(&text, "Чек не напечатан: задание отменено, ни одна его часть на принтер не попадёт.\r\n");
        } else if (strstr(result_text, "\"cancelled\":false") != nullptr) {
            append(&text,
                   "Отменить задание не удалось: часть чека может напечататься. Удалите задание из очереди "
                   "печати.\r\n");
        }
    }
    write_output(text.data);
    free(text.data);
    free(name);
}

void write_print_result(const char* members, const WCHAR* printer) {
    TextBuffer document = {};
    append(&document, "{");
    append(&document, members);
    append_json_member(&document, ",\"printer\":", printer);
    append(&document, "}\n");
    if (console_mode) {
        render_send_result(document.data, printer);
    } else {
        write_output(document.data);
    }
    free(document.data);
}

WCHAR* normalized_name(const WCHAR* name) {
    WCHAR* folded = static_cast<WCHAR*>(malloc((wide_length(name) + 1) * sizeof(WCHAR)));
    if (folded == nullptr) out_of_memory();
    int kept = 0;
    for (const WCHAR* p = name; p != nullptr && *p != 0; ++p) {
        if (!left_out_of_names(*p)) folded[kept++] = *p;
    }
    folded[kept] = 0;
    if (kept > 0) LCMapStringW(LOCALE_INVARIANT, LCMAP_LOWERCASE, folded, kept, folded, kept);
    return folded;
}
