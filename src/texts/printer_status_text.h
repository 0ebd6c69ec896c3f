// The status command's account for a person at the till: what the receipt
// printer said of its paper, cover and errors, and what to do.
#pragma once

#include "output/text_buffer.h"
#include "printing/escpos_ask.h"

// A verdict with no printer (""): none named and none by default, or the
// default could not be read (default_error).
void append_status_text(TextBuffer* text, const StatusVerdict& verdict, DWORD default_error);
