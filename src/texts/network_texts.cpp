#include "texts/network_texts.h"

#include "texts/error_words.h"

namespace {

void append_address(TextBuffer* text, const NetPort& port) {
    append_utf16(text, port.host);
    append_format(text, ", TCP %lu", static_cast<unsigned long>(port.tcp));
    if (port.protocol == NET_PROTOCOL_LPR) {
        append(text, ", LPR, очередь «");
        append_utf16(text, port.queue);
        append(text, "»");
    }
}

// Where a port's settings are in Windows, for a cashier to follow.
const char kPortSettings[] = "«Устройства и принтеры» " TEXT_ARROW " принтер " TEXT_ARROW " «Свойства принтера» " TEXT_ARROW " «Порты» " TEXT_ARROW " «Настроить порт»";

// " - Сетевой принтер очереди «name» (address, TCP n)", which a finding goes on from.
void append_printer_of(TextBuffer* text, const PrinterEntry& entry, const NetPort& port) {
    append(text, " - Сетевой принтер очереди «");
    append_utf16(text, entry.name);
    append(text, "» (");
    append_address(text, port);
    append(text, ")");
}

bool name_timed_out(const NetPort& port) {
    return port.answer == NET_NO_ADDRESS && port.win32 == NET_NAME_TIMED_OUT;
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
        case NET_REFUSED: append(text, " — адрес отвечает, но на этом порту соединение отклонено [!!]"); break;
        case NET_SILENT: append(text, " — НЕ ОТВЕЧАЕТ [!!]"); break;
        case NET_NO_ADDRESS:
            append(text,
                   name_timed_out(port) ? " — имя не удалось найти вовремя [!!]" : " — такого имени в сети нет [!!]");
            break;
        case NET_FAILED:
            append(text, " — проверить не удалось (");
            append_error_words(text, port.win32);
            append(text, ") [!!]");
            break;
    }
    append(text, "\r\n");
}

bool append_net_finding(TextBuffer* text, const PrinterEntry& entry, const NetPort& port) {
    const bool raw = port.protocol == NET_PROTOCOL_RAW;  // LPR always asks TCP port 515
    switch (port.answer) {
        case NET_SILENT:
            append_printer_of(text, entry, port);
            // Windows retries a refused connection for about 2 s: a wrong port number mostly shows as silence.
            append(text,
                   raw ? " не отвечает: он выключен, не в сети, сменил адрес или в порту указан не тот номер порта."
                       : " не отвечает: он выключен, не в сети или сменил адрес.");
            append(text,
                   " Проверьте питание и кабель. Напечатайте страницу настроек принтера (включите его с нажатой "
                   "кнопкой подачи бумаги) и сверьте адрес и порт на ней с настройками порта: ");
            append(text, kPortSettings);
            append(text, ". Сменился адрес — исправьте его там или закрепите адрес за принтером в роутере.\r\n");
            return true;
        case NET_REFUSED:
            append_printer_of(text, entry, port);
            append(text, raw ? ": адрес отвечает, но этот порт соединения не принимает — скорее всего, в порту указан "
                               "не тот номер. Сверьте его со страницей настроек принтера (у чековых обычно 9100): "
                             : ": адрес отвечает, но задания по LPR не принимает. Выберите протокол «Raw» и порт со "
                               "страницы настроек принтера (у чековых обычно 9100): ");
            append(text, kPortSettings);
            append(text,
                   raw ? ". Номер верный — значит, по этому адресу другое устройство: сверьте и адрес.\r\n" : ".\r\n");
            return true;
        case NET_NO_ADDRESS:
            append(text, " - Имя «");
            append_utf16(text, port.host);
            append(text, "» принтера очереди «");
            append_utf16(text, entry.name);
            append(text, name_timed_out(port) ? "» не удалось найти за секунду (не отвечает роутер или DNS-сервер)."
                                              : "» в сети не знают.");
            append(text, " Укажите в порту адрес принтера вместо имени: ");
            break;
        case NET_FAILED:
            if (port.win32 == NET_ADDRESS_UNUSABLE) {
                append_printer_of(text, entry, port);
                append(text, ": в порту указан недопустимый адрес. Укажите адрес со страницы настроек принтера: ");
                break;
            }
            append(text, " - Связь с сетевым принтером очереди «");
            append_utf16(text, entry.name);
            append(text, "» проверить не удалось (");
            append_error_words(text, port.win32);
            append(text, "). Проверьте, что этот компьютер подключён к сети.\r\n");
            return true;
        default: return false;
    }
    append(text, kPortSettings);
    append(text, ".\r\n");
    return true;
}

void append_net_check_note(TextBuffer* text) {
    append(text,
           "\r\n Сетевые принтеры проверены одним соединением с каждым: ничего не отправлено и не напечатано.\r\n");
}
