#include "devices/device_inventory.h"

#include "output/json.h"

namespace {

// The device ID texts are 8-bit; they go out through the ANSI code page like
// every other text the system hands over.
void append_device_text(TextBuffer* buffer, const char* lead, const char* text) {
    WCHAR wide[128];
    int units = MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 127);
    if (units <= 0) wide[0] = 0;
    wide[127] = 0;
    append_json_member(buffer, lead, wide);
}

}  // namespace

void append_device_section(TextBuffer* buffer) {
    append_format(buffer, "\"usb_ok\":%s", json_boolean(device_inventory.usb_ok));
    append(buffer, ",\"usb\":[");
    for (int i = 0; i < device_inventory.usb_count; ++i) {
        const UsbDevice& device = device_inventory.usb_devices[i];
        if (i > 0) append(buffer, ",");
        append_json_member(buffer, "{\"port\":", device.port);
        append_json_member(buffer, ",\"hwid\":", device.hwid);
        append_json_member(buffer, ",\"pnp\":", device.pnp);
        append_format(buffer, ",\"asked\":%d", device.asked);
        append_device_text(buffer, ",\"mfg\":", device.mfg);
        append_device_text(buffer, ",\"mdl\":", device.mdl);
        append_device_text(buffer, ",\"cmd\":", device.cmd);
        append(buffer, "}");
    }
    append(buffer, "],\"lpt\":[");
    for (int i = 0; i < device_inventory.lpt_count; ++i) {
        const ParallelPort& port = device_inventory.lpt_ports[i];
        if (i > 0) append(buffer, ",");
        append_json_member(buffer, "{\"port\":", port.port);
        append_json_member(buffer, ",\"pnp\":", port.pnp);
        append(buffer, "}");
    }
    append(buffer, "]");
}
