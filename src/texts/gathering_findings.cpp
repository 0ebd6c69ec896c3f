#include "texts/gathering_findings.h"

#include "texts/error_words.h"

// The print spooler that does not answer: the most common fault of a shop's
// computer, and the first thing said, since nothing else can be judged then.
int append_spooler_finding(TextBuffer* text, const PrinterInventory& printers) {
    bool list_unread = !printers.printers_ok;
    bool default_unread = printers.default_error != ERROR_SUCCESS;
    if (!list_unread && !default_unread) return 0;
    append(text, " - Windows не отдала ");
    if (list_unread && default_unread && printers.printers_error == printers.default_error) {
        append(text, "список принтеров и принтер по умолчанию (");
        append_error_words(text, printers.printers_error);
    } else if (list_unread) {
        append(text, "список принтеров (");
        append_error_words(text, printers.printers_error);
        if (default_unread) {
            append(text, "), принтер по умолчанию (");
            append_error_words(text, printers.default_error);
        }
    } else {
        append(text, "принтер по умолчанию (");
        append_error_words(text, printers.default_error);
    }
    append(text,
           "). Скорее всего, остановлена служба «Диспетчер печати». Запустите её: Win+R, services.msc, «Диспетчер "
           "печати», «Запустить» (или перезагрузите компьютер), затем запустите помощника ещё раз.\r\n");
    return 1;
}

// What a USB printer says of itself through the class status, which the
// spooler may not know: a printer "ready" in Windows with its paper out.
int append_port_status_findings(TextBuffer* text, const DeviceInventory& devices) {
    int found = 0;
    for (int i = 0; i < devices.usb_count; ++i) {
        const UsbDevice& device = devices.usb_devices[i];
        int status = device.port_status;
        if (status == PORT_STATUS_UNKNOWN) continue;
        bool paper_empty = (status & PORT_STATUS_PAPER_EMPTY) != 0;
        const char* says = paper_empty                       ? " нет бумаги"
                           : !(status & PORT_STATUS_NO_ERROR) ? " сообщает об ошибке"
                           : !(status & PORT_STATUS_SELECTED) ? " не готов к печати (не в сети)"
                                                              : nullptr;
        if (says == nullptr) continue;
        append(text, paper_empty ? " - В принтере на " : " - Принтер на ");
        append_utf16(text, device.port);
        append(text, says);
        append(text,
               (status & PORT_STATUS_PAPER_EMPTY)
                   ? " — так говорит сам принтер. Вставьте новый рулон и закройте крышку.\r\n"
                   : " — так говорит сам принтер. Проверьте бумагу и крышку, выключите и включите принтер.\r\n");
        ++found;
    }
    return found;
}

int append_usb_finding(TextBuffer* text, const DeviceInventory& devices) {
    if (devices.usb_ok) return 0;
    if (devices.usb_cut > 0) {
        append_format(text,
                      " - USB-принтеров больше %d: ещё %d в отчёт не вошли, поэтому про очереди на портах USB "
                      "помощник не скажет, подключено ли к ним что-нибудь.\r\n",
                      static_cast<int>(MAX_USB_DEVICES), devices.usb_cut);
    } else {
        append(text,
               " - Список USB-устройств Windows отдала не полностью: про очереди на портах USB помощник не скажет, "
               "подключено ли к ним что-нибудь.\r\n");
    }
    return 1;
}

// Network ports whose address could not be read, or that could not be asked.
int append_unchecked_network_finding(TextBuffer* text, const NetPorts* ports) {
    int unread = 0;
    for (int i = 0; ports != nullptr && i < ports->count; ++i) {
        const NetPort& port = ports->ports[i];
        if (!port.wsd && (port.tcp == 0 || port.answer == NET_NOT_ASKED)) ++unread;
    }
    if (unread == 0) return 0;
    append(text,
           " - Не все сетевые принтеры удалось проверить (см. «сеть:» выше): адрес в настройках порта не прочитан "
           "или сеть этого компьютера не ответила.\r\n");
    return 1;
}
