#include "app/list_command.h"

#include <stdlib.h>
#include <winspool.h>

#include "app/version.h"
#include "base/wide.h"
#include "devices/device_inventory.h"
#include "inventory/printer_inventory.h"
#include "inventory/status_words.h"
#include "output/output.h"
#include "output/text_buffer.h"

namespace {

const int kListedJobs = 5;

const char* boolean(bool value) {
    return value ? "true" : "false";
}

void append_job(TextBuffer* document, const JobEntry& job) {
    append_format(document, "{\"id\":%lu,\"age_sec\":%llu,\"status\":", static_cast<unsigned long>(job.id),
                  job.age_ms / 1000);
    append_status_keys(document, job.status, job_status_words);
    append(document, ",\"status_text\":");
    append_json_string(document, job.status_text);
    append(document, ",\"doc\":");
    append_json_string(document, job.doc);
    append(document, "}");
}

void append_printer(TextBuffer* document, const PrinterEntry& entry) {
    append(document, "{\"name\":");
    append_json_string(document, entry.name);
    append(document, ",\"port\":");
    append_json_string(document, entry.port);
    append(document, ",\"driver\":");
    append_json_string(document, entry.driver);
    append_format(document,
                  ",\"default\":%s,\"network\":%s,\"shared\":%s,\"virtual\":%s,\"work_offline\":%s,\"details\":%s",
                  boolean(entry.is_default), boolean(entry.attributes & PRINTER_ATTRIBUTE_NETWORK),
                  boolean(entry.attributes & PRINTER_ATTRIBUTE_SHARED), boolean(entry.is_virtual),
                  boolean(entry.attributes & PRINTER_ATTRIBUTE_WORK_OFFLINE), boolean(entry.details));
    int presence = usb_port_presence(entry.port);
    append_format(document, ",\"usb_present\":%s", presence > 0 ? "true" : presence == 0 ? "false" : "null");
    append(document, ",\"status\":");
    append_status_keys(document, entry.status, printer_status_words);
    append_format(document, ",\"jobs\":%lu", static_cast<unsigned long>(entry.jobs));
    append_format(document, ",\"oldest_job_sec\":%llu", oldest_job_age_ms(entry) / 1000);
    append(document, ",\"job_list\":[");
    for (int i = 0; i < entry.job_count && i < kListedJobs; ++i) {
        if (i > 0) append(document, ",");
        append_job(document, entry.job_list[i]);
    }
    append(document, "]}");
}

}  // namespace

int list_command(const WCHAR* argument) {
    bool with_ids = wide_equal_nocase(argument, L"ids");
    // The device ID query looks at the printers to decide whether it may open the devices.
    collect_usb_devices();
    collect_parallel_ports();
    collect_printers();
    if (with_ids) query_device_ids();

    TextBuffer document = {};
    append(&document, "{\"ok\":true,\"v\":\"" MORVIK_VERSION_TEXT "\",\"default\":");
    append_json_string(&document, printer_inventory.default_printer);
    append(&document, ",");
    append_device_section(&document);
    append(&document, ",\"printers\":[");
    for (int i = 0; i < printer_inventory.printer_count; ++i) {
        if (i > 0) append(&document, ",");
        append_printer(&document, printer_inventory.printers[i]);
    }
    append(&document, "]}\n");
    write_output(document.data);
    free(document.data);
    return 0;
}
