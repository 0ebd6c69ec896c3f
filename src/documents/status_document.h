// The status document: what the receipt printer answered about itself, or
// why it was not asked or did not answer.
#pragma once

#include "output/text_buffer.h"
#include "printing/escpos_ask.h"

void append_status_document(TextBuffer* document, const StatusVerdict& verdict);
