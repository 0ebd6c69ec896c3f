// The protocols the program's readers, clean-up paths and device code lean on,
// probed call by call on the computer of scenarios/contracts.json: each sizing
// call without a buffer, then with one unit less than the size it reported,
// the exact size and one unit more; each clean-up call made to fail, made, and
// made again; the device manager's checks of records, lists and devices.
#include <cfgmgr32.h>
#include <setupapi.h>
#include <usbprint.h>
#include <winspool.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "sim/transcript.h"

namespace {

using namespace transcript;

const GUID kUsbPrint = {0x28d78fad, 0x5a12, 0x11d1, {0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2}};
const DWORD kCreateNew = 1;
const size_t kRoom = 1024;

// A sizing call with a buffer `b` (or none) of `n` units, reporting the size it needs in *s.
using Sizing = std::function<long long(BYTE* b, DWORD n, DWORD* s)>;

// One call: what it returned, the last error, the size reported, how much of the buffer it changed.
std::string probe(const Sizing& call, bool with_buffer, DWORD room, DWORD* size) {
    std::vector<BYTE> buffer(kRoom, 0xCC);
    *reinterpret_cast<DWORD*>(buffer.data()) = sizeof(void*) == 8 ? 8 : 6;  // cbSize of a detail record
    const std::vector<BYTE> before = buffer;
    DWORD reported = kMarker;
    SetLastError(kMarker);
    long long result = call(with_buffer ? buffer.data() : nullptr, room, &reported);
    std::string line = (with_buffer ? "  room " : "  no buffer, room ") + std::to_string(room) + ": " + outcome(result);
    size_t wrote = kRoom;
    while (wrote > 0 && buffer[wrote - 1] == before[wrote - 1]) --wrote;
    *size = reported != kMarker ? reported : static_cast<DWORD>(result);
    return line + (reported != kMarker ? ", size " + std::to_string(reported) : "") + ", wrote " +
           std::to_string(wrote) + " bytes\n";
}

// The sizing call, then the rooms around the size it needs (reported, or else returned).
std::string sizing(const char* text, const Sizing& call) {
    DWORD size = 0, seen = 0;
    std::string out = std::string(text) + "\n" + probe(call, false, 0, &size);
    for (DWORD room : {size - 1, size, size + 1}) out += size > 0 ? probe(call, true, room, &seen) : "";
    return out;
}
#define SIZING(call)                                                                                           \
    text += sizing(#call, [&]([[maybe_unused]] BYTE* b, [[maybe_unused]] DWORD n, [[maybe_unused]] DWORD* s) { \
        return (long long)(call);                                                                              \
    })

// " [name] [name]" or " nothing".
std::string names(const std::vector<std::string>& list) {
    std::string text;
    for (const std::string& name : list) text += " [" + name + "]";
    return text.empty() ? " nothing" : text;
}

// The call made to fail, made, and made again: what it returned, the last error, what left the audit.
std::string clean_up(const std::string& text, const std::function<long long()>& call) {
    const std::string function = text.substr(0, text.find('('));
    std::string out = text + ", open:" + names(sim::leaks()) + "\n";
    for (const std::string label : {"made to fail", "made", "made again"}) {
        if (label == "made to fail")
            sim::computer().faults = {{function, sim::computer().call_counts[function] + 1, 5}};
        const std::vector<std::string> before = sim::leaks();
        SetLastError(kMarker);
        out += "  " + label + ": " + outcome(call()) + ", released";
        sim::computer().faults.clear();
        std::vector<std::string> after = sim::leaks(), released;
        std::set_difference(before.begin(), before.end(), after.begin(), after.end(), std::back_inserter(released));
        out += names(released) + "\n";
    }
    return out;
}
#define CLEAN_UP(call) text += clean_up(#call, [&] { return (long long)(call); })

using Contracts = SimTest;

TEST_F(Contracts, SizingCalls) {
    load("contracts");
    HANDLE xp = nullptr, refusing = nullptr, empty = nullptr;  // refusing: every query fails
    OpenPrinterW(const_cast<LPWSTR>(L"XP-58"), &xp, nullptr);
    OpenPrinterW(const_cast<LPWSTR>(L"Кухня"), &refusing, nullptr);
    OpenPrinterW(const_cast<LPWSTR>(L"Бар"), &empty, nullptr);
    HDEVINFO list = SetupDiGetClassDevsW(&kUsbPrint, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    SP_DEVICE_INTERFACE_DATA iface[2] = {{sizeof iface[0], {}, 0, 0}, {sizeof iface[1], {}, 0, 0}};
    SP_DEVINFO_DATA device[2] = {{sizeof device[0], {}, 0, 0}, {sizeof device[1], {}, 0, 0}};
    DEVINST child[2] = {};
    for (DWORD i = 0; i < 2; ++i) {
        SetupDiEnumDeviceInterfaces(list, nullptr, &kUsbPrint, i, &iface[i]);
        SetupDiEnumDeviceInfo(list, i, &device[i]);
        CM_Get_Child(&child[i], device[i].DevInst, 0);
    }
    HKEY key = SetupDiOpenDeviceInterfaceRegKey(list, iface, 0, KEY_READ);
    DWORD count = 0;
    std::string text;
    auto wide = [](BYTE* buffer) { return reinterpret_cast<LPWSTR>(buffer); };
    auto detail = [](BYTE* buffer) { return reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(buffer); };
    auto in_out = [](DWORD* size, DWORD room) { return &(*size = room); };  // a size handed in and out
    SIZING(GetDefaultPrinterW(wide(b), in_out(s, n)));
    SIZING(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, b, n, s, &count));
    SIZING(EnumPrintersW(PRINTER_ENUM_CONNECTIONS, nullptr, 4, b, n, s, &count));
    SIZING(EnumJobsW(xp, 0, 20, 1, b, n, s, &count));
    SIZING(GetPrinterW(xp, 2, b, n, s));
    SIZING(GetJobW(xp, 15, 1, b, n, s));
    SIZING(SetupDiGetDeviceInterfaceDetailW(list, iface, detail(b), n, s, nullptr));
    SIZING(SetupDiGetDeviceRegistryPropertyW(list, device, SPDRP_HARDWAREID, nullptr, b, n, s));
    SIZING(CM_Get_DevNode_Registry_PropertyW(child[0], CM_DRP_COMPATIBLEIDS, nullptr, b, in_out(s, n), 0));
    SIZING(RegQueryValueExW(key, L"Base Name", nullptr, nullptr, b, in_out(s, n)));
    SIZING(RegQueryValueExW(key, L"Port Number", nullptr, nullptr, b, in_out(s, n)));
    SIZING(MultiByteToWideChar(CP_UTF8, 0, "Касса", -1, wide(b), n));
    SIZING(WideCharToMultiByte(CP_UTF8, 0, L"Касса", -1, reinterpret_cast<LPSTR>(b), n, nullptr, nullptr));
    // Nothing to give.
    SIZING(EnumJobsW(empty, 0, 20, 1, b, n, s, &count));
    SIZING(GetJobW(xp, 13, 1, b, n, s));
    SIZING(EnumJobsW(refusing, 0, 20, 1, b, n, s, &count));
    SIZING(GetPrinterW(refusing, 2, b, n, s));
    SIZING(GetJobW(refusing, 3, 1, b, n, s));
    SIZING(SetupDiGetDeviceInterfaceDetailW(list, iface + 1, detail(b), n, s, nullptr));
    SIZING(SetupDiGetDeviceRegistryPropertyW(list, device + 1, SPDRP_HARDWAREID, nullptr, b, n, s));
    SIZING(CM_Get_DevNode_Registry_PropertyW(child[1], CM_DRP_COMPATIBLEIDS, nullptr, b, in_out(s, n), 0));
    SIZING(RegQueryValueExW(key, L"Port Name", nullptr, nullptr, b, in_out(s, n)));
    SIZING(MultiByteToWideChar(CP_UTF8, 0, "x", 0, wide(b), n));
    sim::Spooler& spooler = sim::computer().spooler;
    SIZING((spooler.connections.clear(), EnumPrintersW(PRINTER_ENUM_CONNECTIONS, nullptr, 4, b, n, s, &count)));
    SIZING((spooler.enum_local_error = 1722, EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, b, n, s, &count)));
    SIZING((spooler.default_printer.reset(), GetDefaultPrinterW(wide(b), in_out(s, n))));
    expect_golden(text);
    RegCloseKey(key);
    SetupDiDestroyDeviceInfoList(list);
    for (HANDLE printer : {xp, refusing, empty}) ClosePrinter(printer);
}

TEST_F(Contracts, CleanUpCalls) {
    allow_leaks();  // what the clean-ups leave open ends the golden text
    load("contracts");
    EXPECT_EQ(sim::computer().clean_up_error, static_cast<DWORD>(ERROR_SUCCESS));  // as on Windows
    sim::computer().clean_up_error = kCleanUpMarker;
    HANDLE printer = nullptr;
    DOC_INFO_1W raw = {const_cast<LPWSTR>(L"receipt"), nullptr, const_cast<LPWSTR>(L"RAW")};
    auto start_raw = [&] {
        return OpenPrinterW(const_cast<LPWSTR>(L"XP-58"), &printer, nullptr) &&
               StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&raw)) && StartPagePrinter(printer);
    };
    std::string text;
    start_raw();
    CLEAN_UP(EndPagePrinter(printer));
    CLEAN_UP(EndDocPrinter(printer));
    CLEAN_UP(ClosePrinter(printer));
    HDC dc = CreateDCW(L"WINSPOOL", L"XP-58", nullptr, nullptr);
    HGDIOBJ font = CreateFontW(-39, 0, 0, 0, FW_BOLD, 0, 0, 0, 0, 0, 0, 0, 0, L"Arial");
    HGDIOBJ stock = SelectObject(dc, font);
    DOCINFOW doc = {sizeof(DOCINFOW), L"page", nullptr, nullptr, 0};
    auto start_page = [&] { return StartDocW(dc, &doc) > 0 && StartPage(dc) > 0; };
    start_page();
    CLEAN_UP(EndPage(dc));
    CLEAN_UP(EndDoc(dc));
    start_page();
    CLEAN_UP(EndDoc(dc));
    start_page();
    CLEAN_UP(AbortDoc(dc));
    CLEAN_UP(DeleteObject(font));
    SelectObject(dc, stock);
    CLEAN_UP(DeleteObject(font));
    CLEAN_UP(DeleteObject(stock));
    start_page();
    CLEAN_UP(DeleteDC(dc));
    HDEVINFO list = SetupDiGetClassDevsW(&kUsbPrint, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    SP_DEVICE_INTERFACE_DATA iface = {sizeof iface, {}, 0, 0};
    SetupDiEnumDeviceInterfaces(list, nullptr, &kUsbPrint, 0, &iface);
    HKEY key = SetupDiOpenDeviceInterfaceRegKey(list, &iface, 0, KEY_READ);
    HANDLE usb = CreateFileW(L"\\\\?\\usb#vid_0416&pid_5011#1", GENERIC_READ, 3, nullptr, OPEN_EXISTING, 0, nullptr);
    CLEAN_UP(CloseHandle(usb));
    CLEAN_UP(CloseHandle(list));
    CLEAN_UP(CloseHandle(key));
    CLEAN_UP(RegCloseKey(key));
    CLEAN_UP(SetupDiDestroyDeviceInfoList(list));
    WCHAR* message = nullptr;  // a system text is local memory until LocalFree, which no fault reaches
    FormatMessageW(0x1300, nullptr, 5, 0, reinterpret_cast<LPWSTR>(&message), 0, nullptr);
    CLEAN_UP(LocalFree(message) == nullptr);
    start_raw();
    CLEAN_UP(ClosePrinter(printer));
    expect_golden(text + "left open:" + names(sim::leaks()) + "\n");
}

// Records handed in are checked as Windows checks them; lists end as on Windows; a device answers
// only the request it knows, opened only as it can be.
TEST_F(Contracts, DeviceRecordsAndRequests) {
    load("contracts");
    HDEVINFO list = SetupDiGetClassDevsW(&kUsbPrint, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    SP_DEVICE_INTERFACE_DATA iface = {sizeof iface, {}, 0, 0}, second = iface, unlisted = iface, short_iface = iface;
    SP_DEVINFO_DATA device = {sizeof device, {}, 0, 0}, named = device, short_device = device, long_device = device;
    short_iface.cbSize -= 1;
    short_device.cbSize -= 4;
    long_device.cbSize += 1;
    BYTE room[512];
    auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(room);
    std::string text;
    STEP(SetupDiEnumDeviceInterfaces(list, nullptr, &kUsbPrint, 0, &short_iface));
    STEP(SetupDiEnumDeviceInterfaces(list, nullptr, &kUsbPrint, 0, &iface));
    STEP(SetupDiEnumDeviceInterfaces(list, nullptr, &kUsbPrint, 1, &second));
    STEP(SetupDiEnumDeviceInterfaces(list, nullptr, &kUsbPrint, 2, &unlisted));
    STEP(SetupDiEnumDeviceInfo(list, 0, &short_device));
    STEP(SetupDiEnumDeviceInfo(list, 0, &device));
    STEP(SetupDiEnumDeviceInfo(list, 2, &named));
    // The detail record's cbSize is its fixed part as Windows packs it: 8 on 64-bit, 6 on 32-bit.
    for (DWORD size : {0u, 4u, 6u, 8u, static_cast<DWORD>(sizeof room)}) {
        text += "cbSize " + std::to_string(detail->cbSize = size) + ": ";
        STEP(SetupDiGetDeviceInterfaceDetailW(list, &iface, detail, sizeof room, nullptr, nullptr));
    }
    STEP(SetupDiGetDeviceInterfaceDetailW(list, &iface, nullptr, 10, nullptr, nullptr));
    STEP(SetupDiGetDeviceInterfaceDetailW(list, &iface, nullptr, 0, nullptr, &long_device));
    STEP(SetupDiGetDeviceInterfaceDetailW(list, &iface, nullptr, 0, nullptr, &named));
    STEP(named.DevInst == device.DevInst);  // the sizing call names the device already
    STEP(SetupDiGetDeviceRegistryPropertyW(list, &short_device, SPDRP_HARDWAREID, nullptr, room, 512, nullptr));
    STEP(SetupDiOpenDeviceInterfaceRegKey(list, &unlisted, 0, KEY_READ));
    STEP(SetupDiOpenDeviceInterfaceRegKey(list, &second, 0, KEY_READ));
    STEP(SetupDiGetClassDevsW(nullptr, L"NOSUCHENUM", nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES));
    STEP(SetupDiGetClassDevsW(nullptr, L"LPTENUM", nullptr, DIGCF_PRESENT));
    DEVINST child = 0;
    WCHAR id[32];
    STEP(CM_Get_Child(&child, device.DevInst, 0));
    STEP(CM_Get_Device_IDW(child, id, 18, 0));  // "USBPRINT\PRINTER\1": 18 characters
    STEP(CM_Get_Device_IDW(child, id, 19, 0));
    SetupDiDestroyDeviceInfoList(list);
    // A device ID longer than the buffer arrives cut, with success: the device sends no more than asked.
    const wchar_t* path = L"\\\\?\\usb#vid_0416&pid_5011#1";
    HANDLE usb = CreateFileW(path, GENERIC_READ, 3, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD got = 0;
    for (DWORD code : {IOCTL_USBPRINT_GET_1284_ID, IOCTL_USBPRINT_GET_1284_ID - 4}) {
        for (DWORD size : {64u, 5u, 0u}) {
            text += "room " + std::to_string(size) + ": ";
            STEP(DeviceIoControl(usb, code, nullptr, 0, room, size, &got, nullptr));
            text += got > 0 ? "  " + hex(std::string(room, room + got)) + "\n" : "";
        }
    }
    CloseHandle(usb);
    STEP(DeviceIoControl(usb, IOCTL_USBPRINT_GET_1284_ID, nullptr, 0, room, 64, &got, nullptr));
    STEP(CreateFileW(path, GENERIC_WRITE, 3, nullptr, OPEN_EXISTING, 0, nullptr));
    STEP(CreateFileW(path, 0, 3, nullptr, kCreateNew, 0, nullptr));
    STEP(CreateFileW(L"\\\\?\\usb#nobody", 0, 3, nullptr, OPEN_EXISTING, 0, nullptr));
    expect_golden(text);
}

}  // namespace
