// The simulated spooler's printers: the default printer, the listings of local
// queues and connections, printer handles and the printer record. Sizing
// calls, record packing and last errors behave as on Windows.
#include <memory>

#include "spooler.h"

using namespace sim;

namespace sim {

PrinterHandle* open_handle(HANDLE handle) {
    return is_open(handle, ResourceKind::printer_handle) ? static_cast<PrinterHandle*>(handle) : nullptr;
}

Printer* queried_printer(HANDLE handle, DWORD level, DWORD wanted_level, LPDWORD needed) {
    PrinterHandle* open = open_handle(handle);
    if (open == nullptr) return fail(ERROR_INVALID_HANDLE, static_cast<Printer*>(nullptr));
    if (needed == nullptr) return fail(RPC_X_NULL_REF_POINTER, static_cast<Printer*>(nullptr));
    *needed = 0;  // also for a record that is not there: callers take size 0 for "not there"
    if (level != wanted_level) return fail(ERROR_INVALID_LEVEL, static_cast<Printer*>(nullptr));
    return &printer_of(open);
}

namespace {

bool is_fill_call(const RecordPacker& packer, LPBYTE buffer, DWORD size) {
    return buffer != nullptr && size >= packer.needed();
}

bool take_one(unsigned& count) {
    if (count == 0) return false;
    --count;
    return true;
}

}  // namespace

bool grew_between_calls(unsigned& count, const RecordPacker& packer, size_t record_size, LPBYTE buffer, DWORD size,
                        LPDWORD needed) {
    if (!is_fill_call(packer, buffer, size) || !take_one(count)) return false;
    *needed = static_cast<DWORD>(packer.needed() + record_size);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return true;
}

bool emptied_between_calls(unsigned& count, const RecordPacker& packer, LPBYTE buffer, DWORD size) {
    return is_fill_call(packer, buffer, size) && take_one(count);
}

bool buffer_fits(const RecordPacker& packer, LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned) {
    if (needed != nullptr) *needed = packer.needed();
    if (returned != nullptr) *returned = 0;
    if (packer.needed() > size || (buffer == nullptr && packer.needed() > 0)) {
        return fail(ERROR_INSUFFICIENT_BUFFER, false);
    }
    return true;
}

}  // namespace sim

namespace {

// PRINTER_INFO_2W as both EnumPrintersW and GetPrinterW fill it.
void count_printer_strings(RecordPacker& packer, const Printer& p) {
    for (const std::u16string* text : {&kMachine, &p.name, &p.port, &p.driver, &kRaw}) packer.count_string(text);
}

void put_printer(RecordPacker& packer, const Printer& p, PRINTER_INFO_2W* r) {
    *r = PRINTER_INFO_2W{};
    r->pServerName = packer.put_string(&kMachine);
    r->pPrinterName = packer.put_string(&p.name);
    r->pPortName = packer.put_string(&p.port);
    r->pDriverName = packer.put_string(&p.driver);
    r->pDatatype = packer.put_string(&kRaw);
    r->Attributes = p.attributes;
    r->Status = p.status;
    r->cJobs = p.jobs_count ? *p.jobs_count : static_cast<DWORD>(p.jobs.size());
}

}  // namespace

extern "C" {

BOOL WINAPI GetDefaultPrinterW(LPWSTR pszBuffer, LPDWORD pcchBuffer) {
    if (call_fails("GetDefaultPrinterW")) return FALSE;
    const Spooler& spooler = computer().spooler;
    if (pcchBuffer == nullptr) return fail(ERROR_INVALID_PARAMETER);
    if (spooler.default_error != 0) return fail(spooler.default_error);
    if (!spooler.default_printer) return fail(ERROR_FILE_NOT_FOUND);
    const std::u16string& name = *spooler.default_printer;
    DWORD needed = static_cast<DWORD>(name.size() + 1);  // characters, with the NUL
    if (pszBuffer == nullptr || *pcchBuffer < needed) {
        *pcchBuffer = needed;
        return fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(pszBuffer, name.c_str(), needed * sizeof(char16_t));
    *pcchBuffer = needed;
    return TRUE;
}

BOOL WINAPI EnumPrintersW(DWORD Flags, LPWSTR Name, DWORD Level, LPBYTE pPrinterEnum, DWORD cbBuf,
                          LPDWORD pcbNeeded, LPDWORD pcReturned) {
    if (call_fails("EnumPrintersW")) return FALSE;
    Spooler& spooler = computer().spooler;
    if (pcbNeeded == nullptr || pcReturned == nullptr) return fail(RPC_X_NULL_REF_POINTER);
    *pcbNeeded = 0;
    *pcReturned = 0;
    if (Name != nullptr && Name[0] != 0) return fail(ERROR_INVALID_NAME);
    const std::vector<Printer>* source = nullptr;
    if (Flags == PRINTER_ENUM_LOCAL && Level == 2) {
        if (spooler.enum_local_error != 0) return fail(spooler.enum_local_error);
        source = &spooler.printers;
    } else if (Flags == PRINTER_ENUM_CONNECTIONS && Level == 4) {
        if (spooler.enum_connections_error != 0) return fail(spooler.enum_connections_error);
        source = &spooler.connections;
    } else {
        return fail(ERROR_INVALID_LEVEL);
    }

    if (Level == 2) {
        RecordPacker packer(sizeof(PRINTER_INFO_2W), source->size());
        for (const Printer& p : *source) count_printer_strings(packer, p);
        if (grew_between_calls(spooler.enum_grow_between_calls, packer, sizeof(PRINTER_INFO_2W), pPrinterEnum, cbBuf,
                               pcbNeeded)) {
            return FALSE;
        }
        if (!buffer_fits(packer, pPrinterEnum, cbBuf, pcbNeeded, pcReturned)) return FALSE;
        packer.start(pPrinterEnum);
        PRINTER_INFO_2W* records = reinterpret_cast<PRINTER_INFO_2W*>(pPrinterEnum);
        for (size_t i = 0; i < source->size(); ++i) put_printer(packer, (*source)[i], &records[i]);
    } else {
        RecordPacker packer(sizeof(PRINTER_INFO_4W), source->size());
        for (const Printer& p : *source) packer.count_string(&p.name);
        if (grew_between_calls(spooler.enum_grow_between_calls, packer, sizeof(PRINTER_INFO_4W), pPrinterEnum, cbBuf,
                               pcbNeeded)) {
            return FALSE;
        }
        if (!buffer_fits(packer, pPrinterEnum, cbBuf, pcbNeeded, pcReturned)) return FALSE;
        packer.start(pPrinterEnum);
        PRINTER_INFO_4W* records = reinterpret_cast<PRINTER_INFO_4W*>(pPrinterEnum);
        for (size_t i = 0; i < source->size(); ++i) {
            records[i] = PRINTER_INFO_4W{};
            records[i].pPrinterName = packer.put_string(&(*source)[i].name);
            records[i].Attributes = (*source)[i].attributes;
        }
    }
    *pcReturned = static_cast<DWORD>(source->size());
    return TRUE;
}

BOOL WINAPI OpenPrinterW(LPWSTR pPrinterName, LPHANDLE phPrinter, LPPRINTER_DEFAULTSW) {
    if (phPrinter != nullptr) *phPrinter = nullptr;
    if (call_fails("OpenPrinterW")) return FALSE;
    if (phPrinter == nullptr || pPrinterName == nullptr) return fail(ERROR_INVALID_PARAMETER);
    std::optional<QueuePlace> place = find_queue(text_of(pPrinterName));
    if (!place) return fail(ERROR_INVALID_PRINTER_NAME);
    const Printer& printer = printer_at(*place);
    if (printer.open_error != 0) return fail(printer.open_error);
    // Owned by the computer, not by ClosePrinter: a handle the program never
    // closes is freed with the computer, and no later handle reuses the audit
    // keys inside a closed one's record.
    auto record = std::make_shared<PrinterHandle>(PrinterHandle{*place});
    computer().kept_alive.push_back(record);
    PrinterHandle* handle = record.get();
    track(handle, ResourceKind::printer_handle, utf16_to_utf8(printer.name));
    *phPrinter = handle;
    return TRUE;
}

BOOL WINAPI ClosePrinter(HANDLE hPrinter) {
    if (call_fails("ClosePrinter")) return FALSE;
    PrinterHandle* handle = open_handle(hPrinter);
    if (handle == nullptr) return fail(ERROR_INVALID_HANDLE);
    // A document or page left open stays in the audit, unless its job was deleted.
    close_started_job(handle);
    untrack(handle);
    overwrite_last_error();
    return TRUE;
}

BOOL WINAPI GetPrinterW(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD cbBuf, LPDWORD pcbNeeded) {
    if (call_fails("GetPrinterW")) return FALSE;
    Printer* queried = queried_printer(hPrinter, Level, 2, pcbNeeded);
    if (queried == nullptr) return FALSE;
    Printer& printer = *queried;
    if (printer.get_printer_error != 0) return fail(printer.get_printer_error);
    RecordPacker packer(sizeof(PRINTER_INFO_2W), 1);
    count_printer_strings(packer, printer);
    if (grew_between_calls(printer.grow_between_calls, packer, sizeof(PRINTER_INFO_2W), pPrinter, cbBuf, pcbNeeded)) {
        return FALSE;
    }
    if (!buffer_fits(packer, pPrinter, cbBuf, pcbNeeded, nullptr)) return FALSE;
    packer.start(pPrinter);
    put_printer(packer, printer, reinterpret_cast<PRINTER_INFO_2W*>(pPrinter));
    return TRUE;
}

}  // extern "C"
