// The Standard TCP/IP port monitor's keys: RegOpenKeyExW opens
// HKLM\SYSTEM\CurrentControlSet\Control\Print\Monitors\Standard TCP/IP Port\Ports\<port>
// for the ports the scenario lists; RegQueryValueExW and RegCloseKey
// (device_registry.cpp) serve them as every other key.
#include "device_model.h"

using namespace sim;

namespace {

const char16_t kPorts[] = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP Port\\Ports\\";

}  // namespace

extern "C" {

LONG WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult) {
    if (DWORD error = injected_failure("RegOpenKeyExW", ERROR_GEN_FAILURE)) return static_cast<LONG>(error);
    if (phkResult == nullptr || ulOptions != 0) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    // The till runs as an ordinary user, to whom these keys are read-only.
    if ((samDesired & ~static_cast<REGSAM>(KEY_READ | KEY_WOW64_64KEY | KEY_WOW64_32KEY)) != 0) {
        return ERROR_ACCESS_DENIED;
    }
    const std::u16string path = text_of(lpSubKey), prefix = kPorts;
    if (hKey != HKEY_LOCAL_MACHINE || !starts_with_ascii_nocase(path, prefix)) return ERROR_FILE_NOT_FOUND;
    const std::u16string port = path.substr(prefix.size());
    for (const auto& [name, key] : computer().tcp_ports) {
        if (!equal_ascii_nocase(name, port)) continue;
        if (key.open_error != 0) return static_cast<LONG>(key.open_error);
        *phkResult = new_key("Standard TCP/IP Port\\Ports\\" + utf16_to_utf8(name), key.values);
        return ERROR_SUCCESS;
    }
    return ERROR_FILE_NOT_FOUND;
}

}  // extern "C"
