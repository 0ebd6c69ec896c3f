// The spooler's view of this computer: local queues, printer connections,
// the default printer and the first jobs of each queue. Gathered afresh by
// collect_printers, then only read.
#pragma once

#include <windows.h>

enum : int {
    MAX_PRINTERS = 64,
    MAX_JOBS_PER_PRINTER = 20,
    PRINTER_NAME_ROOM = 260,
    PORT_ROOM = 128,
    DRIVER_ROOM = 128,
    JOB_TEXT_ROOM = 64,
};

struct JobEntry {
    DWORD id;
    DWORD status;               // JOB_STATUS_* bits
    unsigned long long age_ms;  // from submission to the moment the queue was read; 0 when unknown
    WCHAR doc[JOB_TEXT_ROOM];
    WCHAR status_text[JOB_TEXT_ROOM];
};

struct PrinterEntry {
    WCHAR name[PRINTER_NAME_ROOM];
    WCHAR port[PORT_ROOM];      // empty for a connection
    WCHAR driver[DRIVER_ROOM];  // empty for a connection
    DWORD attributes;           // PRINTER_ATTRIBUTE_*; a connection has 0x10 added
    DWORD status;               // PRINTER_STATUS_*; 0 for a connection
    DWORD jobs;                 // the spooler's job count; 0 for a connection
    BOOL details;               // a local queue, whose port, driver, status and jobs are known
    BOOL is_default;
    BOOL is_virtual;
    int job_count;
    JobEntry job_list[MAX_JOBS_PER_PRINTER];
};

struct PrinterInventory {
    WCHAR default_printer[PRINTER_NAME_ROOM];
    int printer_count;
    PrinterEntry printers[MAX_PRINTERS];
};

extern PrinterInventory printer_inventory;

// Empties and refills printer_inventory from the spooler. Never fails: what
// the spooler does not give is missing.
void collect_printers();

// Fills printer_inventory.default_printer with the default printer's name,
// or leaves it empty when there is none or it cannot be read.
void read_default_printer();

// The printer a command works on: the name given, or, when it is null or
// empty, the default printer read into printer_inventory.default_printer
// (empty when there is none).
const WCHAR* printer_or_default(const WCHAR* printer_argument);

// Whether a queue prints to a file, a fax, a PDF or XPS document, a note
// program or a remote-desktop connection instead of paper. The port must be
// present (it may be empty); driver and name may be null.
bool is_virtual_printer(const WCHAR* port, const WCHAR* driver, const WCHAR* name);

// Whether a queue is set to "work offline" (an attribute, not a status bit).
bool works_offline(DWORD attributes);

// The greatest age among the jobs read from a queue; 0 when none was read.
unsigned long long oldest_job_age_ms(const PrinterEntry& entry);

// Milliseconds from a job's submission (a UTC time) to now_ms; 0 when the
// time cannot be converted, lies before 1970 or is not earlier than now.
unsigned long long job_age_ms(const SYSTEMTIME* submitted, unsigned long long now_ms);
