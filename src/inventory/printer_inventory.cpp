#include "inventory/printer_inventory.h"

#include <stdlib.h>
#include <string.h>
#include <winspool.h>

#include "base/wide.h"

PrinterInventory printer_inventory;

namespace {

// 1970-01-01 00:00 UTC in file time units (100 ns since 1601).
const unsigned long long kUnixEpochFiletime = 116444736000000000ULL;

const WCHAR* const kVirtualPorts[] = {L"XPSPort:", L"PORTPROMPT:", L"FILE:", L"NUL:", L"SHRFAX:", L"nul", L"AD_Port"};

const WCHAR* const kVirtualFragments[] = {
    L"XPS Document Writer", L"PDF", L"OneNote", L"Fax", L"Факс", L"Send To", L"AnyDesk",
};

unsigned long long filetime_value(const FILETIME& time) {
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// The records of one EnumPrintersW listing in a buffer to free(), or null
// when there are none or they cannot be had.
BYTE* enumerate_printers(DWORD flags, DWORD level, DWORD* count) {
    DWORD needed = 0;
    DWORD returned = 0;
    EnumPrintersW(flags, nullptr, level, nullptr, 0, &needed, &returned);
    if (needed == 0) return nullptr;
    BYTE* records = static_cast<BYTE*>(malloc(needed));
    if (records == nullptr) return nullptr;
    if (!EnumPrintersW(flags, nullptr, level, records, needed, &needed, &returned) || returned == 0) {
        free(records);
        return nullptr;
    }
    *count = returned;
    return records;
}

PrinterEntry* take_printer_slot() {
    PrinterEntry* entry = &printer_inventory.printers[printer_inventory.printer_count++];
    memset(entry, 0, sizeof *entry);
    return entry;
}

bool already_listed(const WCHAR* name) {
    for (int i = 0; i < printer_inventory.printer_count; ++i) {
        if (wide_equal_nocase(printer_inventory.printers[i].name, name)) return true;
    }
    return false;
}

void collect_local_queues() {
    DWORD count = 0;
    BYTE* records = enumerate_printers(PRINTER_ENUM_LOCAL, 2, &count);
    if (records == nullptr) return;
    const PRINTER_INFO_2W* info = reinterpret_cast<const PRINTER_INFO_2W*>(records);
    for (DWORD i = 0; i < count && printer_inventory.printer_count < MAX_PRINTERS; ++i) {
        if (info[i].pPrinterName == nullptr) continue;
        PrinterEntry* entry = take_printer_slot();
        wide_copy(entry->name, PRINTER_NAME_ROOM, info[i].pPrinterName);
        wide_copy(entry->port, PORT_ROOM, info[i].pPortName);
        wide_copy(entry->driver, DRIVER_ROOM, info[i].pDriverName);
        entry->attributes = info[i].Attributes;
        entry->status = info[i].Status;
        entry->jobs = info[i].cJobs;
        entry->details = TRUE;
    }
    free(records);
}

void collect_connections() {
    DWORD count = 0;
    BYTE* records = enumerate_printers(PRINTER_ENUM_CONNECTIONS, 4, &count);
    if (records == nullptr) return;
    const PRINTER_INFO_4W* info = reinterpret_cast<const PRINTER_INFO_4W*>(records);
    for (DWORD i = 0; i < count && printer_inventory.printer_count < MAX_PRINTERS; ++i) {
        if (info[i].pPrinterName == nullptr || already_listed(info[i].pPrinterName)) continue;
        PrinterEntry* entry = take_printer_slot();
        wide_copy(entry->name, PRINTER_NAME_ROOM, info[i].pPrinterName);
        entry->attributes = info[i].Attributes | PRINTER_ATTRIBUTE_NETWORK;
    }
    free(records);
}

void read_job_list(PrinterEntry* entry) {
    HANDLE printer = nullptr;
    if (!OpenPrinterW(entry->name, &printer, nullptr)) return;
    DWORD needed = 0;
    DWORD returned = 0;
    EnumJobsW(printer, 0, MAX_JOBS_PER_PRINTER, 1, nullptr, 0, &needed, &returned);
    BYTE* records = needed > 0 ? static_cast<BYTE*>(malloc(needed)) : nullptr;
    if (records != nullptr && EnumJobsW(printer, 0, MAX_JOBS_PER_PRINTER, 1, records, needed, &needed, &returned)) {
        unsigned long long now = now_unix_ms();
        const JOB_INFO_1W* info = reinterpret_cast<const JOB_INFO_1W*>(records);
        for (DWORD i = 0; i < returned && entry->job_count < MAX_JOBS_PER_PRINTER; ++i) {
            JobEntry* job = &entry->job_list[entry->job_count++];
            memset(job, 0, sizeof *job);
            job->id = info[i].JobId;
            job->status = info[i].Status;
            job->age_ms = job_age_ms(&info[i].Submitted, now);
            wide_copy(job->doc, JOB_TEXT_ROOM, info[i].pDocument);
            wide_copy(job->status_text, JOB_TEXT_ROOM, info[i].pStatus);
        }
    }
    free(records);
    ClosePrinter(printer);
}

}  // namespace

unsigned long long now_unix_ms() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (filetime_value(now) - kUnixEpochFiletime) / 10000;
}

unsigned long long job_age_ms(const SYSTEMTIME* submitted, unsigned long long now_ms) {
    FILETIME time;
    if (!SystemTimeToFileTime(submitted, &time)) return 0;
    unsigned long long value = filetime_value(time);
    if (value < kUnixEpochFiletime + 10000) return 0;  // before 1970, or within its first millisecond
    unsigned long long submitted_ms = (value - kUnixEpochFiletime) / 10000;
    return submitted_ms < now_ms ? now_ms - submitted_ms : 0;
}

unsigned long long oldest_job_age_ms(const PrinterEntry& entry) {
    unsigned long long oldest = 0;
    for (int i = 0; i < entry.job_count; ++i) {
        if (entry.job_list[i].age_ms > oldest) oldest = entry.job_list[i].age_ms;
    }
    return oldest;
}

void read_default_printer() {
    DWORD size = PRINTER_NAME_ROOM - 1;
    printer_inventory.default_printer[0] = 0;
    if (!GetDefaultPrinterW(printer_inventory.default_printer, &size)) printer_inventory.default_printer[0] = 0;
}

const WCHAR* printer_or_default(const WCHAR* printer_argument) {
    if (printer_argument != nullptr && printer_argument[0] != 0) return printer_argument;
    read_default_printer();
    return printer_inventory.default_printer;
}

void collect_printers() {
    printer_inventory.default_printer[0] = 0;
    printer_inventory.printer_count = 0;
    read_default_printer();
    collect_local_queues();
    collect_connections();
    for (int i = 0; i < printer_inventory.printer_count; ++i) {
        PrinterEntry* entry = &printer_inventory.printers[i];
        entry->is_default = printer_inventory.default_printer[0] != 0 &&
                            wide_equal_nocase(printer_inventory.default_printer, entry->name);
        entry->is_virtual = is_virtual_printer(entry->port, entry->driver, entry->name);
        if (entry->details && entry->jobs != 0) read_job_list(entry);
    }
}

bool contains_nocase(const WCHAR* text, const WCHAR* fragment) {
    if (text == nullptr || fragment == nullptr || text[0] == 0) return false;
    size_t text_length = wide_length(text);
    size_t fragment_length = wide_length(fragment);
    for (size_t start = 0; start + fragment_length <= text_length; ++start) {
        if (wide_equal_nocase_n(text + start, fragment, fragment_length)) return true;
    }
    return false;
}

bool is_virtual_printer(const WCHAR* port, const WCHAR* driver, const WCHAR* name) {
    for (const WCHAR* virtual_port : kVirtualPorts) {
        if (wide_equal_nocase(port, virtual_port)) return true;
    }
    if (contains_nocase(port, L".pdf")) return true;
    for (const WCHAR* fragment : kVirtualFragments) {
        if (contains_nocase(driver, fragment) || contains_nocase(name, fragment)) return true;
    }
    return false;
}
