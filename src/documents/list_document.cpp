#include "documents/list_document.h"

#include <winspool.h>

#include "base/numbers.h"
#include "base/version.h"
#include "documents/device_section.h"
#include "documents/net_section.h"
#include "documents/status_keys.h"
#include "output/json.h"

namespace {

const int kListedJobs = 5;

void append_job(TextBuffer* document, const JobEntry& job) {
    append_format(document, "{\"id\":%lu,\"age_sec\":%llu,\"status\":", static_cast<unsigned long>(job.id),
                  divide_small(job.age_ms, 1000));
    append_status_keys(document, job.status, job_status_keys);
    append_json_member(document, ",\"status_text\":", job.status_text);
    append_json_member(document, ",\"doc\":", job.doc);
    append(document, "}");
}

void append_printer(TextBuffer* document, const PrinterEntry& entry, const DeviceInventory& devices) {
    append_json_member(document, "{\"name\":", entry.name);
    append_json_member(document, ",\"port\":", entry.port);
    append_json_member(document, ",\"driver\":", entry.driver);
    append_format(document,
                  ",\"default\":%s,\"network\":%s,\"shared\":%s,\"virtual\":%s,\"work_offline\":%s,\"details\":%s",
                  json_boolean(entry.is_default), json_boolean(entry.attributes & PRINTER_ATTRIBUTE_NETWORK),
                  json_boolean(entry.attributes & PRINTER_ATTRIBUTE_SHARED), json_boolean(entry.is_virtual),
                  json_boolean(works_offline(entry.attributes)), json_boolean(entry.details));
    append_format(document, ",\"usb_present\":%s", json_presence(usb_port_presence(devices, entry.port)));
    append(document, ",\"status\":");
    append_status_keys(document, entry.status, printer_status_keys);
    append_format(document, ",\"jobs\":%lu", static_cast<unsigned long>(entry.jobs_in_queue));
    append_format(document, ",\"oldest_job_sec\":%llu", divide_small(oldest_job_age_ms(entry), 1000));
    append(document, ",\"job_list\":[");
    for (int i = 0; i < entry.jobs_read && i < kListedJobs; ++i) {
        if (i > 0) append(document, ",");
        append_job(document, entry.job_list[i]);
    }
    append(document, "]}");
}

}  // namespace

void append_list_document(TextBuffer* document, const Survey& survey) {
    const PrinterInventory& printers = survey.printers;
    append_json_member(document, "{\"ok\":true,\"v\":\"" MORVIK_VERSION_TEXT "\",\"default\":", printers.default_printer);
    append(document, ",");
    append_device_section(document, survey.devices);
    append(document, ",");
    append_net_section(document, survey.network);
    append_format(document, ",\"printers_ok\":%s", json_boolean(printers.printers_ok));
    if (!printers.printers_ok) {
        append_format(document, ",\"printers_win32\":%lu", static_cast<unsigned long>(printers.printers_error));
    }
    append(document, ",\"printers\":[");
    for (int i = 0; i < printers.printer_count; ++i) {
        if (i > 0) append(document, ",");
        append_printer(document, printers.printers[i], survey.devices);
    }
    append(document, "]");
    if (printers.printers_cut > 0) append_format(document, ",\"printers_cut\":%d", printers.printers_cut);
    append(document, "}\n");
}
