#include "printing/watch.h"

#include <stdlib.h>
#include <string.h>
#include <winspool.h>

#include "base/wide.h"
#include "devices/device_inventory.h"
#include "inventory/printer_inventory.h"
#include "inventory/status_words.h"
#include "output/errors.h"
#include "output/json.h"
#include "output/output.h"
#include "output/text_buffer.h"
#include "printing/probes.h"

namespace {

const DWORD kFinishedJob = 0x1180;       // printed, deleted, complete
const DWORD kJobTrouble = 0x663;         // paused, error, offline, paper out, blocked, user intervention
const DWORD kPrinterTrouble = 0x50109b;  // paused, error, jam, paper out, offline, not available, intervention, door
const DWORD kPollMs = 400;
const DWORD kShortestLimitMs = 1000;
const DWORD kLongestLimitMs = 120000;
const DWORD kTroubleMs = 2999;  // a problem lasting longer than this is not a passing one
const DWORD kFollowMs = 14999;

// What the last successful probes said, and whether the last job probe
// could ask the spooler at all.
struct WatchState {
    PrinterSnapshot printer;
    DWORD job_status;
    WCHAR job_status_text[PROBE_TEXT_ROOM];
    DWORD found_job;
    JobPresence job_presence;
    DWORD query_error;  // of the last job probe, when it was JOB_UNKNOWN
};

void reset_state(WatchState* state, DWORD job) {
    memset(&state->printer, 0, sizeof state->printer);
    state->job_status = 0;
    state->job_status_text[0] = 0;
    state->found_job = job;
    state->job_presence = JOB_PRESENT;
    state->query_error = 0;
}

const WCHAR* port_of(const WatchState& state) {
    return state.printer.port != nullptr ? state.printer.port : L"";
}

bool job_unknown(const WatchState& state) {
    return state.job_presence == JOB_UNKNOWN;
}

// A spooler that cannot say where the job is counts as trouble: it must never
// pass for a job that has printed.
bool sees_trouble(const WatchState& state) {
    return (state.job_status & kJobTrouble) != 0 || (state.printer.status & kPrinterTrouble) != 0 ||
           works_offline(state.printer.attributes) || job_unknown(state);
}

// One poll; true when the job has left the queue or is finished.
bool job_is_done(HANDLE queue, DWORD job, unsigned long long since_ms, WatchState* state) {
    probe_printer(queue, &state->printer);
    state->job_presence = probe_job(queue, job, since_ms, &state->job_status, state->job_status_text, &state->found_job,
                                    &state->query_error);
    return state->job_presence == JOB_GONE ||
           (state->job_presence == JOB_PRESENT && (state->job_status & kFinishedJob) != 0);
}

void write_no_printer() {
    TextBuffer document = {};
    append(&document, "{\"ok\":false,\"fate\":\"no_printer\",\"error\":\"NO_PRINTER\",\"message\":\"");
    append(&document, kNoPrinterMessage);
    append(&document, "\"}\n");
    write_output(document.data);
    free(document.data);
}

void write_open_failed(const WCHAR* printer, DWORD error) {
    TextBuffer document = {};
    append(&document, "{\"fate\":\"open_failed\",");
    append_error(&document, "OPEN_FAILED", error);
    append_json_member(&document, ",\"printer\":", printer);
    append(&document, "}\n");
    write_output(document.data);
    free(document.data);
}

void write_verdict(const char* fate, DWORD ms, const WCHAR* printer, bool is_default, const WatchState& state) {
    bool done = fate[0] == 'd';
    TextBuffer document = {};
    append_format(&document, "{\"ok\":%s,\"fate\":\"%s\",\"ms\":%lu,\"job\":%lu,\"printer\":", json_boolean(done), fate,
                  static_cast<unsigned long>(ms), static_cast<unsigned long>(state.found_job));
    append_json_string(&document, printer);
    append_json_member(&document, ",\"port\":", port_of(state));
    append_format(&document,
                  ",\"is_default\":%s,\"virtual\":%s,\"work_offline\":%s,\"usb_present\":%s,\"jobs_in_queue\":%lu",
                  json_boolean(is_default), json_boolean(is_virtual_printer(port_of(state), nullptr, printer)),
                  json_boolean(works_offline(state.printer.attributes)),
                  json_presence(usb_port_presence(port_of(state))), static_cast<unsigned long>(state.printer.jobs));
    append(&document, ",\"printer_status\":");
    append_status_keys(&document, state.printer.status, printer_status_words);
    append(&document, ",\"job_status\":");
    append_status_keys(&document, done ? 0 : state.job_status, job_status_words);
    append_json_member(&document, ",\"job_status_text\":", done ? L"" : state.job_status_text);
    if (job_unknown(state)) {
        append(&document, ",");
        append_error_members(&document, "JOB_QUERY_FAILED", state.query_error);
    }
    append(&document, ",");
    append_device_section(&document);
    append(&document, "}\n");
    write_output(document.data);
    free(document.data);
}

void write_success(DWORD elapsed, bool escpos) {
    TextBuffer text = {};
    if (elapsed >= 1000) {
        append_format(&text, "Задание ушло из очереди за %lu с — Windows передала его принтеру.\r\n",
                      static_cast<unsigned long>((elapsed + 500) / 1000));
    } else {
        append(&text, "Задание сразу ушло из очереди — Windows передала его принтеру.\r\n");
    }
    if (escpos) {
        append(&text,
               "Вышел лист «TEST OK» — прямая печать работает. Не вышло ничего — принтер не понимает команды чековых "
               "принтеров (ESC/POS), так ведут себя лазерные и струйные; для них: morvik-helper.exe driver "
               "\"имя\"\r\n");
    } else {
        append(&text,
               "Вышла страница — печать через драйвер работает. Не вышло ничего — смотрите на сам принтер: бумага, "
               "крышка, лампочка ошибки.\r\n");
    }
    write_output(text.data);
    free(text.data);
}

void write_hang_report(const WatchState& state) {
    TextBuffer text = {};
    if (job_unknown(state)) {
        char* message = win32_message_line(state.query_error);
        append_format(&text,
                      "Windows не отвечает, где задание (ошибка %lu: ", static_cast<unsigned long>(state.query_error));
        append(&text, message);
        append(&text, ") — проверьте службу «Диспетчер печати».\r\n");
        free(message);
    }
    append(&text, "Задание ВИСИТ в очереди уже 15 с — принтер его не забирает.\r\n  задание: ");
    if (state.job_status_text[0] != 0) {
        append_utf16(&text, state.job_status_text);
        append(&text, "; ");
    }
    append_status_words(&text, state.job_status, job_status_words);
    append(&text, "\r\n  принтер: ");
    if (state.printer.status == 0 && !works_offline(state.printer.attributes)) {
        append(&text, "Windows считает его готовым");
    }
    append_status_words(&text, state.printer.status, printer_status_words);
    if (works_offline(state.printer.attributes)) append(&text, " [включено «Работать автономно»]");
    append(&text, "\r\n  порт: ");
    append_utf16(&text, port_of(state));
    int presence = usb_port_presence(port_of(state));
    if (presence == 0) append(&text, " — к этому порту сейчас НИЧЕГО не подключено");
    if (presence > 0) append(&text, " — принтер подключён");
    append(&text,
           "\r\nУдалите задание: Устройства и принтеры → принтер → «Просмотр очереди печати» → Отменить. Иначе "
           "следующие задания встанут за ним.\r\n");
    write_output(text.data);
    free(text.data);
}

// Watches the queue named `printer` (never empty) and writes the document.
int watch_queue(const WCHAR* printer, DWORD job, DWORD limit_ms, unsigned long long since_ms, DWORD start) {
    HANDLE queue = nullptr;
    SetLastError(ERROR_SUCCESS);  // an open that fails without saying why is reported with 0
    if (!OpenPrinterW(const_cast<LPWSTR>(printer), &queue, nullptr)) {
        write_open_failed(printer, GetLastError());
        return 1;
    }

    if (limit_ms < kShortestLimitMs) limit_ms = kShortestLimitMs;
    if (limit_ms > kLongestLimitMs) limit_ms = kLongestLimitMs;
    WatchState state;
    reset_state(&state, job);
    bool troubled = false;
    DWORD trouble_start = 0;
    const char* fate = nullptr;
    while (fate == nullptr) {
        bool done = job_is_done(queue, job, since_ms, &state);
        DWORD elapsed = GetTickCount() - start;
        if (done) {
            fate = "done";
        } else if (!sees_trouble(state)) {
            troubled = false;
            if (elapsed >= limit_ms) fate = "stuck";
        } else if (!troubled) {
            troubled = true;
            trouble_start = elapsed;
            if (elapsed >= limit_ms) fate = "stuck";
        } else if (elapsed - trouble_start > kTroubleMs) {
            fate = "error";
        } else if (elapsed >= limit_ms) {
            fate = "stuck";
        }
        if (fate == nullptr) Sleep(kPollMs);
    }

    ClosePrinter(queue);
    collect_usb_devices();
    // Whether the queue is the default now, at the end of the watch.
    WCHAR* default_now = read_default_printer();
    bool is_default = default_now != nullptr && wide_equal_nocase(default_now, printer);
    free(default_now);
    write_verdict(fate, GetTickCount() - start, printer, is_default, state);
    free_snapshot(&state.printer);
    return fate[0] == 'd' ? 0 : 1;
}

}  // namespace

int watch_command(const WCHAR* printer_argument, DWORD job, DWORD limit_ms, unsigned long long since_ms) {
    WCHAR* default_name = nullptr;
    const WCHAR* printer = printer_or_default(printer_argument, &default_name);
    DWORD start = GetTickCount();
    int result = 1;
    if (printer[0] == 0) {
        write_no_printer();
    } else {
        result = watch_queue(printer, job, limit_ms, since_ms, start);
    }
    free(default_name);
    return result;
}

void follow_job(const WCHAR* printer, DWORD job, bool escpos) {
    write_output("Смотрю, уйдёт ли задание из очереди Windows (до 15 с)...\r\n");
    HANDLE queue = nullptr;
    if (job == 0 || !OpenPrinterW(const_cast<LPWSTR>(printer), &queue, nullptr)) {
        write_output("Проследить за заданием не удалось.\r\n");
        return;
    }
    DWORD start = GetTickCount();
    WatchState state;
    reset_state(&state, job);
    for (;;) {
        if (GetTickCount() - start > kFollowMs) {
            ClosePrinter(queue);
            collect_usb_devices();
            write_hang_report(state);
            break;
        }
        if (job_is_done(queue, job, 0, &state)) {
            ClosePrinter(queue);
            write_success(GetTickCount() - start, escpos);
            break;
        }
        Sleep(kPollMs);
    }
    free_snapshot(&state.printer);
}
