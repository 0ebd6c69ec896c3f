// The simulated GDI: printing through a driver. A printer device context, its
// document and pages, fonts, and the text drawn, recorded per queue. Every DC,
// font, document and page is audited; clean-up calls overwrite the last error.
#include <windows.h>
#include <winspool.h>

#include <cstddef>
#include <memory>

#include "computer.h"

namespace {

constexpr int kSpError = -1;       // SP_ERROR: what the document and page calls give on failure
constexpr DWORD kErrorBusy = 170;  // ERROR_BUSY: the object is in use
constexpr size_t kFaceRoom = 31;   // LF_FACESIZE less the NUL: CreateFontW keeps no more

struct FontObject {
    sim::GdiFont font;
    unsigned selected = 0;  // how many device contexts hold it
};

// The font every device context starts with: a stock object, which the
// program may select back but which is never deleted and never audited.
FontObject stock_font{{u"System", 16, FW_BOLD}, 0};

struct DeviceContext {
    sim::QueuePlace queue;
    FontObject* font = &stock_font;
    int bk_mode = OPAQUE;
    size_t doc = 0;                  // the open document in the printer's gdi_docs
    const void* doc_key = nullptr;   // audit key of the open document; null: none
    const void* page_key = nullptr;  // audit key of the open page; null: none
};

using sim::fail;

// Objects live until the next computer, so a handle is never reused and a
// stale one is always recognised as such.
template <typename T>
T* keep(std::shared_ptr<T> object) {
    sim::computer().kept_alive.push_back(object);
    return object.get();
}

// A fresh key for the audit of one document or page.
const void* audit_key() { return keep(std::make_shared<char>(0)); }

DeviceContext* open_dc(HDC hdc) {
    return sim::is_open(hdc, sim::ResourceKind::device_context) ? reinterpret_cast<DeviceContext*>(hdc) : nullptr;
}

FontObject* font_of(HGDIOBJ object) {
    FontObject* font = reinterpret_cast<FontObject*>(object);
    if (font == &stock_font || sim::is_open(font, sim::ResourceKind::font)) return font;
    return nullptr;
}

// Counts how many contexts hold a font; the stock font needs no count.
void hold(FontObject* font, bool held) {
    if (font != &stock_font) font->selected = held ? font->selected + 1 : font->selected - 1;
}

sim::Printer& printer_of(const DeviceContext* dc) { return sim::printer_at(dc->queue); }

sim::GdiDoc& doc_of(DeviceContext* dc) { return printer_of(dc).gdi_docs[dc->doc]; }

std::string job_label(DeviceContext* dc) { return sim::job_label(printer_of(dc), doc_of(dc).job); }

// The open document and page leave the audit; neither is ended.
void close_document(DeviceContext* dc) {
    sim::untrack(dc->doc_key);
    if (dc->page_key != nullptr) sim::untrack(dc->page_key);
    dc->doc_key = nullptr;
    dc->page_key = nullptr;
}

}  // namespace

extern "C" {

// GDI ignores the driver name for printers; this model is stricter and takes
// only "WINSPOOL" (any case) or none, so a wrong name shows up in tests.
HDC WINAPI CreateDCW(LPCWSTR pwszDriver, LPCWSTR pwszDevice, LPCWSTR, const DEVMODEW*) {
    if (sim::call_fails("CreateDCW")) return nullptr;
    if (pwszDevice == nullptr) return fail(ERROR_INVALID_PARAMETER, nullptr);
    if (pwszDriver != nullptr && !sim::equal_ascii_nocase(sim::text_of(pwszDriver), u"winspool")) {
        return fail(ERROR_INVALID_PARAMETER, nullptr);
    }
    std::optional<sim::QueuePlace> place = sim::find_queue(sim::text_of(pwszDevice));
    if (!place) return fail(ERROR_INVALID_PRINTER_NAME, nullptr);
    const sim::Printer& printer = sim::printer_at(*place);
    if (printer.createdc_error != 0) return fail(printer.createdc_error, nullptr);
    if (printer.open_error != 0) return fail(printer.open_error, nullptr);
    DeviceContext* dc = keep(std::make_shared<DeviceContext>());
    dc->queue = *place;
    sim::track(dc, sim::ResourceKind::device_context, sim::utf16_to_utf8(printer.name));
    return reinterpret_cast<HDC>(dc);
}

// Deleting a context with its document still open abandons the document (and
// its page): nothing of it is left open, it is not ended, and its job, half
// made, stays in the queue. AbortDoc is the way to take it out.
BOOL WINAPI DeleteDC(HDC hdc) {
    if (sim::call_fails("DeleteDC")) return FALSE;
    DeviceContext* dc = open_dc(hdc);
    if (dc == nullptr) return fail(ERROR_INVALID_HANDLE);
    if (dc->doc_key != nullptr) {
        doc_of(dc).abandoned = true;
        close_document(dc);
    }
    hold(dc->font, false);  // the font itself stays the program's to delete
    sim::untrack(dc);
    sim::overwrite_last_error();
    return TRUE;
}

int WINAPI StartDocW(HDC hdc, const DOCINFOW* lpdi) {
    if (sim::call_fails("StartDocW")) return kSpError;
    DeviceContext* dc = open_dc(hdc);
    if (dc == nullptr) return fail(ERROR_INVALID_HANDLE, kSpError);
    if (lpdi == nullptr) return fail(ERROR_INVALID_PARAMETER, kSpError);
    if (dc->doc_key != nullptr) return fail(ERROR_INVALID_PRINTER_STATE, kSpError);  // one document at a time
    sim::Printer& printer = printer_of(dc);
    if (printer.startdoc_gdi_error != 0) return fail(printer.startdoc_gdi_error, printer.startdoc_gdi_result);

    sim::GdiDoc doc;
    doc.document = sim::text_of(lpdi->lpszDocName);
    doc.job = sim::queue_new_job(printer, doc.document);
    printer.gdi_docs.push_back(doc);

    dc->doc = printer.gdi_docs.size() - 1;
    dc->doc_key = audit_key();
    sim::track(dc->doc_key, sim::ResourceKind::document, job_label(dc));
    return static_cast<int>(doc.job);
}

int WINAPI StartPage(HDC hdc) {
    if (sim::call_fails("StartPage")) return kSpError;
    DeviceContext* dc = open_dc(hdc);
    if (dc == nullptr) return fail(ERROR_INVALID_HANDLE, kSpError);
    if (dc->doc_key == nullptr || dc->page_key != nullptr) return fail(ERROR_INVALID_PRINTER_STATE, kSpError);
    doc_of(dc).pages += 1;
    dc->page_key = audit_key();
    sim::track(dc->page_key, sim::ResourceKind::page, job_label(dc));
    return 1;
}

// A scripted `endpage_error` ends the page all the same (it is lost, not
// still open); an injected fault fails before anything happens, as every one does.
int WINAPI EndPage(HDC hdc) {
    if (sim::call_fails("EndPage")) return kSpError;
    DeviceContext* dc = open_dc(hdc);
    if (dc == nullptr) return fail(ERROR_INVALID_HANDLE, kSpError);
    if (dc->page_key == nullptr) return fail(ERROR_INVALID_PRINTER_STATE, kSpError);
    sim::untrack(dc->page_key);
    dc->page_key = nullptr;
    const sim::Printer& printer = printer_of(dc);
    // "0 or less" is failure: drivers differ.
    if (printer.endpage_error != 0) return fail(printer.endpage_error, printer.endpage_error_result);
    sim::overwrite_last_error();
    return 1;
}

// Ending the document with a page still open ends the page too, but the page
// stays in the audit: the program must end its pages itself. A failed EndDoc
// leaves the document open, for AbortDoc (or DeleteDC) to end.
int WINAPI EndDoc(HDC hdc) {
    if (sim::call_fails("EndDoc")) return kSpError;
    DeviceContext* dc = open_dc(hdc);
    if (dc == nullptr) return fail(ERROR_INVALID_HANDLE, kSpError);
    if (dc->doc_key == nullptr) return fail(ERROR_SPL_NO_STARTDOC, kSpError);
    DWORD error = printer_of(dc).enddoc_error;
    if (error != 0) return fail(error, kSpError);
    doc_of(dc).ended = true;
    sim::untrack(dc->doc_key);
    dc->doc_key = nullptr;
    dc->page_key = nullptr;
    sim::overwrite_last_error();
    return 1;
}

// Cancels the open document: its job leaves the queue and nothing of it is
// left open. A clean-up call, so it leaves its own last error.
int WINAPI AbortDoc(HDC hdc) {
    if (sim::call_fails("AbortDoc")) return kSpError;
    DeviceContext* dc = open_dc(hdc);
    if (dc == nullptr) return fail(ERROR_INVALID_HANDLE, kSpError);
    if (dc->doc_key == nullptr) return fail(ERROR_SPL_NO_STARTDOC, kSpError);
    doc_of(dc).aborted = true;
    sim::remove_from_queue(printer_of(dc), doc_of(dc).job);
    close_document(dc);
    sim::overwrite_last_error();
    return 1;
}

// Indexes the queue's `devcaps` does not list answer 0, as for a capability
// the driver does not report.
int WINAPI GetDeviceCaps(HDC hdc, int index) {
    if (sim::call_fails("GetDeviceCaps")) return 0;
    DeviceContext* dc = open_dc(hdc);
    if (dc == nullptr) return fail(ERROR_INVALID_HANDLE, 0);
    const std::map<int, int>& caps = printer_of(dc).devcaps;
    auto it = caps.find(index);
    return it == caps.end() ? 0 : it->second;
}

HFONT WINAPI CreateFontW(int cHeight, int, int, int, int cWeight, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD,
                         DWORD, LPCWSTR pszFaceName) {
    if (sim::call_fails("CreateFontW")) return nullptr;
    FontObject* font = keep(std::make_shared<FontObject>());
    font->font = sim::GdiFont{sim::text_of(pszFaceName, kFaceRoom), cHeight, cWeight};
    sim::track(font, sim::ResourceKind::font,
               sim::utf16_to_utf8(font->font.face) + " " + std::to_string(cHeight) + " " + std::to_string(cWeight));
    return reinterpret_cast<HFONT>(font);
}

HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h) {
    if (sim::call_fails("SelectObject")) return nullptr;
    DeviceContext* dc = open_dc(hdc);
    FontObject* font = font_of(h);
    if (dc == nullptr || font == nullptr) return fail(ERROR_INVALID_HANDLE, nullptr);
    FontObject* previous = dc->font;
    hold(previous, false);
    hold(font, true);
    dc->font = font;
    return reinterpret_cast<HGDIOBJ>(previous);
}

// Windows refuses to delete an object still selected into a device context;
// here it stays alive and audited, so code that deletes a selected font is
// left with a leak. Deleting the stock font succeeds and changes nothing.
BOOL WINAPI DeleteObject(HGDIOBJ ho) {
    if (sim::call_fails("DeleteObject")) return FALSE;
    if (ho == nullptr) return fail(ERROR_INVALID_PARAMETER);
    FontObject* font = font_of(ho);
    if (font == nullptr) return fail(ERROR_INVALID_HANDLE);
    if (font != &stock_font) {
        if (font->selected > 0) return fail(kErrorBusy);
        sim::untrack(font);
    }
    sim::overwrite_last_error();
    return TRUE;
}

int WINAPI SetBkMode(HDC hdc, int mode) {
    if (sim::call_fails("SetBkMode")) return 0;
    DeviceContext* dc = open_dc(hdc);
    if (dc == nullptr) return fail(ERROR_INVALID_HANDLE);
    if (mode != TRANSPARENT && mode != OPAQUE) return fail(ERROR_INVALID_PARAMETER);
    int previous = dc->bk_mode;
    dc->bk_mode = mode;
    return previous;
}

// Text is recorded only on an open page: anything drawn elsewhere is never printed.
BOOL WINAPI TextOutW(HDC hdc, int x, int y, LPCWSTR lpString, int c) {
    if (sim::call_fails("TextOutW")) return FALSE;
    DeviceContext* dc = open_dc(hdc);
    if (dc == nullptr) return fail(ERROR_INVALID_HANDLE);
    if (c < 0 || (lpString == nullptr && c > 0)) return fail(ERROR_INVALID_PARAMETER);
    if (dc->page_key == nullptr) return TRUE;
    sim::GdiText drawn;
    drawn.x = x;
    drawn.y = y;
    for (int i = 0; i < c; ++i) drawn.text.push_back(static_cast<char16_t>(lpString[i]));
    drawn.font = dc->font->font;
    doc_of(dc).text.push_back(drawn);
    return TRUE;
}

}  // extern "C"
