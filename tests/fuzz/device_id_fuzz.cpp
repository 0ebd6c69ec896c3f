// Fuzzes the parsing of a printer's IEEE 1284 device ID answer: it must never
// read out of bounds, and what it stores must be printable ASCII without a
// blank at either end, terminated within its field's room.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "devices/device_inventory.h"

namespace {

void check_field(const char* field, size_t room) {
    const void* end = memchr(field, 0, room);
    if (end == nullptr) abort();
    size_t length = static_cast<size_t>(static_cast<const char*>(end) - field);
    for (size_t i = 0; i < length; ++i) {
        if (field[i] < 0x20 || field[i] > 0x7E) abort();
    }
    if (length > 0 && (field[0] == ' ' || field[length - 1] == ' ')) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The request offers 1024 bytes; the answer is never longer.
    if (size > 1024) size = 1024;
    // An exact-size copy, so reading past the answer is caught.
    BYTE* answer = static_cast<BYTE*>(malloc(size > 0 ? size : 1));
    if (size > 0) memcpy(answer, data, size);
    UsbDevice device;
    memset(&device, 'X', sizeof device);  // stale bytes must not survive
    store_device_id_answer(answer, static_cast<DWORD>(size), &device);
    check_field(device.mfg, sizeof device.mfg);
    check_field(device.mdl, sizeof device.mdl);
    check_field(device.cmd, sizeof device.cmd);
    free(answer);
    return 0;
}
