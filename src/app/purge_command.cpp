// "purge": deletes the queue's jobs that are at least the given age old.
#include <stdlib.h>

#include "app/commands.h"
#include "documents/failure.h"
#include "documents/purge_document.h"
#include "inventory/printer_inventory.h"
#include "output/output.h"
#include "printing/purge.h"
#include "texts/print_text.h"

int purge_command(const Invocation& call) {
    DWORD minimum_age_s = parse_dword(call, 3, L"20");
    WCHAR* default_name = nullptr;
    DWORD default_error = ERROR_SUCCESS;
    const WCHAR* printer = printer_or_default(call.second, &default_name, &default_error);

    PurgeResult result = {PurgeOutcome::purged, 0, 0, 0, 0};
    bool named = printer[0] != 0;
    if (named) result = purge_queue(printer, minimum_age_s);

    TextBuffer document = {};
    if (named) {
        append_purge_document(&document, result, printer);
    } else {
        append_no_printer_document(&document, default_error);
    }
    if (call.console) {
        // A person sees which queue the document is about.
        TextBuffer text = {};
        append_purge_text(&text, printer, document.data);
        write_output(text.data, true);
        free(text.data);
    } else {
        write_output(document.data, false);
    }
    free(document.data);
    free(default_name);
    bool clean = named && result.outcome == PurgeOutcome::purged && result.failed == 0;
    return clean ? EXIT_OK : EXIT_FAILED;
}
