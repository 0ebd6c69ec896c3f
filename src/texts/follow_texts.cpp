#include "texts/follow_texts.h"

#include "texts/error_words.h"
#include "texts/status_words.h"

namespace {

void append_success(TextBuffer* text, DWORD elapsed, bool escpos) {
    if (elapsed >= 1000) {
        append_format(text, "Задание ушло из очереди за %lu с — Windows передала его принтеру.\r\n",
                      static_cast<unsigned long>((elapsed + 500) / 1000));
    } else {
        append(text, "Задание сразу ушло из очереди — Windows передала его принтеру.\r\n");
    }
    if (escpos) {
        append(text,
               "Вышел лист «TEST OK» — прямая печать работает. Не вышло ничего — принтер не понимает команды чековых "
               "принтеров (ESC/POS), так ведут себя лазерные и струйные; для них: morvik-helper.exe driver "
               "\"имя\"\r\n");
    } else {
        append(text,
               "Вышла страница — печать через драйвер работает. Не вышло ничего — смотрите на сам принтер: бумага, "
               "крышка, лампочка ошибки.\r\n");
    }
}

void append_hang_report(TextBuffer* text, const JobState& state, const DeviceInventory& devices) {
    if (state.presence == JOB_UNKNOWN) {
        append(text, "Windows не отвечает, где задание (");
        append_error_words(text, state.query_error);
        append(text, ") — проверьте службу «Диспетчер печати».\r\n");
    }
    append(text, "Задание ВИСИТ в очереди уже 15 с — принтер его не забирает.\r\n  задание: ");
    append_job_state(text, state.job_status_text, state.job_status);
    append(text, "\r\n  принтер: ");
    if (state.printer.status == 0 && !works_offline(state.printer.attributes)) {
        append(text, "Windows считает его готовым");
    }
    append_status_words(text, state.printer.status, printer_status_words);
    if (works_offline(state.printer.attributes)) append(text, " [включено «Работать автономно»]");
    const WCHAR* port = state.printer.port != nullptr ? state.printer.port : L"";
    append(text, "\r\n  порт: ");
    append_utf16(text, port);
    int presence = usb_port_presence(devices, port);
    if (presence == 0) append(text, " — к этому порту сейчас НИЧЕГО не подключено");
    if (presence > 0) append(text, " — принтер подключён");
    append(text,
           "\r\nУдалите задание: Устройства и принтеры " TEXT_ARROW " принтер " TEXT_ARROW " «Просмотр очереди печати» " TEXT_ARROW " Отменить. Иначе "
           "следующие задания встанут за ним.\r\n");
}

}  // namespace

void append_follow_intro(TextBuffer* text) {
    append(text, "Смотрю, уйдёт ли задание из очереди Windows (до 15 с)...\r\n");
}

void append_follow_result(TextBuffer* text, const FollowResult& result, const DeviceInventory& devices, bool escpos) {
    if (!result.followed) {
        append(text, "Проследить за заданием не удалось.\r\n");
    } else if (result.done) {
        append_success(text, result.elapsed_ms, escpos);
    } else {
        append_hang_report(text, result.state, devices);
    }
}
