/* Starts the helper as a till does, for the Wine tests:
 *
 *   till-caller.exe MODE HELPER_EXE [ARGUMENT...]
 *
 * What comes on its own standard input is the helper's input.
 * Pipes from CreatePipe for the child's standard input and output, CreateProcessW,
 * the bytes written and the input closed (at once when there are none), then by MODE:
 *   after-exit     waits up to 20 s for the child's end, then reads its output;
 *   while-running  reads the output while the child runs;
 *   pieces         writes the bytes in pieces with an empty write between them,
 *                  then reads the output after the end.
 * Writes the child's output as it came, then "exit CODE ms MS\n" (the ms from the
 * start until the child ended). A child that does not end within 20 s is
 * terminated: "hang\n", exit 1. */
#include <stdio.h>
#include <string.h>
#include <wchar.h>
#include <windows.h>

#define MOST_BYTES (1u << 20)

static char given[MOST_BYTES], output[MOST_BYTES];

static void say(const char* bytes, DWORD count) {
    DWORD written;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes, count, &written, NULL);
}

static int fail(const char* what) {
    say(what, (DWORD)strlen(what));
    say("\n", 1);
    return 2;
}

/* Everything on a handle until its end or failure; returns the count. */
static DWORD read_all(HANDLE handle, char* into, DWORD room) {
    DWORD held = 0, got;
    while (held < room && ReadFile(handle, into + held, room - held, &got, NULL) && got > 0) held += got;
    return held;
}

static void write_input(HANDLE handle, const char* bytes, DWORD count, BOOL in_pieces) {
    DWORD piece = in_pieces ? 64 : count, written;
    while (count > 0) {
        if (piece > count) piece = count;
        WriteFile(handle, bytes, piece, &written, NULL);
        bytes += piece;
        count -= piece;
        if (in_pieces && count > 0) {
            /* On Windows the reader's ReadFile then succeeds with 0 bytes, which is no
             * end of the input. (Wine's reader sees nothing of it.) */
            WriteFile(handle, bytes, 0, &written, NULL);
            Sleep(20);
        }
    }
}

int wmain(int argc, wchar_t** argv) {
    BOOL after_exit = argc >= 3 && wcscmp(argv[1], L"after-exit") == 0;
    BOOL in_pieces = argc >= 3 && wcscmp(argv[1], L"pieces") == 0;
    if (argc < 3 || !(after_exit || in_pieces || wcscmp(argv[1], L"while-running") == 0)) {
        return fail("usage: till-caller after-exit|while-running|pieces HELPER_EXE [ARGUMENT...]");
    }
    after_exit = after_exit || in_pieces;

    /* The command line: every argument quoted (the tests' have no quotes of their own). */
    static wchar_t line[4096];
    for (int i = 2; i < argc; ++i) {
        if (wcslen(line) + wcslen(argv[i]) + 4 > sizeof line / sizeof *line) return fail("command line too long");
        wcscat(line, i > 2 ? L" \"" : L"\"");
        wcscat(line, argv[i]);
        wcscat(line, L"\"");
    }
    DWORD given_count = read_all(GetStdHandle(STD_INPUT_HANDLE), given, sizeof given);

    /* The child's ends inheritable, ours not: an inherited copy of our input's
     * end would keep its input from ever ending. */
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE in_read, in_write, out_read, out_write;
    if (!CreatePipe(&in_read, &in_write, &inherit, 0) || !CreatePipe(&out_read, &out_write, &inherit, 0)) {
        return fail("CreatePipe failed");
    }
    SetHandleInformation(in_write, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW start = {0};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = in_read;
    start.hStdOutput = out_write;
    start.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION child;
    DWORD started = GetTickCount();
    if (!CreateProcessW(argv[2], line, NULL, NULL, TRUE, 0, NULL, NULL, &start, &child)) {
        return fail("CreateProcessW failed");
    }
    CloseHandle(in_read);
    CloseHandle(out_write);
    CloseHandle(child.hThread);

    write_input(in_write, given, given_count, in_pieces);
    CloseHandle(in_write);

    DWORD count = 0;
    if (!after_exit) count = read_all(out_read, output, sizeof output);
    if (WaitForSingleObject(child.hProcess, 20000) != WAIT_OBJECT_0) {
        TerminateProcess(child.hProcess, 99);
        say("hang\n", 5);
        return 1;
    }
    DWORD took = GetTickCount() - started, code = 0;
    GetExitCodeProcess(child.hProcess, &code);
    if (after_exit) count = read_all(out_read, output, sizeof output);
    say(output, count);

    char last[64];
    int length = snprintf(last, sizeof last, "exit %lu ms %lu\n", (unsigned long)code, (unsigned long)took);
    say(last, (DWORD)length);
    CloseHandle(out_read);
    CloseHandle(child.hProcess);
    return 0;
}
