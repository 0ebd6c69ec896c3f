// clang-format off
#include <windows.h>
#include <winioctl.h>
#include <usbprint.h>
// clang-format on
#include <stdlib.h>
#include <string.h>

#include "base/ascii.h"
#include "devices/device_inventory.h"
#include "inventory/printer_inventory.h"

namespace {

struct DeviceIdKey {
    const char* name;
    size_t field;  // 0 manufacturer, 1 model, 2 command set
};

const DeviceIdKey kKeys[] = {
    {"MFG", 0}, {"MANUFACTURER", 0}, {"MDL", 1}, {"MODEL", 1}, {"CMD", 2}, {"COMMAND SET", 2},
};

// While a real queue holds a job its printer may be busy printing it; asking
// the device then could disturb the job.
bool a_real_queue_is_busy(const PrinterInventory& printers) {
    for (int i = 0; i < printers.printer_count; ++i) {
        const PrinterEntry& entry = printers.printers[i];
        if (entry.details && !entry.is_virtual && entry.jobs_in_queue != 0) return true;
    }
    return false;
}

const char* skip_blanks(const char* text) {
    while (*text == ' ') ++text;
    return text;
}

void store_value(char* field, size_t room, const char* value) {
    size_t length = 0;
    while (value[length] != 0 && length < room - 1) {
        field[length] = value[length];
        ++length;
    }
    while (length > 0 && field[length - 1] == ' ') --length;
    field[length] = 0;
}

}  // namespace

void store_device_id_answer(const BYTE* answer, DWORD returned, UsbDevice* device) {
    char* fields[3] = {device->mfg, device->mdl, device->cmd};
    const size_t rooms[3] = {sizeof device->mfg, sizeof device->mdl, sizeof device->cmd};
    for (char* field : fields) field[0] = 0;
    if (returned < 2) return;

    // The answer starts with its own length, two bytes, most significant first.
    DWORD declared = (static_cast<DWORD>(answer[0]) << 8) | answer[1];
    DWORD end = declared > 2 && declared < returned ? declared : returned;

    // Only printable ASCII is kept: line breaks and high bytes vanish.
    char text[1024];
    size_t length = 0;
    for (DWORD i = 2; i < end && length < sizeof text - 1; ++i) {
        if (answer[i] >= 0x20 && answer[i] <= 0x7E) text[length++] = static_cast<char>(answer[i]);
    }
    text[length] = 0;

    for (char* piece = strtok(text, ";"); piece != nullptr; piece = strtok(nullptr, ";")) {
        char* colon = strchr(piece, ':');
        if (colon == nullptr) continue;
        *colon = 0;
        const char* key = skip_blanks(piece);
        const char* value = skip_blanks(colon + 1);
        for (const DeviceIdKey& known : kKeys) {
            if (!ascii_equal_nocase(key, known.name)) continue;
            // The first non-empty value of a key wins.
            if (fields[known.field][0] == 0) store_value(fields[known.field], rooms[known.field], value);
            break;
        }
    }
}

namespace {

// Asks a request of the USB printer class driver that sends the printer no
// data. Some drivers answer a handle without access rights, others want
// read access: both are tried. The answer counts when it holds at least
// `fewest` bytes; the count is returned, 0 when none counted.
DWORD ask_usb_class(const WCHAR* path, DWORD request, BYTE* answer, DWORD room, DWORD fewest) {
    if (path[0] == 0) return 0;
    const DWORD access_modes[] = {0, GENERIC_READ};
    for (DWORD access : access_modes) {
        HANDLE handle = CreateFileW(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (handle == INVALID_HANDLE_VALUE) continue;
        memset(answer, 0, room);
        DWORD returned = 0;
        BOOL answered = DeviceIoControl(handle, request, nullptr, 0, answer, room, &returned, nullptr);
        CloseHandle(handle);
        if (answered && returned >= fewest) return returned > room ? room : returned;
    }
    return 0;
}

}  // namespace

void read_device_id(UsbDevice* device) {
    BYTE answer[1024];
    // The answer starts with its length in two bytes: fewer is no answer.
    DWORD returned = ask_usb_class(device->path, IOCTL_USBPRINT_GET_1284_ID, answer, sizeof answer, 3);
    device->asked = returned > 0 ? DEVICE_ID_ANSWERED : DEVICE_ID_NO_ANSWER;
    if (returned > 0) store_device_id_answer(answer, returned, device);
}

void read_port_status(UsbDevice* device) {
    // A class request on the control pipe: nothing is sent to the printer.
    BYTE status = 0;
    bool answered = ask_usb_class(device->path, IOCTL_USBPRINT_GET_LPT_STATUS, &status, sizeof status, 1) > 0;
    device->port_status = answered ? static_cast<int>(status) : static_cast<int>(PORT_STATUS_UNKNOWN);
}

void query_device_ids(DeviceInventory* devices, const PrinterInventory& printers) {
    bool busy = a_real_queue_is_busy(printers);
    for (int i = 0; i < devices->usb_count; ++i) {
        if (busy) {
            devices->usb_devices[i].asked = DEVICE_ID_NO_ANSWER;
        } else {
            read_device_id(&devices->usb_devices[i]);
        }
        // It sends the printer nothing: asked even while a job prints.
        read_port_status(&devices->usb_devices[i]);
    }
}
