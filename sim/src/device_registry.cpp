// The simulated registry's values and closing: RegQueryValueExW with its sizes
// and errors, RegCloseKey, on the keys the SetupDi* calls and RegOpenKeyExW
// (registry_ports.cpp) open. Both answer through their result; only a
// successful close, a clean-up call, changes the last error.
#include <cstring>

#include "device_model.h"

namespace sim {

RegValue reg_dword(DWORD number) {
    RegValue value{REG_DWORD, std::string(4, '\0')};
    for (int i = 0; i < 4; ++i) value.data[i] = static_cast<char>((number >> (8 * i)) & 0xFF);
    return value;
}

RegValue reg_sz(const std::u16string& text) {
    return RegValue{REG_SZ, std::string(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * 2)};
}

}  // namespace sim

using namespace sim;

extern "C" {

LONG WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                             LPDWORD lpcbData) {
    if (DWORD error = injected_failure("RegQueryValueExW", ERROR_GEN_FAILURE)) return static_cast<LONG>(error);
    auto key = tables().keys.find(reinterpret_cast<uintptr_t>(hKey));
    if (key == tables().keys.end()) return ERROR_INVALID_HANDLE;
    if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr)) return ERROR_INVALID_PARAMETER;
    std::u16string name = text_of(lpValueName);
    const RegValue* value = nullptr;
    for (const auto& [value_name, stored] : key->second.values) {
        if (equal_ascii_nocase(value_name, name)) value = &stored;
    }
    if (value == nullptr) return ERROR_FILE_NOT_FOUND;
    DWORD size = static_cast<DWORD>(value->data.size());
    if (lpType != nullptr) *lpType = value->type;
    if (lpData == nullptr) {
        if (lpcbData != nullptr) *lpcbData = size;
        return ERROR_SUCCESS;
    }
    if (*lpcbData < size) {
        // Windows leaves the buffer undefined; the start of the value, cut
        // without its NUL, shows up code that uses it anyway.
        std::memcpy(lpData, value->data.data(), *lpcbData);
        *lpcbData = size;
        return ERROR_MORE_DATA;
    }
    std::memcpy(lpData, value->data.data(), size);
    *lpcbData = size;
    return ERROR_SUCCESS;
}

LONG WINAPI RegCloseKey(HKEY hKey) {
    if (DWORD error = injected_failure("RegCloseKey", ERROR_GEN_FAILURE)) return static_cast<LONG>(error);
    auto key = tables().keys.find(reinterpret_cast<uintptr_t>(hKey));
    if (key == tables().keys.end()) return ERROR_INVALID_HANDLE;
    untrack(&key->second);
    tables().keys.erase(key);
    overwrite_last_error();
    return ERROR_SUCCESS;
}

}  // extern "C"
