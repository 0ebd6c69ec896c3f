// "version", and the answers to a command line that was not understood.
#include <stdlib.h>

#include "app/commands.h"
#include "documents/version_document.h"
#include "output/output.h"
#include "texts/command_line_text.h"

namespace {

int say(const Invocation& call, void (*render)(TextBuffer*), int exit_code) {
    TextBuffer document = {};
    render(&document);
    write_output(document.data, call.console);
    free(document.data);
    return exit_code;
}

}  // namespace

int version_command(const Invocation& call) {
    return say(call, append_version_document, EXIT_OK);
}

int unknown_command(const Invocation& call) {
    return say(call, append_unknown_command_document, EXIT_BAD_COMMAND_LINE);
}

int bad_number_command(const Invocation& call, const WCHAR* word, int argument) {
    TextBuffer answer = {};
    if (call.console) {
        append_bad_number_text(&answer, word, argument);
    } else {
        append_bad_number_document(&answer, argument);
    }
    write_output(answer.data, call.console);
    free(answer.data);
    return EXIT_BAD_COMMAND_LINE;
}
