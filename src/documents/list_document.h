// The document of "list" and "list ids": the printers and the devices.
#pragma once

#include "survey/survey.h"
#include "output/text_buffer.h"

void append_list_document(TextBuffer* document, const Survey& survey);
