#include "inventory/printer_inventory.h"

#include <stdlib.h>
#include <string.h>
#include <winspool.h>

#include "base/wide.h"
#include "inventory/spooler_read.h"
#include "output/text_buffer.h"

namespace {

const WCHAR* const kVirtualPorts[] = {L"XPSPort:", L"PORTPROMPT:", L"FILE:", L"NUL:", L"SHRFAX:", L"nul", L"AD_Port"};

// Matched in names and drivers as Windows gives them, in English or Russian
// ("\u0424\u0430\u043a\u0441": a Russian Windows' fax).
const WCHAR* const kVirtualFragments[] = {
    L"XPS Document Writer", L"PDF", L"OneNote", L"Fax", L"\u0424\u0430\u043a\u0441", L"Send To", L"AnyDesk",
};

const int kDefaultReads = 3;  // a default printer renamed while it is read, again and again, is none

const WCHAR* text_or_empty(const WCHAR* text) {
    return text != nullptr ? text : L"";
}

bool is_default_name(const PrinterInventory& inventory, const WCHAR* name) {
    return inventory.default_printer != nullptr && wide_equal_nocase(inventory.default_printer, name);
}

// Where the queues go while they are read: the first MAX_PRINTERS take a
// place; past them, the default printer is remembered to take the last place.
struct Listing {
    PrinterInventory* inventory;
    DWORD local_count;  // local records read, listed or not
    bool default_listed;
    const PRINTER_INFO_2W* cut_default_queue;
    const PRINTER_INFO_4W* cut_default_connection;
};

void fill_queue(PrinterEntry* entry, const PRINTER_INFO_2W& info) {
    memset(entry, 0, sizeof *entry);
    entry->name = info.pPrinterName;
    entry->port = text_or_empty(info.pPortName);
    entry->driver = text_or_empty(info.pDriverName);
    entry->attributes = info.Attributes;
    entry->status = info.Status;
    entry->jobs_in_queue = info.cJobs;
    entry->details = true;
}

void fill_connection(PrinterEntry* entry, const PRINTER_INFO_4W& info) {
    memset(entry, 0, sizeof *entry);
    entry->name = info.pPrinterName;
    entry->port = L"";
    entry->driver = L"";
    entry->attributes = info.Attributes | PRINTER_ATTRIBUTE_NETWORK;
}

// The next place for a queue of this name, or null when the list is full
// (the queue is then counted as left out).
PrinterEntry* take_place(Listing* listing, const WCHAR* name) {
    PrinterInventory* inventory = listing->inventory;
    if (inventory->printer_count < MAX_PRINTERS) {
        if (is_default_name(*inventory, name)) listing->default_listed = true;
        return &inventory->printers[inventory->printer_count++];
    }
    ++inventory->printers_cut;
    return nullptr;
}

// A list that cannot be read (the print spooler service has stopped) is no
// empty computer: the inventory says so.
bool read_list(Listing* listing, DWORD flags, DWORD level, SpoolerRecords* records) {
    if (read_printers(flags, level, records) == SPOOLER_READ_OK) return true;
    PrinterInventory* inventory = listing->inventory;
    if (inventory->printers_ok) {
        inventory->printers_ok = false;
        inventory->printers_error = records->error;
    }
    return false;
}

void collect_local_queues(Listing* listing) {
    SpoolerRecords records;
    if (!read_list(listing, PRINTER_ENUM_LOCAL, 2, &records)) return;
    listing->inventory->local_records = records.data;
    listing->local_count = records.count;
    const PRINTER_INFO_2W* info = reinterpret_cast<const PRINTER_INFO_2W*>(records.data);
    for (DWORD i = 0; i < records.count; ++i) {
        if (info[i].pPrinterName == nullptr) continue;
        PrinterEntry* entry = take_place(listing, info[i].pPrinterName);
        if (entry != nullptr) {
            fill_queue(entry, info[i]);
        } else if (listing->cut_default_queue == nullptr && is_default_name(*listing->inventory, info[i].pPrinterName)) {
            listing->cut_default_queue = &info[i];
        }
    }
}

// Windows may list a connection among the local queues too, or twice: it is
// shown once.
bool already_seen(const Listing& listing, const WCHAR* name) {
    const PrinterInventory& inventory = *listing.inventory;
    for (int i = 0; i < inventory.printer_count; ++i) {
        if (wide_equal_nocase(inventory.printers[i].name, name)) return true;
    }
    const PRINTER_INFO_2W* info = reinterpret_cast<const PRINTER_INFO_2W*>(inventory.local_records);
    for (DWORD i = 0; i < listing.local_count; ++i) {
        if (info[i].pPrinterName != nullptr && wide_equal_nocase(info[i].pPrinterName, name)) return true;
    }
    return false;
}

void collect_connections(Listing* listing) {
    SpoolerRecords records;
    if (!read_list(listing, PRINTER_ENUM_CONNECTIONS, 4, &records)) return;
    listing->inventory->connection_records = records.data;
    const PRINTER_INFO_4W* info = reinterpret_cast<const PRINTER_INFO_4W*>(records.data);
    for (DWORD i = 0; i < records.count; ++i) {
        const WCHAR* name = info[i].pPrinterName;
        if (name == nullptr || already_seen(*listing, name)) continue;
        PrinterEntry* entry = take_place(listing, name);
        if (entry != nullptr) {
            fill_connection(entry, info[i]);
        } else if (listing->cut_default_connection == nullptr && listing->cut_default_queue == nullptr &&
                   is_default_name(*listing->inventory, name)) {
            listing->cut_default_connection = &info[i];
        }
    }
}

// A full list still shows the default printer: the till prints to it when no
// queue is named.
void keep_the_default(const Listing& listing) {
    if (listing.default_listed) return;
    PrinterEntry* last = &listing.inventory->printers[MAX_PRINTERS - 1];
    if (listing.cut_default_queue != nullptr) {
        fill_queue(last, *listing.cut_default_queue);
    } else if (listing.cut_default_connection != nullptr) {
        fill_connection(last, *listing.cut_default_connection);
    }
}

void read_job_list(PrinterEntry* entry) {
    HANDLE printer = nullptr;
    if (!OpenPrinterW(const_cast<LPWSTR>(entry->name), &printer, nullptr)) return;
    SpoolerRecords records;
    if (read_jobs(printer, 0, MAX_JOBS_PER_PRINTER, &records) == SPOOLER_READ_OK) {  // else no jobs shown
        unsigned long long now = now_unix_ms();
        const JOB_INFO_1W* info = reinterpret_cast<const JOB_INFO_1W*>(records.data);
        for (DWORD i = 0; i < records.count && entry->jobs_read < MAX_JOBS_PER_PRINTER; ++i) {
            JobEntry* job = &entry->job_list[entry->jobs_read++];
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
    for (int i = 0; i < entry.jobs_read; ++i) {
        if (entry.job_list[i].age_ms > oldest) oldest = entry.job_list[i].age_ms;
    }
    return oldest;
}

namespace {

// ERROR_FILE_NOT_FOUND is how Windows says no default printer is set; any
// other error is a spooler that could not answer.
DWORD unread_default(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
}

}  // namespace

WCHAR* read_default_printer(DWORD* error) {
    // Sized by a first call, filled by a second; read again when the name
    // grew in between (the default was changed meanwhile).
    *error = ERROR_SUCCESS;
    DWORD size = 0;
    SetLastError(ERROR_SUCCESS);
    if (GetDefaultPrinterW(nullptr, &size)) return nullptr;
    DWORD sizing_error = GetLastError();
    if (sizing_error != ERROR_INSUFFICIENT_BUFFER) {
        *error = unread_default(sizing_error);
        return nullptr;
    }
    for (int read = 1; read <= kDefaultReads && size > 0; ++read) {
        WCHAR* name = static_cast<WCHAR*>(allocate(size * sizeof(WCHAR)));
        SetLastError(ERROR_SUCCESS);
        if (GetDefaultPrinterW(name, &size)) return name;
        DWORD fill_error = GetLastError();
        free(name);
        if (fill_error != ERROR_INSUFFICIENT_BUFFER) {
            *error = unread_default(fill_error);
            return nullptr;
        }
    }
    return nullptr;
}

const WCHAR* printer_or_default(const WCHAR* printer_argument, WCHAR** default_name, DWORD* default_error) {
    *default_name = nullptr;
    *default_error = ERROR_SUCCESS;
    if (printer_argument != nullptr && printer_argument[0] != 0) return printer_argument;
    *default_name = read_default_printer(default_error);
    return text_or_empty(*default_name);
}

PrinterInventory collect_printers() {
    PrinterInventory inventory;
    memset(&inventory, 0, sizeof inventory);
    inventory.printers = static_cast<PrinterEntry*>(allocate(MAX_PRINTERS * sizeof(PrinterEntry)));
    inventory.default_printer = read_default_printer(&inventory.default_error);
    inventory.printers_ok = true;
    Listing listing = {&inventory, 0, false, nullptr, nullptr};
    collect_local_queues(&listing);
    collect_connections(&listing);
    keep_the_default(listing);
    for (int i = 0; i < inventory.printer_count; ++i) {
        PrinterEntry* entry = &inventory.printers[i];
        entry->is_default = is_default_name(inventory, entry->name);
        entry->is_virtual = is_virtual_printer(entry->port, entry->driver, entry->name);
        if (entry->details && entry->jobs_in_queue != 0) read_job_list(entry);
    }
    return inventory;
}

void free_printers(PrinterInventory* inventory) {
    free(inventory->default_printer);
    free(inventory->printers);
    free(inventory->local_records);
    free(inventory->connection_records);
    memset(inventory, 0, sizeof *inventory);
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

bool read_queue_port(const WCHAR* printer, SpoolerRecords* record, const WCHAR** port, DWORD* jobs, DWORD* error) {
    HANDLE queue = nullptr;
    SetLastError(ERROR_SUCCESS);  // an open that fails without saying why is reported with 0
    if (!OpenPrinterW(const_cast<LPWSTR>(printer), &queue, nullptr)) {
        *error = GetLastError();
        return false;
    }
    bool read = read_printer(queue, record) == SPOOLER_READ_OK;
    *error = read ? ERROR_SUCCESS : record->error;
    ClosePrinter(queue);
    if (!read) return false;
    const PRINTER_INFO_2W* info = reinterpret_cast<const PRINTER_INFO_2W*>(record->data);
    *port = info->pPortName != nullptr ? info->pPortName : L"";
    *jobs = info->cJobs;
    return true;
}
