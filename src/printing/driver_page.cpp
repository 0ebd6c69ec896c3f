#include "printing/driver_page.h"

#include <string.h>

#include "base/wide.h"
#include "output/format.h"

namespace {

const int kDefaultDpi = 203;  // a receipt printer, when the driver does not say
const int kDateRoom = 64;

// Sizes in device pixels, from the vertical resolution, so that the page has
// the same physical size on a receipt printer and an office printer: 10-point
// body text, a 14-point header, a margin of a twentieth of the width.
struct PageLayout {
    int body_height;
    int header_height;  // negative: GDI takes it as the character height
    int left_margin;
    int top;  // 5 points
};

PageLayout measure(HDC dc) {
    int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    if (dpi <= 0) dpi = kDefaultDpi;
    int width = GetDeviceCaps(dc, HORZRES);
    // A point is 1/72 inch: ten inches' worth of dots over 72 is 10 points.
    unsigned dots_in_ten_inches = static_cast<unsigned>(dpi) * 10;
    PageLayout layout;
    layout.body_height = static_cast<int>(dots_in_ten_inches / 72);
    layout.header_height = -((14 * layout.body_height) / 10);
    layout.left_margin = width > 0 ? width / 20 : 10;
    layout.top = static_cast<int>(dots_in_ten_inches / 144);
    return layout;
}

HFONT make_font(int height, int weight) {
    return CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, VARIABLE_PITCH | FF_SWISS, L"Arial");
}

// "05.12.2026 14:03:09" from the local time, as UTF-16.
void format_date(WCHAR* date) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char text[kDateRoom];
    size_t length = format_text(text, sizeof text, "%02u.%02u.%04u %02u:%02u:%02u", static_cast<unsigned>(now.wDay),
                                static_cast<unsigned>(now.wMonth), static_cast<unsigned>(now.wYear),
                                static_cast<unsigned>(now.wHour), static_cast<unsigned>(now.wMinute),
                                static_cast<unsigned>(now.wSecond));
    for (size_t i = 0; i <= length; ++i) date[i] = static_cast<WCHAR>(text[i]);  // the NUL too
}

struct PageFonts {
    HFONT header;
    HFONT body;
};

// How many lines were drawn, and the error of the first that was not.
struct Drawing {
    int drawn;
    DWORD error;
    bool failed;
};

void draw_line(HDC dc, int x, int y, const WCHAR* line, Drawing* drawing) {
    SetLastError(ERROR_SUCCESS);
    if (TextOutW(dc, x, y, line, static_cast<int>(wide_length(line)))) {
        ++drawing->drawn;
    } else if (!drawing->failed) {
        drawing->failed = true;
        drawing->error = GetLastError();
    }
}

// Draws the page and selects the context's own font again; the fonts are
// the caller's to delete.
PageFonts draw_page(HDC dc, const DriverPageText& text, Drawing* drawing) {
    PageLayout layout = measure(dc);
    PageFonts fonts;
    fonts.body = make_font(-layout.body_height, FW_NORMAL);
    fonts.header = make_font(layout.header_height, FW_BOLD);
    int line_step = -layout.header_height;  // body lines stand 1.4 body heights apart

    HGDIOBJ original = SelectObject(dc, fonts.header);
    SetBkMode(dc, TRANSPARENT);
    int y = layout.top;
    draw_line(dc, layout.left_margin, y, text.heading, drawing);
    y += (14 * line_step) / 10;
    HGDIOBJ previous = SelectObject(dc, fonts.body);
    if (original == nullptr) original = previous;  // the header font never got in

    WCHAR date[kDateRoom];
    format_date(date);
    for (int i = 0; i <= text.line_count; ++i) {
        // The local date and time stand in their own line among the others.
        const WCHAR* line = i == text.date_at ? date : text.lines[i < text.date_at ? i : i - 1];
        draw_line(dc, layout.left_margin, y, line, drawing);
        y += line_step;
    }

    if (original != nullptr) SelectObject(dc, original);
    return fonts;
}

void delete_fonts(const PageFonts& fonts) {
    if (fonts.header != nullptr) DeleteObject(fonts.header);
    if (fonts.body != nullptr) DeleteObject(fonts.body);
}

// The document's part of the page: started, drawn, ended. What failed is in
// the result; `open` says whether the document is still to be cancelled.
void print_document(HDC dc, const DriverPageText& text, PrintResult* result, PageFonts* fonts, bool* open) {
    // Filled field by field: an initialised record would take a writable
    // section of its own in the exe, half a kilobyte for 20 bytes.
    DOCINFOW doc;
    memset(&doc, 0, sizeof doc);
    doc.cbSize = sizeof doc;
    doc.lpszDocName = L"Morvik test (driver)";
    SetLastError(ERROR_SUCCESS);
    int started = StartDocW(dc, &doc);
    if (started <= 0) {  // Windows documents any value of 0 or less as a failure
        result->outcome = PrintOutcome::startdoc_failed;
        result->error = GetLastError();
        return;
    }
    *open = true;
    result->job = static_cast<DWORD>(started);
    result->outcome = PrintOutcome::print_failed;  // until the document has ended
    SetLastError(ERROR_SUCCESS);
    if (StartPage(dc) <= 0) {
        result->error = GetLastError();
        return;
    }
    Drawing drawing = {0, ERROR_SUCCESS, false};
    *fonts = draw_page(dc, text, &drawing);
    if (drawing.drawn == 0) {  // a blank page is no test of the driver
        result->error = drawing.error;
        return;
    }
    SetLastError(ERROR_SUCCESS);
    if (EndPage(dc) <= 0) {
        result->error = GetLastError();
        return;
    }
    SetLastError(ERROR_SUCCESS);
    if (EndDoc(dc) <= 0) {
        result->error = GetLastError();
        return;
    }
    *open = false;
    result->outcome = PrintOutcome::sent;
}

}  // namespace

PrintResult print_driver_page(const WCHAR* printer, const DriverPageText& text) {
    PrintResult result = {PrintOutcome::sent, ERROR_SUCCESS, 0, 0, 0, false, false};
    // Each call whose failure is reported starts with the last error cleared:
    // a driver that fails without setting it is reported with 0, never with
    // an older error that has nothing to do with it.
    SetLastError(ERROR_SUCCESS);
    HDC dc = CreateDCW(L"WINSPOOL", printer, nullptr, nullptr);
    if (dc == nullptr) {
        result.outcome = PrintOutcome::open_failed;
        result.error = GetLastError();
        return result;
    }
    PageFonts fonts = {nullptr, nullptr};
    bool open = false;
    print_document(dc, text, &result, &fonts, &open);

    // A document that did not end is cancelled, so no half-made job is left
    // in the queue for the printer to choke on. The fonts go after the
    // context: a font still selected into it cannot be deleted.
    if (open) AbortDoc(dc);
    DeleteDC(dc);
    delete_fonts(fonts);
    return result;
}
