#include "documents/status_document.h"

#include "documents/device_section.h"
#include "documents/failure.h"
#include "output/format.h"
#include "output/json.h"

namespace {

// By NotAskedReason. Words in rows of their own: no table of pointers.
const char kReasonWords[][11] = {"", "port", "busy", "not_escpos", "no_device"};
const char* const kReasonMessages[] = {
    "",
    "Порт не USB и не TCP/IP RAW",
    "Принтер занят печатью",
    "Принтер не знает ESC/POS",
    "Принтер не подключён по USB",
};
static_assert(sizeof kReasonWords / sizeof kReasonWords[0] == static_cast<int>(NotAskedReason::no_device) + 1 &&
                  sizeof kReasonMessages / sizeof kReasonMessages[0] == sizeof kReasonWords / sizeof kReasonWords[0],
              "a word and a message a reason");

// By AskOutcome, from no_answer on: the error and the program's own message
// (null: the system's text of win32).
const char* const kAskFailures[][2] = {
    {"NO_ANSWER", "Принтер не ответил за 0,5 с"},
    {"BAD_ANSWER", "Ответ не по ESC/POS"},
    {"OPEN_FAILED", nullptr},
    {"WRITE_FAILED", nullptr},
    {"READ_FAILED", nullptr},
};
static_assert(sizeof kAskFailures / sizeof kAskFailures[0] ==
                  static_cast<int>(AskOutcome::read_failed) - static_cast<int>(AskOutcome::no_answer) + 1,
              "a failure");

const char* paper_word(PaperState paper) {
    switch (paper) {
        case PaperState::ok: return "ok";
        case PaperState::near_end: return "near_end";
        case PaperState::out: return "out";
        case PaperState::unknown: break;
    }
    return "unknown";
}

const char* fault_word(PrinterFault fault) {
    switch (fault) {
        case PrinterFault::none: return "\"none\"";
        case PrinterFault::recoverable: return "\"recoverable\"";
        case PrinterFault::mechanical: return "\"mechanical\"";
        case PrinterFault::autocutter: return "\"autocutter\"";
        case PrinterFault::unrecoverable: return "\"unrecoverable\"";
        case PrinterFault::unknown: break;
    }
    return "null";
}

void append_answers(TextBuffer* document, const AskResult& ask) {
    append(document, ",\"answers\":\"");
    for (DWORD i = 0; i < ask.count; ++i) append_format(document, "%02x", static_cast<unsigned>(ask.bytes[i]));
    append(document, "\"");
}

// The gravest reason the printer is not ready, for the message.
const char* not_ready_message(const EscposState& state) {
    if (!state.online) return "Принтер не в сети";
    if (state.cover_open == 1) return "Открыта крышка";
    if (state.paper == PaperState::out) return "В принтере нет бумаги";
    return "Ошибка принтера";
}

void append_answered(TextBuffer* document, const StatusVerdict& verdict) {
    EscposState state = decode_escpos_status(verdict.ask.bytes, verdict.ask.answered);
    if (state.ready) {
        append(document, "\"ok\":true");
    } else {
        append_failure(document, "NOT_READY", 0, not_ready_message(state), FAILURE_WITH_OK);
    }
    append_json_member(document, ",\"printer\":", verdict.printer);
    append_json_member(document, ",\"port\":", verdict.port);
    append_format(document, ",\"via\":\"%s\",\"ready\":%s,\"online\":%s,\"cover_open\":%s,\"paper\":\"%s\"",
                  verdict.way == StatusWay::tcp ? "tcp" : "usb", json_boolean(state.ready), json_boolean(state.online),
                  json_presence(state.cover_open), paper_word(state.paper));
    append_format(document, ",\"fault\":%s,\"drawer_pin3\":\"%s\"", fault_word(state.fault),
                  state.drawer_pin3_high ? "high" : "low");
    append_answers(document, verdict.ask);
    append_format(document, ",\"ms\":%lu", static_cast<unsigned long>(verdict.ask.ms));
    if (verdict.way == StatusWay::usb) append_port_status(document, verdict.port_status);
}

// A failure's own members, after "message".
void append_failed(TextBuffer* document, const StatusVerdict& verdict) {
    const AskResult& ask = verdict.ask;
    if (verdict.reason != NotAskedReason::asked) {
        int reason = static_cast<int>(verdict.reason);
        append_failure(document, "NOT_ASKED", 0, kReasonMessages[reason], FAILURE_WITH_OK);
        append_format(document, ",\"reason\":\"%s\"", kReasonWords[reason]);
    } else {
        const char* const* failure = kAskFailures[static_cast<int>(ask.outcome) - static_cast<int>(AskOutcome::no_answer)];
        const char* message = failure[1];
        if (ask.outcome == AskOutcome::read_failed && ask.win32 == 0) message = "Принтер закрыл соединение, не ответив";
        append_failure(document, failure[0], ask.win32, message, FAILURE_WITH_OK);
        if (ask.outcome == AskOutcome::no_answer) append_format(document, ",\"ms\":%lu", static_cast<unsigned long>(ask.ms));
        if (ask.outcome == AskOutcome::bad_answer) append_answers(document, ask);
    }
    // A USB printer's class status, had without asking it anything.
    if (verdict.way == StatusWay::usb && verdict.reason != NotAskedReason::no_device) {
        append_port_status(document, verdict.port_status);
    }
}

}  // namespace

void append_status_document(TextBuffer* document, const StatusVerdict& verdict) {
    append(document, "{");
    if (verdict.port == nullptr) {
        append_failure(document, "OPEN_FAILED", verdict.queue_error, nullptr, FAILURE_WITH_OK);
    } else if (verdict.reason == NotAskedReason::asked && verdict.ask.outcome == AskOutcome::answered) {
        append_answered(document, verdict);
        append(document, "}\n");
        return;
    } else {
        append_failed(document, verdict);
    }
    append_json_member(document, ",\"printer\":", verdict.printer);
    append(document, "}\n");
}
