// The fixed documents: the version, and the answers to a command line that
// was not understood.
#pragma once

#include "output/text_buffer.h"

void append_version_document(TextBuffer* document);
void append_unknown_command_document(TextBuffer* document);

// BAD_NUMBER: the argument at `argument` (1 being the command word) is not a number.
void append_bad_number_document(TextBuffer* document, int argument);
