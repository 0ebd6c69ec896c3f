// Device I/O on USB printing devices: CreateFileW opens an interface path,
// DeviceIoControl asks it for its 1284 device ID.
#include <usbprint.h>

#include <cstring>

#include "device_model.h"

using namespace sim;

extern "C" {

HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD, LPSECURITY_ATTRIBUTES,
                          DWORD dwCreationDisposition, DWORD, HANDLE) {
    if (call_fails("CreateFileW")) return INVALID_HANDLE_VALUE;
    if (lpFileName == nullptr) return fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    // The only files of this computer are its USB printing devices.
    std::u16string name = text_of(lpFileName);
    const UsbInterface* iface = nullptr;
    for (const UsbInterface& candidate : devices().usb.interfaces) {
        if (candidate.path && equal_ascii_nocase(*candidate.path, name)) {
            iface = &candidate;
            break;
        }
    }
    if (iface == nullptr) return fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    if (dwCreationDisposition != OPEN_EXISTING) return fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    const std::optional<DeviceAnswer>* answer = dwDesiredAccess == 0              ? &iface->device_id.access_0
                                                : dwDesiredAccess == GENERIC_READ ? &iface->device_id.generic_read
                                                                                  : nullptr;
    if (answer == nullptr || !answer->has_value()) return fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
    uintptr_t value = new_handle();
    tables().handles[value] = **answer;
    // Audited under the handle itself, so that CloseHandle closes it.
    track(reinterpret_cast<HANDLE>(value), ResourceKind::device_handle, utf16_to_utf8(name));
    return reinterpret_cast<HANDLE>(value);
}

BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID, DWORD, LPVOID lpOutBuffer,
                            DWORD nOutBufferSize, LPDWORD lpBytesReturned, LPOVERLAPPED lpOverlapped) {
    if (lpBytesReturned != nullptr) *lpBytesReturned = 0;
    if (call_fails("DeviceIoControl")) return FALSE;
    auto device = tables().handles.find(reinterpret_cast<uintptr_t>(hDevice));
    if (!is_open(hDevice, ResourceKind::device_handle) || device == tables().handles.end()) {
        return fail(ERROR_INVALID_HANDLE);
    }
    if (lpBytesReturned == nullptr && lpOverlapped == nullptr) return fail(ERROR_INVALID_PARAMETER);
    if (dwIoControlCode != IOCTL_USBPRINT_GET_1284_ID) return fail(ERROR_INVALID_FUNCTION);
    const DeviceAnswer& answer = device->second;
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
