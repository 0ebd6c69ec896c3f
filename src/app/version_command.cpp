// "version", and the answer to a word that is no command.
#include <stdlib.h>

#include "app/commands.h"
#include "documents/version_document.h"
#include "output/output.h"

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
    return say(call, append_unknown_command_document, EXIT_UNKNOWN_COMMAND);
}
