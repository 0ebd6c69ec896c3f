// The spooler's view of this computer: local queues, printer connections,
// the default printer and the first jobs of each queue. Gathered afresh by
// collect_printers into a value its caller owns, then only read.
#pragma once

#include <windows.h>

#include "inventory/spooler_read.h"

enum : int {
    MAX_PRINTERS = 64,
    MAX_JOBS_PER_PRINTER = 20,
    JOB_TEXT_ROOM = 64,
};

struct JobEntry {
    DWORD id;
    DWORD status;               // JOB_STATUS_* bits
    unsigned long long age_ms;  // from submission to the moment the queue was read; 0 when unknown
    WCHAR doc[JOB_TEXT_ROOM];   // for people: cut to the room
    WCHAR status_text[JOB_TEXT_ROOM];
};

// Names are held whole: they point into the spooler's records, which the
// inventory keeps until free_printers. A cut name could open another queue.
struct PrinterEntry {
    const WCHAR* name;
    const WCHAR* port;    // "" for a connection
    const WCHAR* driver;  // "" for a connection
    DWORD attributes;     // PRINTER_ATTRIBUTE_*; a connection has PRINTER_ATTRIBUTE_NETWORK added
    DWORD status;         // PRINTER_STATUS_*; 0 for a connection
    DWORD jobs_in_queue;  // the spooler's job count; 0 for a connection
    bool details;         // a local queue, whose port, driver, status and jobs are known
    bool is_default;
    bool is_virtual;
    int jobs_read;        // entries of job_list: the first jobs, as read
    JobEntry job_list[MAX_JOBS_PER_PRINTER];
};

struct PrinterInventory {
    WCHAR* default_printer;  // null when there is none or it cannot be read
    DWORD default_error;     // why it cannot be read (the print spooler stopped...); 0 when there is none
    bool printers_ok;        // the local queues and the connections were both read
    DWORD printers_error;    // when not: the error of the first read that failed
    int printer_count;
    int printers_cut;        // queues left out because more than MAX_PRINTERS were listed
    PrinterEntry* printers;  // printer_count entries
    BYTE* local_records;     // the spooler's records the names point into
    BYTE* connection_records;
};

// Reads the printers from the spooler. Never fails: what the spooler does
// not give is missing, and printers_ok says whether the lists were read.
// When they were, the default printer is always among those listed: when
// more than MAX_PRINTERS queues are there, it takes the last place.
PrinterInventory collect_printers();
void free_printers(PrinterInventory* inventory);

// The default printer's name, whole, in a block of its own; null when there
// is none (*error 0) or it cannot be read (*error why: 1722 when the print
// spooler has stopped). free() it.
WCHAR* read_default_printer(DWORD* error);

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

// The queue a command works on: the name given or, when that is empty, the
// default printer, read into *default_name (free() it; null when none was
// read, *default_error then saying why when it could not be). "" when none
// was given and Windows has no default printer, or it cannot be read.
const WCHAR* printer_or_default(const WCHAR* printer_argument, WCHAR** default_name, DWORD* default_error);

// A queue's port and job count from its own record; false, with the error,
// when it does not open (1801 for a name no queue has) or describe itself.
// The port points into *record, whose data the caller frees.
bool read_queue_port(const WCHAR* printer, SpoolerRecords* record, const WCHAR** port, DWORD* jobs, DWORD* error);
