#include "texts/status_words.h"

#include <winspool.h>

const StatusWord job_status_words[] = {
    {JOB_STATUS_PAUSED, "приостановлено"},
    {JOB_STATUS_ERROR, "ошибка"},
    {JOB_STATUS_DELETING, "удаляется"},
    {JOB_STATUS_SPOOLING, "помещается в очередь"},
    {JOB_STATUS_PRINTING, "печатается"},
    {JOB_STATUS_OFFLINE, "принтер не в сети"},
    {JOB_STATUS_PAPEROUT, "нет бумаги"},
    {JOB_STATUS_PRINTED, "напечатано"},
    {JOB_STATUS_DELETED, "удалено"},
    {JOB_STATUS_BLOCKED_DEVQ, "заблокировано"},
    {JOB_STATUS_USER_INTERVENTION, "требует вмешательства"},
    {JOB_STATUS_RESTART, "перезапуск"},
    {JOB_STATUS_COMPLETE, "отправлено на принтер"},
    {0, nullptr},
};

const StatusWord printer_status_words[] = {
    {PRINTER_STATUS_PAUSED, "очередь приостановлена"},
    {PRINTER_STATUS_ERROR, "ошибка"},
    {PRINTER_STATUS_PENDING_DELETION, "удаляется"},
    {PRINTER_STATUS_PAPER_JAM, "замята бумага"},
    {PRINTER_STATUS_PAPER_OUT, "нет бумаги"},
    {PRINTER_STATUS_MANUAL_FEED, "ручная подача"},
    {PRINTER_STATUS_PAPER_PROBLEM, "проблема с бумагой"},
    {PRINTER_STATUS_OFFLINE, "не в сети"},
    {PRINTER_STATUS_IO_ACTIVE, "обмен данными"},
    {PRINTER_STATUS_BUSY, "занят"},
    {PRINTER_STATUS_PRINTING, "печатает"},
    {PRINTER_STATUS_OUTPUT_BIN_FULL, "лоток переполнен"},
    {PRINTER_STATUS_NOT_AVAILABLE, "недоступен"},
    {PRINTER_STATUS_WAITING, "ожидание"},
    {PRINTER_STATUS_PROCESSING, "обработка"},
    {PRINTER_STATUS_INITIALIZING, "запускается"},
    {PRINTER_STATUS_WARMING_UP, "прогрев"},
    {PRINTER_STATUS_USER_INTERVENTION, "требует вмешательства"},
    {PRINTER_STATUS_OUT_OF_MEMORY, "нет памяти"},
    {PRINTER_STATUS_DOOR_OPEN, "открыта крышка"},
    {PRINTER_STATUS_SERVER_UNKNOWN, "сервер печати неизвестен"},
    {PRINTER_STATUS_POWER_SAVE, "энергосбережение"},
    {0, nullptr},
};

void append_job_state(TextBuffer* buffer, const WCHAR* status_text, DWORD status) {
    bool words = false;
    for (const StatusWord* row = job_status_words; row->words != nullptr; ++row) words = words || (row->mask & status);
    append_utf16(buffer, status_text);
    // No separator left hanging, and never nothing at all.
    if (status_text[0] != 0 && words) append(buffer, "; ");
    append_status_words(buffer, status, job_status_words);
    if (status_text[0] == 0 && !words) append(buffer, "в очереди");
}

void append_status_words(TextBuffer* buffer, DWORD status, const StatusWord* table) {
    bool first = true;
    for (const StatusWord* row = table; row->words != nullptr; ++row) {
        if ((row->mask & status) == 0) continue;
        if (!first) append(buffer, ", ");
        append(buffer, row->words);
        first = false;
    }
}
