#include "documents/status_keys.h"

#include <winspool.h>

const StatusKey job_status_keys[] = {
    {JOB_STATUS_PAUSED, "paused"},
    {JOB_STATUS_ERROR, "error"},
    {JOB_STATUS_DELETING, "deleting"},
    {JOB_STATUS_SPOOLING, "spooling"},
    {JOB_STATUS_PRINTING, "printing"},
    {JOB_STATUS_OFFLINE, "offline"},
    {JOB_STATUS_PAPEROUT, "paper_out"},
    {JOB_STATUS_PRINTED, "printed"},
    {JOB_STATUS_DELETED, "deleted"},
    {JOB_STATUS_BLOCKED_DEVQ, "blocked"},
    {JOB_STATUS_USER_INTERVENTION, "user_intervention"},
    {JOB_STATUS_RESTART, "restart"},
    {JOB_STATUS_COMPLETE, "complete"},
    {0, nullptr},
};

const StatusKey printer_status_keys[] = {
    {PRINTER_STATUS_PAUSED, "paused"},
    {PRINTER_STATUS_ERROR, "error"},
    {PRINTER_STATUS_PENDING_DELETION, "pending_deletion"},
    {PRINTER_STATUS_PAPER_JAM, "paper_jam"},
    {PRINTER_STATUS_PAPER_OUT, "paper_out"},
    {PRINTER_STATUS_MANUAL_FEED, "manual_feed"},
    {PRINTER_STATUS_PAPER_PROBLEM, "paper_problem"},
    {PRINTER_STATUS_OFFLINE, "offline"},
    {PRINTER_STATUS_IO_ACTIVE, "io_active"},
    {PRINTER_STATUS_BUSY, "busy"},
    {PRINTER_STATUS_PRINTING, "printing"},
    {PRINTER_STATUS_OUTPUT_BIN_FULL, "output_bin_full"},
    {PRINTER_STATUS_NOT_AVAILABLE, "not_available"},
    {PRINTER_STATUS_WAITING, "waiting"},
    {PRINTER_STATUS_PROCESSING, "processing"},
    {PRINTER_STATUS_INITIALIZING, "initializing"},
    {PRINTER_STATUS_WARMING_UP, "warming_up"},
    {PRINTER_STATUS_USER_INTERVENTION, "user_intervention"},
    {PRINTER_STATUS_OUT_OF_MEMORY, "out_of_memory"},
    {PRINTER_STATUS_DOOR_OPEN, "door_open"},
    {PRINTER_STATUS_SERVER_UNKNOWN, "server_unknown"},
    {PRINTER_STATUS_POWER_SAVE, "power_save"},
    {0, nullptr},
};

void append_status_keys(TextBuffer* buffer, DWORD status, const StatusKey* table) {
    append(buffer, "[");
    bool first = true;
    for (const StatusKey* row = table; row->key != nullptr; ++row) {
        if ((row->mask & status) == 0) continue;
        if (!first) append(buffer, ",");
        append_format(buffer, "\"%s\"", row->key);
        first = false;
    }
    append(buffer, "]");
}
