#include "app/dispatch.h"

#include "app/commands.h"
#include "base/wide.h"

namespace {

typedef int (*Command)(const Invocation& call);

struct CommandWord {
    const WCHAR* word;
    Command run;
};

// Matched in this order, ignoring the case of ASCII letters.
// clang-format off
const CommandWord kCommands[] = {
    {L"report",  report_command},
    {L"list",    list_command},
    {L"purge",   purge_command},
    {L"send",    send_command},
    {L"test",    test_command},
    {L"driver",  driver_command},
    {L"watch",   watch_command},
    {L"version", version_command},
};
// clang-format on

}  // namespace

int dispatch_command(int argc, WCHAR** argv, bool console) {
    const WCHAR* printer = argc >= 3 ? argv[2] : L"";
    Invocation call = {argc, argv, printer, console};
    // No command word: the report for a person, who must press Enter before a
    // window opened by double-click closes.
    if (argc < 2 || argv[1][0] == 0) return report_command(call);
    for (const CommandWord& command : kCommands) {
        if (wide_equal_nocase(argv[1], command.word)) return command.run(call);
    }
    return unknown_command(call);
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

// Ages, job numbers and limits are 32-bit. A larger number becomes the
// largest one, never a wrapped small one: an age of 2^32 s must not delete
// every job, nor job 2^32 + 1 watch job 1.
DWORD parse_dword(const Invocation& call, int index, const WCHAR* default_text) {
    unsigned long long value = parse_number(call.argc, call.argv, index, default_text);
    return value > 0xFFFFFFFFULL ? 0xFFFFFFFFUL : static_cast<DWORD>(value);
}
