// Receipt printers that answer, call by call on scenarios/escpos.json: the
// status byte of the USB printer class.
#include <usbprint.h>

#include <string>

#include "sim/transcript.h"

namespace {

using namespace transcript;

using Escpos = SimTest;

// The status byte on a handle opened without access, else to read; the 1284 ID beside it.
TEST_F(Escpos, UsbStatusByteBesideTheDeviceId) {
    load("escpos");
    std::string text;
    BYTE status = 0;
    DWORD got = 0;
    for (const wchar_t* path :
         {L"\\\\?\\usb#answers", L"\\\\?\\usb#paper_out", L"\\\\?\\usb#busy", L"\\\\?\\usb#silent"}) {
        text += u8(path) + "\n";
        HANDLE h = INVALID_HANDLE_VALUE;
        for (DWORD access : {0ul, GENERIC_READ}) {
            if (h == INVALID_HANDLE_VALUE) STEP(h = CreateFileW(path, access, 3, nullptr, OPEN_EXISTING, 0, nullptr));
        }
        status = 0;
        STEP(DeviceIoControl(h, IOCTL_USBPRINT_GET_LPT_STATUS, nullptr, 0, &status, 1, &got, nullptr));
        text +=
            "  status " + hex(std::string(1, static_cast<char>(status))) + ", returned " + std::to_string(got) + "\n";
        STEP(DeviceIoControl(h, IOCTL_USBPRINT_GET_1284_ID, nullptr, 0, &status, 1, &got, nullptr));
        CloseHandle(h);
    }
    expect_golden(text);
}

}  // namespace
