#include "texts/report.h"

#include <windows.h>
#include <winspool.h>

#include "base/numbers.h"
#include "base/version.h"
#include "texts/error_words.h"
#include "texts/gathering_findings.h"
#include "texts/network_texts.h"
#include "texts/status_words.h"

namespace {

const int kShownJobs = 5;
const unsigned long long kOldJobMs = 60000;  // older than a minute: the printer is not taking it
const char kRule[] = "==========================================";

void append_header(TextBuffer* text, const PrinterInventory& printers) {
    append(text, "Morvik — помощник печати " MORVIK_VERSION_TEXT "\r\n");
    append(text, "Проверка принтеров этого компьютера\r\n");
    append(text, kRule);
    append(text, "\r\n\r\n");
    append(text, "Принтер по умолчанию: ");
    if (printers.default_printer != nullptr && printers.default_printer[0] != 0) {
        append_utf16(text, printers.default_printer);
    } else if (printers.default_error != ERROR_SUCCESS) {
        append(text, "Windows не ответила (");
        append_error_words(text, printers.default_error);
        append(text, ") [!!]");
    } else {
        append(text, "не задан");
    }
    append(text, "\r\n\r\n");
}

void append_usb_device(TextBuffer* text, const UsbDevice& device) {
    append(text, "  ");
    append_utf16(text, device.port);
    if (device.hwid[0] != 0) {
        append(text, "  чип: ");
        append_utf16(text, device.hwid);
    }
    append(text, "\r\n");
    if (device.pnp[0] != 0) {
        append(text, "      Windows знает его как: ");
        append_utf16(text, device.pnp);
        append(text, "\r\n");
    }
    if (device.asked == DEVICE_ID_ANSWERED) {
        append(text, "      принтер о себе: ");
        append(text, device.mfg[0] != 0 ? device.mfg : "?");
        append(text, " ");
        append(text, device.mdl[0] != 0 ? device.mdl : "?");
        append(text, device.cmd[0] != 0 ? ", команды: " : ", команды не назвал");
        append(text, device.cmd);
        append(text, "\r\n");
    } else if (device.asked == DEVICE_ID_NO_ANSWER) {
        append(text, "      принтер о себе: не ответил (или занят печатью)\r\n");
    }
}

void append_devices(TextBuffer* text, const DeviceInventory& devices) {
    append(text, "USB-принтеры, подключённые сейчас: ");
    if (!devices.usb_ok) {
        append(text, "не удалось узнать\r\n");
    } else if (devices.usb_count == 0) {
        append(text, "нет ни одного\r\n");
    } else {
        append(text, "\r\n");
    }
    // An incomplete listing still shows the devices it found.
    for (int i = 0; i < devices.usb_count; ++i) append_usb_device(text, devices.usb_devices[i]);
    for (int i = 0; i < devices.lpt_count; ++i) {
        const ParallelPort& port = devices.lpt_ports[i];
        append(text, "  ");
        if (port.port[0] != 0) {
            append_utf16(text, port.port);
        } else {
            append(text, "LPT?");
        }
        append(text, "  Windows знает его как: ");
        append_utf16(text, port.pnp);
        append(text, "\r\n");
    }
    append(text, "\r\n");
}

void append_state(TextBuffer* text, const PrinterEntry& entry) {
    append(text, "\r\n    состояние: ");
    if (entry.status == 0 && !works_offline(entry.attributes)) {
        append(text, "готов");
        return;
    }
    DWORD before = text->length;
    append_status_words(text, entry.status, printer_status_words);
    // Status bits without words write nothing: no comma before the phrase then.
    if (works_offline(entry.attributes)) {
        append(text,
               text->length != before ? ", включено «Работать автономно» [!!]" : "включено «Работать автономно» [!!]");
    }
}

void append_queue(TextBuffer* text, const PrinterEntry& entry) {
    if (entry.jobs_in_queue == 0) return;
    unsigned long long oldest = oldest_job_age_ms(entry);
    append_format(text, "    в очереди заданий: %lu (самое старое — %llu мин.)", static_cast<unsigned long>(entry.jobs_in_queue),
                  divide_small(oldest, 60000));
    if (oldest > kOldJobMs) append(text, " [!!]");
    append(text, "\r\n");
    for (int i = 0; i < entry.jobs_read && i < kShownJobs; ++i) {
        const JobEntry& job = entry.job_list[i];
        append_format(text, "      #%lu ", static_cast<unsigned long>(job.id));
        if (job.doc[0] != 0) {
            append_utf16(text, job.doc);
        } else {
            append(text, "(без названия)");
        }
        append(text, " — ");
        append_job_state(text, job.status_text, job.status);
        append(text, "\r\n");
    }
}

// The network port a local queue prints to; null when it is no network port.
const NetPort* net_port_of(const Survey& survey, const PrinterEntry& entry) {
    return entry.details && survey.network != nullptr ? find_net_port(*survey.network, entry.port) : nullptr;
}

bool any_asked(const NetPorts* ports) {
    for (int i = 0; ports != nullptr && i < ports->count; ++i) {
        if (ports->ports[i].answer != NET_NOT_ASKED) return true;
    }
    return false;
}

void append_printer(TextBuffer* text, const PrinterEntry& entry, int number, const Survey& survey) {
    const DeviceInventory& devices = survey.devices;
    append_format(text, "\r\n %d. ", number);
    append_utf16(text, entry.name);
    if (entry.is_default) append(text, "   [ПО УМОЛЧАНИЮ]");
    append(text, "\r\n");
    if (entry.is_virtual) append(text, "    виртуальный: сохраняет в файл или факс, на бумагу НЕ печатает\r\n");
    if (!entry.details) {
        append(text, "    сетевой принтер (подключён с другого компьютера)\r\n");
        return;
    }
    append(text, "    порт: ");
    append_utf16(text, entry.port);
    int presence = usb_port_presence(devices, entry.port);
    if (presence == 1) append(text, " — принтер подключён [OK]");
    if (presence == 0) append(text, " — к этому порту сейчас НИЧЕГО не подключено [!!]");
    append(text, "\r\n");
    if (const NetPort* port = net_port_of(survey, entry)) append_net_port_line(text, *port);
    append(text, "    драйвер: ");
    append_utf16(text, entry.driver);
    append_state(text, entry);
    append(text, "\r\n");
    append_queue(text, entry);
}

// Writes the findings about one queue; returns how many.
int append_findings(TextBuffer* text, const PrinterEntry& entry, const Survey& survey) {
    const DeviceInventory& devices = survey.devices;
    int found = 0;
    if (entry.is_default && entry.is_virtual) {
        append(text, " - По умолчанию стоит виртуальный принтер «");
        append_utf16(text, entry.name);
        append(text, "»: если в кассе принтер не выбран, чек уйдёт в файл, а не на бумагу.\r\n");
        ++found;
    }
    if (!entry.details) return found;
    if (usb_port_presence(devices, entry.port) == 0 && !entry.is_virtual) {
        append(text, " - Очередь «");
        append_utf16(text, entry.name);
        append(text, "» смотрит в порт ");
        append_utf16(text, entry.port);
        append(text, ", а к нему ничего не подключено.");
        if (devices.usb_count > 0) {
            append(text, " Принтер сейчас на порту ");
            for (int i = 0; i < devices.usb_count; ++i) {
                if (i > 0) append(text, " / ");
                append_utf16(text, devices.usb_devices[i].port);
            }
            append(text,
                   " — в свойствах принтера, вкладка «Порты», отметьте его (или выберите в кассе очередь с этим "
                   "портом).");
        } else {
            append(text, " Проверьте кабель и питание принтера.");
        }
        append(text, "\r\n");
        ++found;
    }
    if (works_offline(entry.attributes)) {
        append(text, " - У «");
        append_utf16(text, entry.name);
        append(text, "» включено «Работать автономно»: откройте очередь печати, меню «Принтер», снимите галочку.\r\n");
        ++found;
    }
    if (entry.status & PRINTER_STATUS_PAUSED) {
        append(text, " - Очередь «");
        append_utf16(text, entry.name);
        append(text, "» приостановлена: меню «Принтер» — снять «Приостановить печать».\r\n");
        ++found;
    }
    if (entry.jobs_read > 0 && entry.jobs_in_queue != 0 && oldest_job_age_ms(entry) > kOldJobMs) {
        append(text, " - В очереди «");
        append_utf16(text, entry.name);
        append(text, "» висят старые задания — принтер их не забирает. Очистите очередь, проверьте порт.\r\n");
        ++found;
    }
    const NetPort* port = net_port_of(survey, entry);
    if (port != nullptr && append_net_finding(text, entry, *port)) ++found;
    return found;
}

}  // namespace

void append_report(TextBuffer* text, const Survey& survey, bool pause) {
    const PrinterInventory& printers = survey.printers;
    append_header(text, printers);
    append_devices(text, survey.devices);
    append_format(text, "Принтеры (%d)", printers.printer_count);
    append(text, printers.printers_ok ? ":\r\n" : " — Windows отдала не весь список [!!]:\r\n");
    for (int i = 0; i < printers.printer_count; ++i) {
        append_printer(text, printers.printers[i], i + 1, survey);
    }
    if (any_asked(survey.network)) append_net_check_note(text);
    if (printers.printers_cut > 0) {
        append_format(text, "\r\n Не показано очередей: %d — в отчёт входят не больше %d.\r\n", printers.printers_cut,
                      static_cast<int>(MAX_PRINTERS));
    }

    append(text, "\r\n");
    append(text, kRule);
    append(text, "\r\nЧто видно:\r\n");
    int findings = append_spooler_finding(text, printers);
    findings += append_port_status_findings(text, survey.devices);
    findings += append_usb_finding(text, survey.devices);
    for (int i = 0; i < printers.printer_count; ++i) {
        findings += append_findings(text, printers.printers[i], survey);
    }
    // Said only when everything could be read: what was not read may hide a fault.
    findings += append_unchecked_network_finding(text, survey.network);
    if (findings == 0) append(text, " - Явных проблем с очередями не видно.\r\n");

    append(text, "\r\nПроверка печати (имя принтера — точно как в списке выше):\r\n");
    append(text, "  morvik-helper.exe driver \"имя\"   через драйвер, как касса печатает обычно (любой принтер)\r\n");
    append(text,
           "  morvik-helper.exe test \"имя\"     напрямую командами чекового принтера (ESC/POS), только для "
           "чековых\r\n");
    if (pause) append(text, "\r\nНажмите Enter, чтобы закрыть окно...");
}
