// "test": a short ESC/POS receipt sent straight to a queue as a RAW job; at
// a console the job is then followed for the person.
#include <stdlib.h>

#include "app/commands.h"
#include "app/follow_up.h"
#include "app/print_answer.h"
#include "inventory/printer_inventory.h"
#include "printing/send_raw.h"
#include "printing/test_receipt.h"

int test_command(const Invocation& call) {
    WCHAR* default_name = nullptr;
    DWORD default_error = ERROR_SUCCESS;
    const WCHAR* printer = printer_or_default(call.second, &default_name, &default_error);
    SYSTEMTIME now;
    GetLocalTime(&now);
    BYTE receipt[TEST_RECEIPT_ROOM];
    DWORD length = build_test_receipt(receipt, &now);

    PrintResult result = print_result_of(PrintOutcome::no_printer, default_error);
    if (printer[0] != 0) {
        result = send_raw(printer, receipt, length, L"Morvik test", call.console ? nullptr : say_job_number);
    }

    say_print_result(call, result, printer);
    if (call.console && result.outcome == PrintOutcome::sent) follow_up_for_person(printer, result.job, true);
    free(default_name);
    return exit_code_of(result);
}
