// Talking to a USB receipt printer: overlapped WriteFile and ReadFile on its
// path (ReadFile and WriteFile themselves are in console.cpp, which hands
// device handles here), CancelIoEx and GetOverlappedResult. The printer
// takes every write at once; a read waits for its answer on the virtual
// clock. A read still pending completes only inside a simulated call — one
// that looks at it or waits — never behind the program's back.
#include <algorithm>
#include <cstring>

#include "device_model.h"

namespace sim {

namespace {

// NTSTATUS values an OVERLAPPED's Internal holds, as Windows writes them there.
constexpr ULONG_PTR kStatusSuccess = 0;
constexpr ULONG_PTR kStatusCancelled = 0xC0000120;

ULONGLONG now_ms() {
    return computer().clock.elapsed_ms;
}

Conversation& conversation_of(const DeviceOpen& device) {
    return tables().conversations.at(device.iface);
}

void complete(OVERLAPPED* overlapped, ULONG_PTR status, DWORD count) {
    overlapped->Internal = status;
    overlapped->InternalHigh = count;
    set_event(overlapped->hEvent);
}

// The checks ReadFile and WriteFile make on a device; false with the last
// error set when the call cannot go on. Only overlapped I/O on a handle
// opened to read and write is modelled: a synchronous read of a printer that
// never answers would hang.
bool can_transfer(const DeviceOpen* device, const void* buffer, DWORD count, LPOVERLAPPED overlapped) {
    if (device == nullptr) return fail(ERROR_INVALID_HANDLE);
    if (!device->read_write) return fail(ERROR_ACCESS_DENIED);
    if (!device->overlapped || overlapped == nullptr) return fail(ERROR_INVALID_PARAMETER);
    if (buffer == nullptr && count > 0) return fail(ERROR_INVALID_USER_BUFFER);
    // The system resets the event when an operation starts.
    reset_event(overlapped->hEvent);
    return true;
}

// When a read completes by itself; unset: never.
std::optional<ULONGLONG> completes_at(const DeviceOpen& device, const PendingRead& read) {
    if (read.cancelled_at) return read.cancelled_at;
    // Bytes go to the first read that is not cancelled.
    for (const PendingRead& first : device.reads) {
        if (!first.cancelled_at) {
            if (&first != &read) return std::nullopt;
            break;
        }
    }
    return conversation_of(device).next_arrival();
}

}  // namespace

DeviceOpen* device_of(HANDLE handle) {
    auto found = tables().handles.find(reinterpret_cast<uintptr_t>(handle));
    if (!is_open(handle, ResourceKind::device_handle) || found == tables().handles.end()) return nullptr;
    return &found->second;
}

BOOL device_write(HANDLE handle, LPCVOID bytes, DWORD count, LPOVERLAPPED overlapped) {
    DeviceOpen* device = device_of(handle);
    if (!can_transfer(device, bytes, count, overlapped)) return FALSE;
    Conversation& talk = conversation_of(*device);
    if (talk.rules().write_error != 0) return fail(talk.rules().write_error);
    std::string taken(static_cast<const char*>(bytes), count);
    computer().sent.push_back({utf16_to_utf8(*devices().usb.interfaces[device->iface].path), taken});
    talk.take(taken, now_ms());
    // The printer takes it at once; the call still answers as the USB printer
    // class does, through the OVERLAPPED, so the program must ask for the result.
    complete(overlapped, kStatusSuccess, count);
    return fail(ERROR_IO_PENDING);
}

BOOL device_read(HANDLE handle, LPVOID buffer, DWORD room, LPDWORD got, LPOVERLAPPED overlapped) {
    DeviceOpen* device = device_of(handle);
    if (!can_transfer(device, buffer, room, overlapped)) return FALSE;
    Conversation& talk = conversation_of(*device);
    if (talk.rules().read_error != 0) return fail(talk.rules().read_error);
    settle_device_io(false);
    if (device->reads.empty() && (room == 0 || talk.has_arrived(now_ms()))) {
        std::string bytes = talk.read(room, now_ms());
        std::memcpy(buffer, bytes.data(), bytes.size());
        complete(overlapped, kStatusSuccess, static_cast<DWORD>(bytes.size()));
        if (got != nullptr) *got = static_cast<DWORD>(bytes.size());
        return TRUE;
    }
    overlapped->Internal = STATUS_PENDING;
    overlapped->InternalHigh = 0;
    device->reads.push_back({overlapped, static_cast<char*>(buffer), room, std::nullopt});
    return fail(ERROR_IO_PENDING);
}

void settle_device_io(bool waited) {
    for (auto& [value, device] : tables().handles) {
        for (auto read = device.reads.begin(); read != device.reads.end();) {
            std::optional<ULONGLONG> at = completes_at(device, *read);
            if (read->cancelled_at && (waited || *at < now_ms())) {
                complete(read->overlapped, kStatusCancelled, 0);
            } else if (!read->cancelled_at && at && *at <= now_ms()) {
                std::string bytes = conversation_of(device).read(read->room, now_ms());
                std::memcpy(read->buffer, bytes.data(), bytes.size());
                complete(read->overlapped, kStatusSuccess, static_cast<DWORD>(bytes.size()));
            } else {
                ++read;
                continue;
            }
            read = device.reads.erase(read);
        }
    }
}

std::optional<ULONGLONG> event_ready_at(HANDLE event) {
    if (event_of(event) == nullptr) return std::nullopt;
    if (event_of(event)->signalled) return now_ms();
    std::optional<ULONGLONG> first;
    for (const auto& [value, device] : tables().handles) {
        for (const PendingRead& read : device.reads) {
            if (read.overlapped->hEvent != event) continue;
            // A wait completes a cancelled read at once.
            std::optional<ULONGLONG> at = read.cancelled_at ? now_ms() : completes_at(device, read);
            if (at && (!first || std::max(*at, now_ms()) < *first)) first = std::max(*at, now_ms());
        }
    }
    return first;
}

void drop_device_reads(HANDLE handle) {
    if (DeviceOpen* device = device_of(handle)) device->reads.clear();
}

void drop_all_device_reads() {
    if (!computer().devices.tables) return;
    for (auto& [value, device] : tables().handles) device.reads.clear();
}

}  // namespace sim

using namespace sim;

extern "C" {

BOOL WINAPI CancelIoEx(HANDLE hFile, LPOVERLAPPED lpOverlapped) {
    if (call_fails("CancelIoEx")) return FALSE;
    DeviceOpen* device = device_of(hFile);
    if (device == nullptr) return fail(ERROR_INVALID_HANDLE);
    settle_device_io(false);  // what completed meanwhile can no longer be cancelled
    bool found = false;
    for (PendingRead& read : device->reads) {
        if (read.cancelled_at || (lpOverlapped != nullptr && read.overlapped != lpOverlapped)) continue;
        // As on Windows the cancel completes the read later, with 995: the
        // program waits for it before its record and buffer are free.
        read.cancelled_at = now_ms();
        found = true;
    }
    return found ? TRUE : fail(ERROR_NOT_FOUND);
}

BOOL WINAPI GetOverlappedResult(HANDLE hFile, LPOVERLAPPED lpOverlapped, LPDWORD lpNumberOfBytesTransferred,
                                BOOL bWait) {
    if (call_fails("GetOverlappedResult")) return FALSE;
    DeviceOpen* device = device_of(hFile);
    if (device == nullptr) return fail(ERROR_INVALID_HANDLE);
    if (lpOverlapped == nullptr || lpNumberOfBytesTransferred == nullptr) return fail(ERROR_INVALID_PARAMETER);
    settle_device_io(false);
    for (const PendingRead& read : device->reads) {
        if (read.overlapped != lpOverlapped) continue;
        if (!bWait) return fail(ERROR_IO_INCOMPLETE);
        std::optional<ULONGLONG> at = completes_at(*device, read);
        // Windows would wait for ever; failing instead ends the test.
        if (!at) return fail(ERROR_INVALID_PARAMETER);
        computer().clock.elapsed_ms = std::max(now_ms(), *at);
        settle_device_io(true);
        break;
    }
    // The result is what the record holds, as on Windows.
    *lpNumberOfBytesTransferred = static_cast<DWORD>(lpOverlapped->InternalHigh);
    if (lpOverlapped->Internal == kStatusCancelled) return fail(ERROR_OPERATION_ABORTED);
    if (lpOverlapped->Internal != kStatusSuccess) return fail(ERROR_IO_INCOMPLETE);
    return TRUE;
}

}  // extern "C"
