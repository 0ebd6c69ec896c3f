#include "inventory/printer_inventory.h"

#include <stdlib.h>
#include <string.h>
#include <winspool.h>

#include "base/wide.h"
#include "inventory/spooler_read.h"

PrinterInventory printer_inventory;

namespace {

const WCHAR* const kVirtualPorts[] = {L"XPSPort:", L"PORTPROMPT:", L"FILE:", L"NUL:", L"SHRFAX:", L"nul", L"AD_Port"};

const WCHAR* const kVirtualFragments[] = {
    L"XPS Document Writer", L"PDF", L"OneNote", L"Fax", L"Факс", L"Send To", L"AnyDesk",
};

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
    SpoolerRecords records;
    if (read_printers(PRINTER_ENUM_LOCAL, 2, &records) != SPOOLER_READ_OK) return;  // none to be had
    const PRINTER_INFO_2W* info = reinterpret_cast<const PRINTER_INFO_2W*>(records.data);
    for (DWORD i = 0; i < records.count && printer_inventory.printer_count < MAX_PRINTERS; ++i) {
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
    free(records.data);
}

void collect_connections() {
    SpoolerRecords records;
    if (read_printers(PRINTER_ENUM_CONNECTIONS, 4, &records) != SPOOLER_READ_OK) return;  // none to be had
    const PRINTER_INFO_4W* info = reinterpret_cast<const PRINTER_INFO_4W*>(records.data);
    for (DWORD i = 0; i < records.count && printer_inventory.printer_count < MAX_PRINTERS; ++i) {
        if (info[i].pPrinterName == nullptr || already_listed(info[i].pPrinterName)) continue;
        PrinterEntry* entry = take_printer_slot();
        wide_copy(entry->name, PRINTER_NAME_ROOM, info[i].pPrinterName);
        entry->attributes = info[i].Attributes | PRINTER_ATTRIBUTE_NETWORK;
    }
    free(records.data);
}

void read_job_list(PrinterEntry* entry) {
    HANDLE printer = nullptr;
    if (!OpenPrinterW(entry->name, &printer, nullptr)) return;
    SpoolerRecords records;
    if (read_jobs(printer, 0, MAX_JOBS_PER_PRINTER, &records) == SPOOLER_READ_OK) {  // else no jobs shown
        unsigned long long now = now_unix_ms();
        const JOB_INFO_1W* info = reinterpret_cast<const JOB_INFO_1W*>(records.data);
        for (DWORD i = 0; i < records.count && entry->job_count < MAX_JOBS_PER_PRINTER; ++i) {
            JobEntry* job = &entry->job_list[entry->job_count++];
            memset(job, 0, sizeof *job);
            job->id = info[i].JobId;
            job->status = info[i].Status;
            job->age_ms = job_age_ms(&info[i].Submitted, now);
            wide_copy(job->doc, JOB_TEXT_ROOM, info[i].pDocument);
            wide_copy(job->status_text, JOB_TEXT_ROOM, info[i].pStatus);
        }
        free(records.data);
    }
    ClosePrinter(printer);
}

}  // namespace

unsigned long long job_age_ms(const SYSTEMTIME* submitted, unsigned long long now_ms) {
    unsigned long long submitted_ms = 0;
    if (!submitted_unix_ms(submitted, &submitted_ms)) return 0;
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

bool works_offline(DWORD attributes) {
    return (attributes & PRINTER_ATTRIBUTE_WORK_OFFLINE) != 0;
}

bool is_virtual_printer(const WCHAR* port, const WCHAR* driver, const WCHAR* name) {
    for (const WCHAR* virtual_port : kVirtualPorts) {
        if (wide_equal_nocase(port, virtual_port)) return true;
    }
    if (wide_contains_nocase(port, L".pdf")) return true;
    for (const WCHAR* fragment : kVirtualFragments) {
        if (wide_contains_nocase(driver, fragment) || wide_contains_nocase(name, fragment)) return true;
    }
    return false;
}
