#include "documents/device_section.h"

#include "output/json.h"

namespace {

// The device ID texts are 8-bit; they go out through the ANSI code page like
// every other text the system hands over.
void append_device_text(TextBuffer* buffer, const char* lead, const char* text) {
    WCHAR wide[COMMAND_SET_ROOM + 1];  // room for the longest of the texts
    int units = MultiByteToWideChar(CP_ACP, 0, text, -1, wide, COMMAND_SET_ROOM);
    if (units <= 0) wide[0] = 0;
    wide[COMMAND_SET_ROOM] = 0;
    append_json_member(buffer, lead, wide);
}

}  // namespace

void append_port_status(TextBuffer* buffer, int port_status) {
    if (port_status == PORT_STATUS_UNKNOWN) {
        append(buffer, ",\"port_status\":null");
        return;
    }
    append_format(buffer, ",\"port_status\":{\"paper_empty\":%s,\"selected\":%s,\"error\":%s}",
                  json_boolean(port_status & PORT_STATUS_PAPER_EMPTY), json_boolean(port_status & PORT_STATUS_SELECTED),
                  json_boolean(!(port_status & PORT_STATUS_NO_ERROR)));
}

void append_device_section(TextBuffer* buffer, const DeviceInventory& devices) {
    append_format(buffer, "\"usb_ok\":%s", json_boolean(devices.usb_ok));
    append(buffer, ",\"usb\":[");
    for (int i = 0; i < devices.usb_count; ++i) {
        const UsbDevice& device = devices.usb_devices[i];
        if (i > 0) append(buffer, ",");
        append_json_member(buffer, "{\"port\":", device.port);
        append_json_member(buffer, ",\"hwid\":", device.hwid);
        append_json_member(buffer, ",\"pnp\":", device.pnp);
        append_format(buffer, ",\"asked\":%d", device.asked);
        append_device_text(buffer, ",\"mfg\":", device.mfg);
        append_device_text(buffer, ",\"mdl\":", device.mdl);
        append_device_text(buffer, ",\"cmd\":", device.cmd);
        append_port_status(buffer, device.port_status);
        append(buffer, "}");
    }
    append(buffer, "],\"lpt\":[");
    for (int i = 0; i < devices.lpt_count; ++i) {
        const ParallelPort& port = devices.lpt_ports[i];
        if (i > 0) append(buffer, ",");
        append_json_member(buffer, "{\"port\":", port.port);
        append_json_member(buffer, ",\"pnp\":", port.pnp);
        append(buffer, "}");
    }
    append(buffer, "]");
}
