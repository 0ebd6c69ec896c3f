#include "app/print_answer.h"

#include <stdlib.h>

#include "documents/print_document.h"
#include "inventory/printer_inventory.h"
#include "output/output.h"
#include "texts/print_text.h"

void say_job_number(DWORD job) {
    char line[PROGRESS_LINE_ROOM];
    format_progress_line(line, job);
    write_output(line, false);
}

void say_print_result(const Invocation& call, const PrintResult& result, const WCHAR* printer) {
    TextBuffer document = {};
    append_print_document(&document, result, printer);
    if (!call.console) {
        write_output(document.data, false);
        free(document.data);
        return;
    }
    bool open_failed = result.outcome == PrintOutcome::open_failed;
    PrinterInventory printers = {};
    if (open_failed) printers = collect_printers();
    TextBuffer text = {};
    append_print_text(&text, result, printer, document.data, open_failed ? &printers : nullptr);
    write_output(text.data, true);
    free(text.data);
    if (open_failed) free_printers(&printers);
    free(document.data);
}

int exit_code_of(const PrintResult& result) {
    return result.outcome == PrintOutcome::sent ? EXIT_OK : EXIT_FAILED;
}
