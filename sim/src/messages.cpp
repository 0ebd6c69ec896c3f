// The system message table (FormatMessageW) and the local heap it allocates from.
#include <algorithm>
#include <new>
#include <cstring>

#include "computer.h"

namespace {

struct SystemText {
    DWORD code;
    const char* text;
};

// The English texts of a Windows system, each ending ".\r\n" as Windows stores them.
constexpr SystemText kSystemTexts[] = {
    {0, "The operation completed successfully.\r\n"},
    {1, "Incorrect function.\r\n"},
    {2, "The system cannot find the file specified.\r\n"},
    {3, "The system cannot find the path specified.\r\n"},
    {5, "Access is denied.\r\n"},
    {6, "The handle is invalid.\r\n"},
    {8, "Not enough memory resources are available to process this command.\r\n"},
    {13, "The data is invalid.\r\n"},
    {14, "Not enough memory resources are available to complete this operation.\r\n"},
    {21, "The device is not ready.\r\n"},
    {31, "A device attached to the system is not functioning.\r\n"},
    {38, "Reached the end of the file.\r\n"},
    {50, "The request is not supported.\r\n"},
    {87, "The parameter is incorrect.\r\n"},
    {109, "The pipe has been ended.\r\n"},
    {112, "There is not enough space on the disk.\r\n"},
    {122, "The data area passed to a system call is too small.\r\n"},
    {234, "More data is available.\r\n"},
    {259, "No more data is available.\r\n"},
    {1004, "Invalid flags.\r\n"},
    {1113, "No mapping for the Unicode character exists in the target multi-byte code page.\r\n"},
    {1167, "The device is not connected.\r\n"},
    {1168, "Element not found.\r\n"},
    {1460, "This operation returned because the timeout period expired.\r\n"},
    {1722, "The RPC server is unavailable.\r\n"},
    {1784, "The supplied user buffer is not valid for the requested operation.\r\n"},
    {1797, "The printer driver is unknown.\r\n"},
    {1801, "The printer name is invalid.\r\n"},
    {1804, "The specified datatype is invalid.\r\n"},
    // Windows Sockets.
    {10035, "A non-blocking socket operation could not be completed immediately.\r\n"},
    {10049, "The requested address is not valid in its context.\r\n"},
    {10051, "A socket operation was attempted to an unreachable network.\r\n"},
    {10060, "A connection attempt failed because the connected party did not properly respond after a period of "
            "time, or established connection failed because connected host has failed to respond.\r\n"},
    {10061, "No connection could be made because the target machine actively refused it.\r\n"},
    {10065, "A socket operation was attempted to an unreachable host.\r\n"},
    {10091, "WSAStartup cannot function at this time because the underlying system it uses to provide network "
            "services is currently unavailable.\r\n"},
    {10093, "Either the application has not called WSAStartup, or WSAStartup failed.\r\n"},
    {11001, "No such host is known.\r\n"},
    {11002, "This is usually a temporary error during hostname resolution and means that the local server did not "
            "receive a response from an authoritative server.\r\n"},
    {11003, "A non-recoverable error occurred during a database lookup.\r\n"},
    {11004, "The requested name is valid, but no data of the requested type was found.\r\n"},
};

bool find_text(DWORD code, std::u16string* text) {
    const sim::Computer& pc = sim::computer();
    if (std::find(pc.removed_messages.begin(), pc.removed_messages.end(), code) != pc.removed_messages.end()) {
        return false;
    }
    auto overridden = pc.messages.find(code);
    if (overridden != pc.messages.end()) {
        *text = overridden->second;
        return true;
    }
    for (const SystemText& entry : kSystemTexts) {
        if (entry.code == code) {
            *text = sim::utf8_to_utf16(entry.text);
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" {

HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes) {
    if (sim::call_fails("LocalAlloc")) return nullptr;
    // Not from malloc: the simulated allocation failures are the C runtime's.
    void* block = ::operator new(uBytes ? uBytes : 1, std::nothrow);
    if (block != nullptr && (uFlags & LMEM_ZEROINIT)) std::memset(block, 0, uBytes);
    if (block == nullptr) return sim::fail(ERROR_NOT_ENOUGH_MEMORY, nullptr);
    sim::track(block, sim::ResourceKind::local_memory, "");
    return block;
}

HLOCAL WINAPI LocalFree(HLOCAL hMem) {
    if (hMem == nullptr) return nullptr;
    if (!sim::is_open(hMem, sim::ResourceKind::local_memory)) return sim::fail(ERROR_INVALID_HANDLE, hMem);
    sim::untrack(hMem);
    ::operator delete(hMem);
    return nullptr;
}

DWORD WINAPI FormatMessageW(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD, LPWSTR lpBuffer,
                            DWORD nSize, va_list*) {
    if (sim::call_fails("FormatMessageW")) return 0;
    // Only system texts without inserts are simulated.
    if (!(dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) || !(dwFlags & FORMAT_MESSAGE_IGNORE_INSERTS) ||
        (dwFlags & FORMAT_MESSAGE_FROM_STRING) || lpSource != nullptr || lpBuffer == nullptr) {
        return sim::fail(ERROR_INVALID_PARAMETER);
    }
    std::u16string text;
    if (!find_text(dwMessageId, &text)) return sim::fail(317);  // ERROR_MR_MID_NOT_FOUND
    size_t units = text.size() + 1;
    if (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        void* block = LocalAlloc(LMEM_FIXED, units * sizeof(char16_t));
        if (block == nullptr) return 0;
        std::memcpy(block, text.c_str(), units * sizeof(char16_t));
        *reinterpret_cast<LPWSTR*>(lpBuffer) = static_cast<LPWSTR>(block);
    } else {
        if (nSize < units) return sim::fail(ERROR_INSUFFICIENT_BUFFER);
        std::memcpy(lpBuffer, text.c_str(), units * sizeof(char16_t));
    }
    return static_cast<DWORD>(text.size());
}

}  // extern "C"
