#include "texts/print_text.h"

#include "base/wide.h"
#include "texts/error_words.h"
#include "texts/near_names.h"

namespace {

bool has_queue_named(const PrinterInventory& printers, const WCHAR* name) {
    for (int i = 0; i < printers.printer_count; ++i) {
        if (wide_equal_nocase(printers.printers[i].name, name)) return true;  // as the spooler compares names
    }
    return false;
}

// A queue that is there, or may be, but did not open: access refused, the
// print spooler service stopped, a shared printer whose computer is off.
void append_not_opened(TextBuffer* text, const WCHAR* printer, DWORD error) {
    append(text, "ОШИБКА: Windows не открыла очередь «");
    append_utf16(text, printer);
    append(text, "» (");
    append_error_words(text, error);
    append(text, ")\r\n");
    if (error == ERROR_ACCESS_DENIED) {
        append(text,
               "Запустите помощника под обычной учётной записью кассы или попросите того, кто обслуживает этот "
               "компьютер, разрешить печать в эту очередь.\r\n");
    } else {
        append(text, "Перезапустите службу «Диспетчер печати» или компьютер и попробуйте ещё раз.\r\n");
    }
}

void append_missing_queue(TextBuffer* text, const WCHAR* printer, const PrinterInventory& printers) {
    append(text, "ОШИБКА: принтера «");
    append_utf16(text, printer);
    append(text, "» в Windows нет. Имя нужно писать точно как в списке, с теми же пробелами.\r\n");

    const PrinterEntry* suggestion = find_near_name(printers, printer);
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
}

void append_print_failure(TextBuffer* text, const PrintResult& result, const WCHAR* printer, const char* document) {
    append(text, "ОШИБКА отправки в «");
    append_utf16(text, printer);
    append(text, "»: ");
    append(text, document);
    append(text, "\r\n");
    // A raw job that failed once started was cancelled, or may still print.
    if (!result.raw || result.job == 0) return;
    if (result.cancelled) {
        append(text, "Чек не напечатан: задание отменено, ни одна его часть на принтер не попадёт.\r\n");
    } else {
        bool not_taken = result.outcome == PrintOutcome::write_failed || result.outcome == PrintOutcome::short_write;
        append_format(text,
                      "Отменить задание не удалось: %s может напечататься. Удалите задание №%lu из очереди печати, "
                      "прежде чем печатать чек снова.\r\n",
                      not_taken ? "часть чека" : "чек", static_cast<unsigned long>(result.job));
    }
}

}  // namespace

void append_print_text(TextBuffer* text, const PrintResult& result, const WCHAR* printer, const char* document,
                       const PrinterInventory* printers) {
    if (result.outcome == PrintOutcome::sent) {
        append(text, "OK: задание отправлено в очередь «");
        append_utf16(text, printer);
        append(text, "». Если бумага не вышла — запустите помощника без параметров и посмотрите отчёт.\r\n");
    } else if (result.outcome == PrintOutcome::open_failed && printers != nullptr) {
        // Only a name the spooler does not know is no queue; a spooler that is
        // down cannot list its queues either.
        if (result.error == ERROR_INVALID_PRINTER_NAME && !has_queue_named(*printers, printer)) {
            append_missing_queue(text, printer, *printers);
        } else {
            append_not_opened(text, printer, result.error);
        }
    } else {
        append_print_failure(text, result, printer, document);
    }
}

void append_purge_text(TextBuffer* text, const WCHAR* printer, const char* document) {
    append(text, "Очередь «");
    append_utf16(text, printer);
    append(text, "»: ");
    append(text, document);
}
