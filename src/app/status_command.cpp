// "status": asks the receipt printer itself about its paper, cover and
// errors, over USB or the network, when nothing of its queue's is printing.
#include <stdlib.h>
#include <string.h>

#include "app/commands.h"
#include "base/wide.h"
#include "devices/device_inventory.h"
#include "documents/failure.h"
#include "documents/status_document.h"
#include "inventory/printer_inventory.h"
#include "network/net_ports.h"
#include "output/output.h"
#include "printing/escpos_ask.h"
#include "texts/printer_status_text.h"

namespace {

// Bytes of ours could land inside a job's data, and many network printers
// take one connection at a time: while any queue on the port holds jobs, the
// printer is not asked.
bool port_has_jobs(const PrinterInventory& printers, const WCHAR* port, DWORD own_jobs) {
    if (own_jobs != 0) return true;
    for (int i = 0; i < printers.printer_count; ++i) {
        const PrinterEntry& entry = printers.printers[i];
        if (entry.details && entry.jobs_in_queue != 0 && wide_equal_nocase(entry.port, port)) return true;
    }
    return false;
}

// Over the USB device that holds the port. Its class status is read first,
// busy or not: it sends the printer nothing.
void ask_over_usb(StatusVerdict* verdict, UsbDevice* device, bool busy) {
    read_port_status(device);
    verdict->port_status = device->port_status;
    if (busy) {
        verdict->reason = NotAskedReason::busy;
        return;
    }
    read_device_id(device);
    if (!command_set_has_escpos(device->cmd)) {
        verdict->reason = NotAskedReason::not_escpos;
        return;
    }
    verdict->ask = ask_usb_printer(device->path);
    if (verdict->ask.outcome == AskOutcome::in_use) verdict->reason = NotAskedReason::busy;
}

void find_and_ask(StatusVerdict* verdict, DWORD jobs) {
    PrinterInventory printers = collect_printers();
    bool busy = port_has_jobs(printers, verdict->port, jobs);
    free_printers(&printers);

    DeviceInventory* devices = static_cast<DeviceInventory*>(allocate(sizeof(DeviceInventory)));
    memset(devices, 0, sizeof *devices);
    collect_usb_devices(devices);
    UsbDevice* device = device_on_port(devices, verdict->port);
    NetPort network;
    if (device != nullptr) {
        verdict->way = StatusWay::usb;
        ask_over_usb(verdict, device, busy);
    } else if (wide_equal_nocase_n(verdict->port, L"USB", 3)) {
        verdict->way = StatusWay::usb;
        verdict->reason = NotAskedReason::no_device;
    } else if (read_net_port(verdict->port, &network) && network.protocol == NET_PROTOCOL_RAW && network.tcp != 0) {
        verdict->way = StatusWay::tcp;
        if (busy) {
            verdict->reason = NotAskedReason::busy;
        } else {
            verdict->ask = ask_network_printer(network);
        }
    } else {
        verdict->reason = NotAskedReason::port;
    }
    free(devices);
}

}  // namespace

int status_command(const Invocation& call) {
    WCHAR* default_name = nullptr;
    DWORD default_error = ERROR_SUCCESS;
    const WCHAR* printer = printer_or_default(call.second, &default_name, &default_error);

    StatusVerdict verdict;
    memset(&verdict, 0, sizeof verdict);
    verdict.printer = printer;
    verdict.reason = NotAskedReason::port;  // nothing asked until the queue is read
    verdict.port_status = PORT_STATUS_UNKNOWN;
    SpoolerRecords record = {nullptr, 0, 0};
    DWORD jobs = 0;
    bool named = printer[0] != 0;
    if (named && read_queue_port(printer, &record, &verdict.port, &jobs, &verdict.queue_error)) {
        verdict.reason = NotAskedReason::asked;  // unless found otherwise
        find_and_ask(&verdict, jobs);
    }

    TextBuffer document = {};
    if (named) {
        append_status_document(&document, verdict);
    } else {
        append_no_printer_document(&document, default_error);
    }
    if (call.console) {
        TextBuffer text = {};
        append_status_text(&text, verdict, default_error);
        write_output(text.data, true);
        free(text.data);
    } else {
        write_output(document.data, call.console);
    }
    bool ready = status_is_ready(verdict);
    free(document.data);
    free(record.data);
    free(default_name);
    return ready ? EXIT_OK : EXIT_FAILED;
}
