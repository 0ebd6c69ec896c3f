// "watch": follows a job until it leaves the queue, then says its fate and
// the state of the queue, its port and the USB devices.
#include <stdlib.h>
#include <string.h>

#include "app/commands.h"
#include "base/wide.h"
#include "devices/device_inventory.h"
#include "documents/watch_document.h"
#include "inventory/printer_inventory.h"
#include "network/net_ports.h"
#include "output/output.h"
#include "printing/watch.h"

namespace {

// Writes the document and frees it.
int say(const Invocation& call, TextBuffer* document, int exit_code) {
    write_output(document->data, call.console);
    free(document->data);
    return exit_code;
}

int watch_queue(const Invocation& call, const WCHAR* printer, DWORD start) {
    WatchResult watch = watch_job(printer, parse_dword(call, 3, L"0"), parse_dword(call, 4, L"20000"),
                                  parse_number(call.argc, call.argv, 5, L"0"), start);
    TextBuffer document = {};
    if (!watch.opened) {
        append_watch_open_failed(&document, printer, watch.error);
        return say(call, &document, EXIT_FAILED);
    }
    // What the document tells besides the job: the devices now, and whether
    // the queue is the default now, at the end of the watch.
    DeviceInventory devices;
    memset(&devices, 0, sizeof devices);
    collect_usb_devices(&devices);
    DWORD unread = ERROR_SUCCESS;
    WCHAR* default_now = read_default_printer(&unread);
    bool is_default = default_now != nullptr && wide_equal_nocase(default_now, printer);
    free(default_now);

    // After trouble, the queue's own USB printer says whether it has paper
    // (a class request: nothing is sent to it), and a network printer is
    // asked whether it answers at all.
    NetPorts* network = nullptr;
    if (watch.fate != WatchFate::done && watch.state.printer.port != nullptr) {
        UsbDevice* device = device_on_port(&devices, watch.state.printer.port);
        if (device != nullptr) read_port_status(device);
        network = new_net_ports();
        add_net_port(network, watch.state.printer.port);
        if (network->count > 0) ask_net_ports(network);
    }

    WatchVerdict verdict = {watch.fate, GetTickCount() - start, printer, is_default, &watch.state, &devices, network};
    append_watch_document(&document, verdict);
    free(network);
    free_job_state(&watch.state);
    return say(call, &document, watch.fate == WatchFate::done ? EXIT_OK : EXIT_FAILED);
}

}  // namespace

int watch_command(const Invocation& call) {
    WCHAR* default_name = nullptr;
    DWORD default_error = ERROR_SUCCESS;
    const WCHAR* printer = printer_or_default(call.second, &default_name, &default_error);
    DWORD start = GetTickCount();
    int exit_code = EXIT_FAILED;
    if (printer[0] == 0) {
        TextBuffer document = {};
        append_watch_no_printer(&document, default_error);
        exit_code = say(call, &document, EXIT_FAILED);
    } else {
        exit_code = watch_queue(call, printer, start);
    }
    free(default_name);
    return exit_code;
}
