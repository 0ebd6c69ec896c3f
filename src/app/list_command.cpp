// "list": every printer and printing device of this computer as one document.
#include <stdlib.h>

#include "app/commands.h"
#include "base/wide.h"
#include "survey/survey.h"
#include "documents/list_document.h"
#include "output/output.h"

int list_command(const Invocation& call) {
    // At a console a person reads the report; "ids" is then not looked at.
    if (call.console) return report_command(call);
    Survey survey;
    survey_computer(wide_equal_nocase(call.second, L"ids"), &survey);

    TextBuffer document = {};
    append_list_document(&document, survey);
    write_output(document.data, call.console);
    free(document.data);
    free_survey(&survey);
    return EXIT_OK;
}
