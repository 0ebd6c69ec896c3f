// Wine test helper: prints through winspool alone, independent of the
// program's own code, so the tests can tell the print world apart from the
// program when something goes wrong. Never shipped.
//
//   raw-print-probe QUEUE     sends stdin to QUEUE as one RAW job and writes
//                             the job id; an empty QUEUE means the default
//   raw-print-probe --list    writes "printer\tNAME\tPORT\tDRIVER" for each
//                             printer EnumPrintersW gives, then
//                             "default\tNAME" (GetDefaultPrinterW)
//   raw-print-probe --caps QUEUE
//                             writes "dpi XxY" and "width W height H" of a
//                             printer DC (gdi32 loaded at run time)
//   raw-print-probe --page QUEUE TEXT
//                             prints TEXT on one GDI page and writes the
//                             job id
//
// Each line ends with "\n", in UTF-8. A failing call writes
// "<function> <GetLastError()>\n" and the exit code is 1.
#include <windows.h>
#include <winspool.h>

namespace {

HANDLE heap() { return GetProcessHeap(); }

void write_bytes(const char* data, DWORD size) {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    while (size > 0) {
        DWORD written = 0;
        if (!WriteFile(out, data, size, &written, nullptr) || written == 0) return;
        data += written;
        size -= written;
    }
}

DWORD length(const wchar_t* text) {
    DWORD n = 0;
    while (text[n] != L'\0') ++n;
    return n;
}

bool same(const wchar_t* a, const wchar_t* b) {
    while (*a != L'\0' && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

void write_text(const wchar_t* text) {
    DWORD count = length(text);
    if (count == 0) return;
    int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(count), nullptr, 0, nullptr, nullptr);
    if (size <= 0) return;
    char* utf8 = static_cast<char*>(HeapAlloc(heap(), 0, static_cast<SIZE_T>(size)));
    if (utf8 == nullptr) return;
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(count), utf8, size, nullptr, nullptr);
    write_bytes(utf8, static_cast<DWORD>(size));
    HeapFree(heap(), 0, utf8);
}

void write_number(long long value) {
    char digits[24];
    int at = sizeof digits;
    bool negative = value < 0;
    unsigned long long rest = negative ? 0ULL - static_cast<unsigned long long>(value)
                                       : static_cast<unsigned long long>(value);
    do {
        digits[--at] = static_cast<char>('0' + rest % 10);
        rest /= 10;
    } while (rest != 0);
    if (negative) digits[--at] = '-';
    write_bytes(digits + at, static_cast<DWORD>(sizeof digits - at));
}

int fail(const wchar_t* function) {
    DWORD error = GetLastError();
    write_text(function);
    write_bytes(" ", 1);
    write_number(error);
    write_bytes("\n", 1);
    return 1;
}

// The whole of stdin; a pipe's writer closing it ends the read with
// ERROR_BROKEN_PIPE, which is the normal end here.
bool read_stdin(char*& data, DWORD& size) {
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD capacity = 1 << 16;
    data = static_cast<char*>(HeapAlloc(heap(), 0, capacity));
    size = 0;
    if (data == nullptr) return false;
    for (;;) {
        if (size == capacity) {
            capacity *= 2;
            void* bigger = HeapReAlloc(heap(), 0, data, capacity);
            if (bigger == nullptr) return false;
            data = static_cast<char*>(bigger);
        }
        DWORD got = 0;
        if (!ReadFile(in, data + size, capacity - size, &got, nullptr)) {
            if (GetLastError() == ERROR_BROKEN_PIPE) return true;
            return false;
        }
        if (got == 0) return true;
        size += got;
    }
}

int send_raw(wchar_t* queue) {
    wchar_t default_name[256];
    if (queue[0] == L'\0') {
        DWORD count = sizeof default_name / sizeof default_name[0];
        if (!GetDefaultPrinterW(default_name, &count)) return fail(L"GetDefaultPrinterW");
        queue = default_name;
    }
    char* data = nullptr;
    DWORD size = 0;
    if (!read_stdin(data, size)) return fail(L"ReadFile");

    HANDLE printer = nullptr;
    if (!OpenPrinterW(queue, &printer, nullptr)) return fail(L"OpenPrinterW");
    wchar_t doc_name[] = L"raw-print-probe";
    wchar_t datatype[] = L"RAW";
    DOC_INFO_1W doc = {doc_name, nullptr, datatype};
    DWORD job = StartDocPrinterW(printer, 1, reinterpret_cast<BYTE*>(&doc));
    if (job == 0) return fail(L"StartDocPrinterW");
    if (!StartPagePrinter(printer)) return fail(L"StartPagePrinter");
    DWORD written = 0;
    if (!WritePrinter(printer, data, size, &written)) return fail(L"WritePrinter");
    if (written != size) {
        write_text(L"WritePrinter wrote ");
        write_number(written);
        write_text(L" of ");
        write_number(size);
        write_bytes("\n", 1);
        return 1;
    }
    if (!EndPagePrinter(printer)) return fail(L"EndPagePrinter");
    if (!EndDocPrinter(printer)) return fail(L"EndDocPrinter");
    if (!ClosePrinter(printer)) return fail(L"ClosePrinter");
    HeapFree(heap(), 0, data);
    write_number(job);
    write_bytes("\n", 1);
    return 0;
}

int list() {
    DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
    DWORD needed = 0;
    DWORD count = 0;
    EnumPrintersW(flags, nullptr, 2, nullptr, 0, &needed, &count);
    BYTE* buffer = static_cast<BYTE*>(HeapAlloc(heap(), 0, needed + 1));
    if (buffer == nullptr) return fail(L"HeapAlloc");
    if (!EnumPrintersW(flags, nullptr, 2, buffer, needed + 1, &needed, &count)) return fail(L"EnumPrintersW");
    auto* printers = reinterpret_cast<PRINTER_INFO_2W*>(buffer);
    for (DWORD i = 0; i < count; ++i) {
        write_text(L"printer\t");
        write_text(printers[i].pPrinterName);
        write_text(L"\t");
        write_text(printers[i].pPortName);
        write_text(L"\t");
        write_text(printers[i].pDriverName);
        write_text(L"\n");
    }
    HeapFree(heap(), 0, buffer);

    wchar_t name[256];
    DWORD size = sizeof name / sizeof name[0];
    if (!GetDefaultPrinterW(name, &size)) return fail(L"GetDefaultPrinterW");
    write_text(L"default\t");
    write_text(name);
    write_text(L"\n");
    return 0;
}

// gdi32 through GetProcAddress: the probe itself links winspool alone.
struct Gdi {
    HDC(WINAPI* CreateDCW)(LPCWSTR, LPCWSTR, LPCWSTR, const DEVMODEW*);
    int(WINAPI* GetDeviceCaps)(HDC, int);
    int(WINAPI* StartDocW)(HDC, const DOCINFOW*);
    int(WINAPI* StartPage)(HDC);
    BOOL(WINAPI* TextOutW)(HDC, int, int, LPCWSTR, int);
    int(WINAPI* EndPage)(HDC);
    int(WINAPI* EndDoc)(HDC);
    BOOL(WINAPI* DeleteDC)(HDC);

    template <typename F>
    static bool load(HMODULE module, const char* name, F& function) {
        function = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
        return function != nullptr;
    }

    bool load() {
        HMODULE module = LoadLibraryW(L"gdi32.dll");
        return module != nullptr && load(module, "CreateDCW", CreateDCW) &&
               load(module, "GetDeviceCaps", GetDeviceCaps) && load(module, "StartDocW", StartDocW) &&
               load(module, "StartPage", StartPage) && load(module, "TextOutW", TextOutW) &&
               load(module, "EndPage", EndPage) && load(module, "EndDoc", EndDoc) &&
               load(module, "DeleteDC", DeleteDC);
    }
};

int caps(const wchar_t* queue) {
    Gdi gdi;
    if (!gdi.load()) return fail(L"LoadLibraryW");
    HDC dc = gdi.CreateDCW(L"WINSPOOL", queue, nullptr, nullptr);
    if (dc == nullptr) return fail(L"CreateDCW");
    write_text(L"dpi ");
    write_number(gdi.GetDeviceCaps(dc, LOGPIXELSX));
    write_text(L"x");
    write_number(gdi.GetDeviceCaps(dc, LOGPIXELSY));
    write_text(L"\nwidth ");
    write_number(gdi.GetDeviceCaps(dc, HORZRES));
    write_text(L" height ");
    write_number(gdi.GetDeviceCaps(dc, VERTRES));
    write_text(L"\n");
    gdi.DeleteDC(dc);
    return 0;
}

// One page with one line of text: the way a GDI test page reaches a queue.
int page(const wchar_t* queue, const wchar_t* text) {
    Gdi gdi;
    if (!gdi.load()) return fail(L"LoadLibraryW");
    HDC dc = gdi.CreateDCW(L"WINSPOOL", queue, nullptr, nullptr);
    if (dc == nullptr) return fail(L"CreateDCW");
    DOCINFOW doc = {};
    doc.cbSize = sizeof doc;
    doc.lpszDocName = L"raw-print-probe page";
    int job = gdi.StartDocW(dc, &doc);
    if (job <= 0) return fail(L"StartDocW");
    if (gdi.StartPage(dc) <= 0) return fail(L"StartPage");
    if (!gdi.TextOutW(dc, 0, 0, text, static_cast<int>(length(text)))) return fail(L"TextOutW");
    if (gdi.EndPage(dc) <= 0) return fail(L"EndPage");
    if (gdi.EndDoc(dc) <= 0) return fail(L"EndDoc");
    gdi.DeleteDC(dc);
    write_number(job);
    write_bytes("\n", 1);
    return 0;
}

}  // namespace

extern "C" int wmain(int argc, wchar_t** argv) {
    if (argc == 2 && same(argv[1], L"--list")) return list();
    if (argc == 3 && same(argv[1], L"--caps")) return caps(argv[2]);
    if (argc == 4 && same(argv[1], L"--page")) return page(argv[2], argv[3]);
    if (argc == 2) return send_raw(argv[1]);
    write_text(L"usage: raw-print-probe QUEUE | --list | --caps QUEUE | --page QUEUE TEXT\n");
    return 2;
}
