#include "devices/device_inventory.h"

namespace {

// The device ID texts are 8-bit; they go out through the ANSI code page like
// every other text the system hands over.
void append_device_text(TextBuffer* buffer, const char* text) {
    WCHAR wide[128];
    int units = MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 127);
    if (units <= 0) wide[0] = 0;
    wide[127] = 0;
    append_json_string(buffer, wide);
}

}  // namespace

void append_device_section(TextBuffer* buffer) {
    append(buffer, device_inventory.usb_ok ? "\"usb_ok\":true" : "\"usb_ok\":false");
    append(buffer, ",\"usb\":[");
    for (int i = 0; i < device_inventory.usb_count; ++i) {
        const UsbDevice& device = device_inventory.usb_devices[i];
        if (i > 0) append(buffer, ",");
        append(buffer, "{\"port\":");
        append_json_string(buffer, device.port);
        append(buffer, ",\"hwid\":");
        append_json_string(buffer, device.hwid);
        append(buffer, ",\"pnp\":");
        append_json_string(buffer, device.pnp);
        append_format(buffer, ",\"asked\":%d,\"mfg\":", device.asked);
        append_device_text(buffer, device.mfg);
        append(buffer, ",\"mdl\":");
        append_device_text(buffer, device.mdl);
        append(buffer, ",\"cmd\":");
        append_device_text(buffer, device.cmd);
        append(buffer, "}");
    }
    append(buffer, "],\"lpt\":[");
    for (int i = 0; i < device_inventory.lpt_count; ++i) {
        const ParallelPort& port = device_inventory.lpt_ports[i];
        if (i > 0) append(buffer, ",");
        append(buffer, "{\"port\":");
        append_json_string(buffer, port.port);
        append(buffer, ",\"pnp\":");
        append_json_string(buffer, port.pnp);
        append(buffer, "}");
    }
    append(buffer, "]");
}
