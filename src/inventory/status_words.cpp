#include "inventory/status_words.h"

const StatusWord job_status_words[] = {
    {0x00000001, "paused", L"приостановлено"},
    {0x00000002, "error", L"ошибка"},
    {0x00000004, "deleting", L"удаляется"},
    {0x00000008, "spooling", L"помещается в очередь"},
    {0x00000010, "printing", L"печатается"},
    {0x00000020, "offline", L"принтер не в сети"},
    {0x00000040, "paper_out", L"нет бумаги"},
    {0x00000080, "printed", L"напечатано"},
    {0x00000100, "deleted", L"удалено"},
    {0x00000200, "blocked", L"заблокировано"},
    {0x00000400, "user_intervention", L"требует вмешательства"},
    {0x00000800, "restart", L"перезапуск"},
    {0x00001000, "complete", L"отправлено на принтер"},
    {0, nullptr, nullptr},
};

const StatusWord printer_status_words[] = {
    {0x00000001, "paused", L"очередь приостановлена"},
    {0x00000002, "error", L"ошибка"},
    {0x00000004, "pending_deletion", L"удаляется"},
    {0x00000008, "paper_jam", L"замята бумага"},
    {0x00000010, "paper_out", L"нет бумаги"},
    {0x00000020, "manual_feed", L"ручная подача"},
    {0x00000040, "paper_problem", L"проблема с бумагой"},
    {0x00000080, "offline", L"не в сети"},
    {0x00000100, "io_active", L"обмен данными"},
    {0x00000200, "busy", L"занят"},
    {0x00000400, "printing", L"печатает"},
    {0x00000800, "output_bin_full", L"лоток переполнен"},
    {0x00001000, "not_available", L"недоступен"},
    {0x00002000, "waiting", L"ожидание"},
    {0x00004000, "processing", L"обработка"},
    {0x00008000, "initializing", L"запускается"},
    {0x00010000, "warming_up", L"прогрев"},
    {0x00100000, "user_intervention", L"требует вмешательства"},
    {0x00200000, "out_of_memory", L"нет памяти"},
    {0x00400000, "door_open", L"открыта крышка"},
    {0x00800000, "server_unknown", L"сервер печати неизвестен"},
    {0x01000000, "power_save", L"энергосбережение"},
    {0, nullptr, nullptr},
};

void append_status_keys(TextBuffer* buffer, DWORD status, const StatusWord* table) {
    append(buffer, "[");
    bool first = true;
    for (const StatusWord* row = table; row->key != nullptr; ++row) {
        if ((row->mask & status) == 0) continue;
        if (!first) append(buffer, ",");
        append_format(buffer, "\"%s\"", row->key);
        first = false;
    }
    append(buffer, "]");
}

void append_status_words(TextBuffer* buffer, DWORD status, const StatusWord* table) {
    bool first = true;
    for (const StatusWord* row = table; row->key != nullptr; ++row) {
        if ((row->mask & status) == 0) continue;
        if (!first) append(buffer, ", ");
        append_utf16(buffer, row->text);
        first = false;
    }
}
