#include "app/dispatch.h"

#include "app/commands.h"
#include "base/wide.h"

namespace {

typedef int (*Command)(const Invocation& call);

struct CommandWord {
    const WCHAR* word;
    Command run;
    int first_number;  // the arguments from first_number to last_number are numbers (0: none)
    int last_number;
};

// Matched in this order, ignoring the case of ASCII letters.
// clang-format off
const CommandWord kCommands[] = {
    {L"report",  report_command,  0, 0},
    {L"list",    list_command,    0, 0},
    {L"purge",   purge_command,   3, 3},  // the age
    {L"send",    send_command,    0, 0},
    {L"test",    test_command,    0, 0},
    {L"driver",  driver_command,  0, 0},
    {L"watch",   watch_command,   3, 5},  // the job, the limit, since-ms
    {L"status",  status_command,  0, 0},
    {L"version", version_command, 0, 0},
};
// clang-format on

// The position of the first number argument given that is not a number, 0
// when there is none. An empty one stands for its default.
int first_bad_number(int argc, WCHAR** argv, const CommandWord& command) {
    for (int index = command.first_number; index != 0 && index <= command.last_number && index < argc; ++index) {
        if (argv[index][0] != 0 && !is_number(argv[index])) return index;
    }
    return 0;
}

}  // namespace

int dispatch_command(int argc, WCHAR** argv, bool console) {
    Invocation call = {argc, argv, argc >= 3 ? argv[2] : L"", console};
    // No command word: the report for a person, who must press Enter before a
    // window opened by double-click closes.
    if (argc < 2 || argv[1][0] == 0) return report_command(call);
    for (const CommandWord& command : kCommands) {
        if (!wide_equal_nocase(argv[1], command.word)) continue;
        // "+5" or "0x10" taken as 0 would make a purge delete every job: a
        // number that is not one is refused before anything is touched.
        int bad = first_bad_number(argc, argv, command);
        if (bad != 0) return bad_number_command(call, command.word, bad);
        return command.run(call);
    }
    return unknown_command(call);
}

bool is_number(const WCHAR* text) {
    if (text == nullptr || text[0] == 0) return false;
    for (const WCHAR* p = text; *p != 0; ++p) {
        if (*p < L'0' || *p > L'9') return false;
    }
    return true;
}

unsigned long long parse_number(int argc, WCHAR** argv, int index, const WCHAR* default_text) {
    const WCHAR* text = index < argc && argv[index][0] != 0 ? argv[index] : default_text;
    const unsigned long long kLargest = ~0ULL;
    unsigned long long value = 0;
    for (const WCHAR* p = text; *p >= L'0' && *p <= L'9'; ++p) {
        unsigned long long digit = static_cast<unsigned long long>(*p - L'0');
        bool too_large = value > kLargest / 10 || (value == kLargest / 10 && digit > kLargest % 10);
        value = too_large ? kLargest : value * 10 + digit;  // saturates, never wraps
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
