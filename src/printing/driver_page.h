// The test page printed through the printer's own driver (GDI).
#pragma once

#include <windows.h>

#include "printing/print_result.h"

// What the page says: a heading in large type, then lines, the local date
// and time standing as line number `date_at` (from 0) among them.
struct DriverPageText {
    const WCHAR* heading;
    const WCHAR* const* lines;
    int line_count;
    int date_at;
};

// Prints the test page, job "Morvik test (driver)", on `printer` (not
// empty), laid out from the printer's resolution so that it has the same
// physical size on a receipt printer and an office printer. The outcome is
// sent when the page was handed to the spooler completely; a document that
// did not end is cancelled.
PrintResult print_driver_page(const WCHAR* printer, const DriverPageText& text);
