// The Russian report, for a person: run with no command word (a double-click),
// "report", or "list" at a console.
#include <stdlib.h>

#include "app/commands.h"
#include "survey/survey.h"
#include "output/output.h"
#include "texts/report.h"

namespace {

void wait_for_enter() {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (input == nullptr || input == INVALID_HANDLE_VALUE) return;
    WCHAR key;
    DWORD read = 0;
    ReadConsoleW(input, &key, 1, &read, nullptr);
}

}  // namespace

int report_command(const Invocation& call) {
    // Started without a command word, by double-click: the window must not
    // close before the person has read it.
    bool pause = call.console && (call.argc < 2 || call.argv[1][0] == 0);

    Survey survey;
    survey_computer(true, &survey);

    TextBuffer text = {};
    append_report(&text, survey, pause);
    write_output(text.data, call.console);
    free(text.data);
    free_survey(&survey);
    if (pause) wait_for_enter();
    return EXIT_OK;
}
