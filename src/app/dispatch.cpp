#include "app/dispatch.h"

#include <stdlib.h>

#include "app/list_command.h"
#include "app/send_command.h"
#include "base/version.h"
#include "base/wide.h"
#include "output/output.h"
#include "output/text_buffer.h"
#include "printing/driver_page.h"
#include "printing/purge.h"
#include "printing/test_receipt.h"
#include "printing/watch.h"
#include "texts/report.h"

namespace {

// Writes a fixed document through a text buffer, like every other answer.
void write_document(const char* document) {
    TextBuffer buffer = {};
    append(&buffer, document);
    write_output(buffer.data);
    free(buffer.data);
}

int version_handler(int, WCHAR**, const WCHAR*) {
    write_document("{\"ok\":true,\"v\":\"" MORVIK_VERSION_TEXT "\"}\n");
    return EXIT_OK;
}

int report_handler(int, WCHAR**, const WCHAR*) {
    return report_command(false);
}

// At a console a person reads the report; "ids" is then not looked at.
int list_handler(int, WCHAR**, const WCHAR* argument) {
    return console_mode ? report_command(false) : list_command(argument);
}

int send_handler(int, WCHAR**, const WCHAR* printer) {
    return send_command(printer);
}

int test_handler(int, WCHAR**, const WCHAR* printer) {
    return test_command(printer);
}

int driver_handler(int, WCHAR**, const WCHAR* printer) {
    return driver_command(printer);
}

// Ages, job numbers and limits are 32-bit. A larger number becomes the
// largest one, never a wrapped small one: an age of 2^32 s must not delete
// every job, nor job 2^32 + 1 watch job 1.
DWORD parse_dword(int argc, WCHAR** argv, int index, const WCHAR* default_text) {
    unsigned long long value = parse_number(argc, argv, index, default_text);
    return value > 0xFFFFFFFFULL ? 0xFFFFFFFFUL : static_cast<DWORD>(value);
}

int purge_handler(int argc, WCHAR** argv, const WCHAR* printer) {
    return purge_command(printer, parse_dword(argc, argv, 3, L"20"));
}

int watch_handler(int argc, WCHAR** argv, const WCHAR* printer) {
    return watch_command(printer, parse_dword(argc, argv, 3, L"0"), parse_dword(argc, argv, 4, L"20000"),
                         parse_number(argc, argv, 5, L"0"));
}

int answer_unknown_word() {
    write_document("{\"ok\":false,\"error\":\"UNKNOWN_COMMAND\"}\n");
    return EXIT_UNKNOWN_COMMAND;
}

typedef int (*CommandHandler)(int argc, WCHAR** argv, const WCHAR* printer);

struct CommandWord {
    const WCHAR* word;
    CommandHandler run;
};

// Matched in this order, ignoring the case of ASCII letters.
// clang-format off
const CommandWord kCommands[] = {
    {L"report",  report_handler},
    {L"list",    list_handler},
    {L"purge",   purge_handler},
    {L"send",    send_handler},
    {L"test",    test_handler},
    {L"driver",  driver_handler},
    {L"watch",   watch_handler},
    {L"version", version_handler},
};
// clang-format on

}  // namespace

int dispatch_command(int argc, WCHAR** argv) {
    // No command word: the report for a person, who must press Enter before a
    // window opened by double-click closes.
    if (argc < 2 || argv[1] == nullptr || argv[1][0] == 0) return report_command(console_mode);
    const WCHAR* printer = (argc >= 3 && argv[2] != nullptr) ? argv[2] : L"";
    for (const CommandWord& command : kCommands) {
        if (wide_equal_nocase(argv[1], command.word)) return command.run(argc, argv, printer);
    }
    return answer_unknown_word();
}

unsigned long long parse_number(int argc, WCHAR** argv, int index, const WCHAR* default_text) {
    const WCHAR* text = index < argc ? argv[index] : default_text;
    if (text == nullptr || text[0] < L'0' || text[0] > L'9') return 0;
    const unsigned long long kLargest = ~0ULL;
    unsigned long long value = 0;
    for (const WCHAR* p = text; *p >= L'0' && *p <= L'9'; ++p) {
        unsigned long long digit = static_cast<unsigned long long>(*p - L'0');
        value = value > (kLargest - digit) / 10 ? kLargest : value * 10 + digit;  // saturates, never wraps
    }
    return value;
}
