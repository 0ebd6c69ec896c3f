// The two fixed documents: the version, and the answer to an unknown command word.
#pragma once

#include "output/text_buffer.h"

void append_version_document(TextBuffer* document);
void append_unknown_command_document(TextBuffer* document);
