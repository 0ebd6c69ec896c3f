#include "texts/printer_status_text.h"

#include "devices/device_inventory.h"
#include "texts/error_words.h"

namespace {

// By PaperState.
const char* const kPaper[] = {"бумага есть", "бумага заканчивается", "бумаги нет", "о бумаге не сказал"};

// What to do, by PrinterFault.
const char* const kFaultAdvice[] = {
    "",
    "Временная ошибка — подождите.\r\n",
    "Механическая ошибка — уберите застрявшую бумагу.\r\n",
    "Ошибка автообрезчика — уберите бумагу у ножа.\r\n",
    "Тяжёлая ошибка — перезапустите принтер.\r\n",
    "Об ошибках не сказал.\r\n",
};

// Why it was not asked, by NotAskedReason.
const char* const kNotAsked[] = {
    "",
    " не на USB и не на TCP/IP RAW: не спрошен.\r\n",
    " занят печатью: спросите позже.\r\n",
    " не знает ESC/POS: не спрошен.\r\n",
    " не подключён: проверьте кабель.\r\n",
};

static_assert(sizeof kPaper / sizeof kPaper[0] == static_cast<int>(PaperState::unknown) + 1, "a text a state");
static_assert(sizeof kFaultAdvice / sizeof kFaultAdvice[0] == static_cast<int>(PrinterFault::unknown) + 1,
              "a text a fault");
static_assert(sizeof kNotAsked / sizeof kNotAsked[0] == static_cast<int>(NotAskedReason::no_device) + 1,
              "a text a reason");

void append_printer(TextBuffer* text, const StatusVerdict& verdict, const char* lead) {
    append(text, lead);
    append_utf16(text, verdict.printer);
    append(text, " (");
    append_utf16(text, verdict.port);
    append(text, ")");
}

void append_answer(TextBuffer* text, const StatusVerdict& verdict) {
    EscposState state = decode_escpos_status(verdict.ask.bytes, verdict.ask.answered);
    append(text, " ответил: ");
    append(text, kPaper[static_cast<int>(state.paper)]);
    append(text, state.ready ? ", готов.\r\n" : ", не готов.\r\n");
    if (!state.online) append(text, "Принтер не в сети — включите его.\r\n");
    if (state.cover_open == 1) append(text, "Крышка открыта — закройте крышку.\r\n");
    if (state.paper == PaperState::out) append(text, "Вставьте новый рулон.\r\n");
    if (state.paper == PaperState::near_end) append(text, "Бумага заканчивается — приготовьте новый рулон.\r\n");
    append(text, kFaultAdvice[static_cast<int>(state.fault)]);
    // The class status is the driver's word; the printer's own answer decides.
    bool class_empty = (verdict.port_status & PORT_STATUS_PAPER_EMPTY) != 0;
    if (verdict.port_status != PORT_STATUS_UNKNOWN && state.paper != PaperState::unknown &&
        class_empty != (state.paper == PaperState::out)) {
        append(text, "По USB о бумаге иное; верен ответ.\r\n");
    }
}

// After the printer's name and port.
void append_ask_failure(TextBuffer* text, const StatusVerdict& verdict) {
    const AskResult& ask = verdict.ask;
    if (ask.outcome == AskOutcome::no_answer) {
        append(text, " не ответил за 0,5 с — включён ли он?\r\n");
        return;
    }
    if (ask.outcome == AskOutcome::bad_answer) {
        append(text, " ответил непонятно: не ESC/POS?\r\n");
        return;
    }
    if (ask.win32 == 0) {
        append(text, ": связь закрыта.\r\n");
        return;
    }
    append(text, " (");
    append_error_words(text, ask.win32);
    append(text, ask.outcome != AskOutcome::open_failed ? "). Перезапустите принтер.\r\n"
                 : verdict.way == StatusWay::tcp    ? "). Включён ли он?\r\n"
                                                    : "). Он занят другой программой?\r\n");
}

}  // namespace

void append_status_text(TextBuffer* text, const StatusVerdict& verdict, DWORD default_error) {
    if (verdict.printer[0] == 0 || verdict.port == nullptr) {
        bool named = verdict.printer[0] != 0;
        DWORD error = named ? verdict.queue_error : default_error;
        append(text, named ? "ОШИБКА: не открылась очередь " : "ОШИБКА: нет принтера по умолчанию");
        append_utf16(text, verdict.printer);
        if (error != ERROR_SUCCESS) {
            append(text, " (");
            append_error_words(text, error);
            append(text, ")");
        }
        append(text, ".\r\n");
        return;
    }
    bool asked = verdict.reason == NotAskedReason::asked;
    // Open, write and read failures: no word from the printer at all.
    bool cut_off = asked && verdict.ask.outcome >= AskOutcome::open_failed;
    append_printer(text, verdict, cut_off ? "ОШИБКА: нет связи с " : "Принтер ");
    if (asked && verdict.ask.outcome == AskOutcome::answered) {
        append_answer(text, verdict);
        return;
    }
    if (!asked) {
        append(text, kNotAsked[static_cast<int>(verdict.reason)]);
    } else {
        append_ask_failure(text, verdict);
    }
    // What is known of the paper without an answer.
    append(text, verdict.port_status == PORT_STATUS_UNKNOWN       ? "О бумаге неизвестно.\r\n"
                 : verdict.port_status & PORT_STATUS_PAPER_EMPTY ? "По USB: бумаги нет.\r\n"
                                                                  : "По USB: бумага есть.\r\n");
}
