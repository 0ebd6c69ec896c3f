#include "texts/network_texts.h"

#include <stdlib.h>

#include "output/errors.h"

namespace {

void append_error_words(TextBuffer* text, DWORD error) {
    char* message = win32_message_line(error);
    append_format(text, "ошибка %lu: ", static_cast<unsigned long>(error));
    append(text, message);
    free(message);
}

void append_address(TextBuffer* text, const NetPort& port) {
    append_utf16(text, port.host);
    append_format(text, ", TCP %lu", static_cast<unsigned long>(port.tcp));
    if (port.protocol == NET_PROTOCOL_LPR) {
        append(text, ", LPR, очередь «");
        append_utf16(text, port.queue);
        append(text, "»");
    }
}

}  // namespace

void append_net_port_line(TextBuffer* text, const NetPort& port) {
    append(text, "    сеть: ");
    if (port.wsd) {
        append(text, "порт WSD — его адрес Windows хранит у себя, помощник его не проверяет\r\n");
        return;
    }
    if (port.tcp == 0) {
        append(text, "адрес в настройках порта прочитать не удалось\r\n");
        return;
    }
    append_address(text, port);
    switch (port.answer) {
        case NET_NOT_ASKED: append(text, " — не проверялся"); break;
        case NET_ANSWERS: append(text, " — принтер отвечает [OK]"); break;
        case NET_REFUSED: append(text, " — по этому адресу отвечает не принтер (соединение отклонено) [!!]"); break;
        case NET_SILENT: append(text, " — НЕ ОТВЕЧАЕТ [!!]"); break;
        case NET_NO_ADDRESS: append(text, " — такого имени в сети нет [!!]"); break;
        case NET_FAILED:
            append(text, " — проверить не удалось (");
            append_error_words(text, port.win32);
            append(text, ") [!!]");
            break;
    }
    append(text, "\r\n");
}

int append_net_finding(TextBuffer* text, const PrinterEntry& entry, const NetPort& port) {
    switch (port.answer) {
        case NET_SILENT:
        case NET_REFUSED:
            append(text, " - Сетевой принтер очереди «");
            append_utf16(text, entry.name);
            append(text, "» (");
            append_address(text, port);
            append(text, port.answer == NET_SILENT ? ") не отвечает." : ") не принимает соединение.");
            append(text,
                   " Проверьте питание и сетевой кабель принтера. Напечатайте страницу настроек самого принтера "
                   "(большинство чековых принтеров печатают её, если включить их с нажатой кнопкой подачи бумаги) и "
                   "сравните адрес на ней с адресом порта. Если адрес сменился — исправьте его в свойствах принтера "
                   "(Порты → Настроить порт) или закрепите за принтером постоянный адрес в роутере.\r\n");
            return 1;
        case NET_NO_ADDRESS:
            append(text, " - Имя «");
            append_utf16(text, port.host);
            append(text, "» сетевого принтера очереди «");
            append_utf16(text, entry.name);
            append(text,
                   "» в сети не знают. Укажите в порту адрес принтера вместо имени (свойства принтера → Порты → "
                   "Настроить порт).\r\n");
            return 1;
        case NET_FAILED:
            append(text, " - Связь с сетевым принтером очереди «");
            append_utf16(text, entry.name);
            append(text, "» проверить не удалось (");
            append_error_words(text, port.win32);
            append(text, "). Проверьте, что этот компьютер подключён к сети.\r\n");
            return 1;
        default: return 0;
    }
}

void append_net_check_note(TextBuffer* text) {
    append(text, "\r\n Сетевые принтеры проверены одним соединением с каждым: ничего не отправлено и не напечатано.\r\n");
}
