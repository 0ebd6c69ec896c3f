// "driver": a one-page test printed through the printer's own driver; at a
// console the job is then followed for the person.
#include <stdlib.h>

#include "app/commands.h"
#include "app/follow_up.h"
#include "app/print_answer.h"
#include "inventory/printer_inventory.h"
#include "printing/driver_page.h"
#include "texts/driver_page_text.h"

int driver_command(const Invocation& call) {
    WCHAR* default_name = nullptr;
    DWORD default_error = ERROR_SUCCESS;
    const WCHAR* printer = printer_or_default(call.second, &default_name, &default_error);

    PrintResult result = print_result_of(PrintOutcome::no_printer, default_error);
    if (printer[0] != 0) result = print_driver_page(printer, kDriverPageText);

    say_print_result(call, result, printer);
    if (call.console && result.outcome == PrintOutcome::sent) follow_up_for_person(printer, result.job, false);
    free(default_name);
    return exit_code_of(result);
}
