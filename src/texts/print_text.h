// For a person at the console: what became of a print, and of a purge.
#pragma once

#include <windows.h>

#include "inventory/printer_inventory.h"
#include "output/text_buffer.h"
#include "printing/print_result.h"

// A short Russian account of a print on `printer`: success; a queue that
// did not open (`printers`, gathered afresh then; null otherwise): either a
// name the computer does not have, with its printers and a near name, or a
// queue Windows would not open, with the error and what to do; or any other
// failure, with `document`, the JSON document, shown as it stands for whoever
// supports the shop.
void append_print_text(TextBuffer* text, const PrintResult& result, const WCHAR* printer, const char* document,
                       const PrinterInventory* printers);

// The purge document with the queue it is about put before it.
void append_purge_text(TextBuffer* text, const WCHAR* printer, const char* document);
