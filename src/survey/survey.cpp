#include "survey/survey.h"

#include <stdlib.h>

void survey_computer(bool ask_printers, Survey* survey) {
    collect_usb_devices(&survey->devices);
    collect_parallel_ports(&survey->devices);
    survey->printers = collect_printers();
    if (ask_printers) query_device_ids(&survey->devices, survey->printers);
    survey->network = new_net_ports();
    for (int i = 0; i < survey->printers.printer_count; ++i) {
        const PrinterEntry& entry = survey->printers.printers[i];
        if (entry.details) add_net_port(survey->network, entry.port);
    }
    // Only when asked: "list", which the till runs before every receipt, makes no connection.
    if (ask_printers && survey->network->count > 0) ask_net_ports(survey->network);
}

void free_survey(Survey* survey) {
    free_printers(&survey->printers);
    free(survey->network);
}
