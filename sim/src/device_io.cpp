// Device I/O on USB printing devices: CreateFileW opens an interface path,
// DeviceIoControl asks it for its 1284 device ID or its status byte.
#include <usbprint.h>

#include <cstring>

#include "device_model.h"

using namespace sim;

namespace {

// What the 1284 request answers on a handle opened with this access; unset:
// such an open fails. A device without "device_id" opens for any of them and
// knows no such request; a handle that writes asks as one that reads.
std::optional<DeviceAnswer> device_id_on(const UsbInterface& iface, DWORD access) {
    const DeviceAnswer unknown{"", ERROR_INVALID_FUNCTION};
    if (!iface.device_id) return unknown;
    if (access == 0) return iface.device_id->access_0;
    if (access == GENERIC_READ) return iface.device_id->generic_read;
    return iface.device_id->generic_read.value_or(unknown);
}

}  // namespace

extern "C" {

HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD, LPSECURITY_ATTRIBUTES,
                          DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes, HANDLE) {
    if (call_fails("CreateFileW")) return INVALID_HANDLE_VALUE;
    if (lpFileName == nullptr) return fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    // The only files of this computer are its USB printing devices.
    std::u16string name = text_of(lpFileName);
    size_t index = 0;
    const std::vector<UsbInterface>& interfaces = devices().usb.interfaces;
    while (index < interfaces.size() &&
           !(interfaces[index].path && equal_ascii_nocase(*interfaces[index].path, name))) {
        ++index;
    }
    if (index == interfaces.size()) return fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    const UsbInterface& iface = interfaces[index];
    if (dwCreationDisposition != OPEN_EXISTING) return fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    const bool read_write = dwDesiredAccess == (GENERIC_READ | GENERIC_WRITE);
    if (dwDesiredAccess != 0 && dwDesiredAccess != GENERIC_READ && !read_write) {
        return fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
    }
    if (read_write && iface.escpos.open_error != 0) return fail(iface.escpos.open_error, INVALID_HANDLE_VALUE);
    std::optional<DeviceAnswer> device_id = device_id_on(iface, dwDesiredAccess);
    if (!device_id) return fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
    uintptr_t value = new_handle();
    DeviceOpen& open = tables().handles[value];
    open.iface = index;
    open.device_id = *device_id;
    open.read_write = read_write;
    open.overlapped = (dwFlagsAndAttributes & FILE_FLAG_OVERLAPPED) != 0;
    // The printer keeps its side of the bytes from its first open for
    // writing: what one handle left unread waits for the next.
    if (read_write) tables().conversations.try_emplace(index, iface.escpos, computer().clock.elapsed_ms);
    // Audited under the handle itself, so that CloseHandle closes it.
    track(reinterpret_cast<HANDLE>(value), ResourceKind::device_handle, utf16_to_utf8(name));
    return reinterpret_cast<HANDLE>(value);
}

BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID, DWORD, LPVOID lpOutBuffer,
                            DWORD nOutBufferSize, LPDWORD lpBytesReturned, LPOVERLAPPED lpOverlapped) {
    if (lpBytesReturned != nullptr) *lpBytesReturned = 0;
    if (call_fails("DeviceIoControl")) return FALSE;
    const DeviceOpen* device = device_of(hDevice);
    if (device == nullptr) return fail(ERROR_INVALID_HANDLE);
    if (lpBytesReturned == nullptr && lpOverlapped == nullptr) return fail(ERROR_INVALID_PARAMETER);
    const UsbInterface& iface = devices().usb.interfaces[device->iface];
    DeviceAnswer answer;
    if (dwIoControlCode == IOCTL_USBPRINT_GET_1284_ID) {
        answer = device->device_id;
    } else if (dwIoControlCode == IOCTL_USBPRINT_GET_LPT_STATUS) {
        answer = iface.lpt_status.value_or(DeviceAnswer{"", ERROR_INVALID_FUNCTION});
    } else {
        return fail(ERROR_INVALID_FUNCTION);
    }
    if (answer.ioctl_error != 0) return fail(answer.ioctl_error);
    if (lpOutBuffer == nullptr || nOutBufferSize == 0) return fail(ERROR_INSUFFICIENT_BUFFER);
    // The driver asks the device for as many bytes as the buffer holds; a
    // longer ID arrives cut, its length bytes still telling the whole length.
    DWORD count = answer.bytes.size() < nOutBufferSize ? static_cast<DWORD>(answer.bytes.size()) : nOutBufferSize;
    std::memcpy(lpOutBuffer, answer.bytes.data(), count);
    if (lpBytesReturned != nullptr) *lpBytesReturned = count;
    return TRUE;
}

}  // extern "C"
