// The simulated device manager keeps the contracts the program relies on:
// sizes, cbSize checks, errors, per-access answers and the audit.
#include <cfgmgr32.h>
#include <setupapi.h>
#include <usbprint.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "harness.h"

namespace {

using namespace std::string_literals;

const GUID kUsbPrint = {0x28d78fad, 0x5a12, 0x11d1, {0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2}};
const char kPath0[] = R"(\\?\usb#vid_0416&pid_5011#5&1a2b3c&0&1#{28d78fad-5a12-11d1-ae5b-0000f803a8c2})";
const DWORD kMarker = 0xdeadbeef;

// Three interfaces: a full one, one with nothing readable, one without a key;
// three parallel devices: on LPT1, without a parent, on a port without a name.
const char kScenario[] = R"({
  "usb": {"interfaces": [
    {"port_number": 1, "base_name": "ABCDEFGHIJKLMNO",
     "path": "\\\\?\\usb#vid_0416&pid_5011#5&1a2b3c&0&1#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}",
     "hardware_ids": ["USB\\VID_0416&PID_5011&REV_0200", "USB\\VID_0416&PID_5011"],
     "child": {"compatible_ids": ["USBPRINT\\Abc"], "hardware_ids": ["USBPRINT\\XP-58"]},
     "device_id": {"access_0": {"ioctl_error": 31}, "generic_read": {"hex": "000b4d46473a583b4d444c"}}},
    {"port_number": null, "path": null, "hardware_ids": null, "child": {}},
    {"no_key": true, "path": "\\\\?\\usb#second"}]},
  "lpt": {"devices": [
    {"compatible_ids": ["LPTENUM\\EPSONTM-T88"], "hardware_ids": ["LPTENUM\\X"], "parent": {"port_name": "LPT1"}},
    {"hardware_ids": ["LPTENUM\\Y"], "parent": null},
    {"parent": {"port_name": null}}]}
})";

std::string units(const void* data, size_t bytes) {
    return sim::utf16_to_utf8(std::u16string(static_cast<const char16_t*>(data), bytes / 2));
}

class DeviceContract : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        sim::load_scenario(kScenario);
    }

    static HDEVINFO usb_list() {
        return SetupDiGetClassDevsW(&kUsbPrint, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    }

    static SP_DEVICE_INTERFACE_DATA interface_at(HDEVINFO list, DWORD index) {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        EXPECT_TRUE(SetupDiEnumDeviceInterfaces(list, nullptr, &kUsbPrint, index, &data));
        return data;
    }

    static SP_DEVINFO_DATA device_at(HDEVINFO list, DWORD index) {
        SP_DEVINFO_DATA data{};
        data.cbSize = sizeof data;
        EXPECT_TRUE(SetupDiEnumDeviceInfo(list, index, &data));
        return data;
    }
};

TEST(DeviceScenario, LoadsTheDocumentedExampleAndDefaults) {
    sim::load_scenario(R"({
      "usb": {"list_error": 0, "interfaces": [{
        "port_number": 1, "port_number_type": "REG_DWORD", "base_name": null, "base_name_type": "REG_SZ", "no_key": false,
        "path": "\\\\?\\usb#vid_0416&pid_5011#5&1a2b3c&0&1#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}",
        "hardware_ids": ["USB\\VID_0416&PID_5011&REV_0200", "USB\\VID_0416&PID_5011"],
        "child": {"compatible_ids": ["USBPRINT\\XPrinterXP-58C5C2"], "hardware_ids": ["USBPRINT\\XPrinterXP-58"]},
        "device_id": {"access_0": {"hex": "002a4d46473a"}, "generic_read": null}}]},
      "lpt": {"list_error": 0, "devices": [
        {"compatible_ids": ["LPTENUM\\EPSONTM-T88"], "hardware_ids": ["LPTENUM\\EPSONTM-T88C2A1"],
         "parent": {"port_name": "LPT1", "port_name_type": "REG_SZ"}}]}})");
    const sim::Devices& d = sim::computer().devices;
    ASSERT_EQ(d.usb.interfaces.size(), 1u);
    const sim::UsbInterface& usb = d.usb.interfaces[0];
    ASSERT_TRUE(usb.port_number.has_value());
    EXPECT_EQ(usb.port_number->type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(usb.port_number->data, "\x01\0\0\0"s);
    EXPECT_FALSE(usb.base_name.has_value());
    EXPECT_FALSE(usb.no_key);
    EXPECT_EQ(sim::utf16_to_utf8(usb.path.value()), kPath0);
    EXPECT_EQ(usb.hardware_ids.value().size(), 2u);
    EXPECT_EQ(sim::utf16_to_utf8(usb.child.value().compatible_ids.value().at(0)), "USBPRINT\\XPrinterXP-58C5C2");
    EXPECT_EQ(sim::utf16_to_utf8(usb.child.value().hardware_ids.value().at(0)), "USBPRINT\\XPrinterXP-58");
    EXPECT_EQ(usb.device_id.access_0.value().bytes,
              "\x00\x2a"
              "MFG:"s);
    EXPECT_EQ(usb.device_id.access_0->ioctl_error, 0u);
    EXPECT_FALSE(usb.device_id.generic_read.has_value());
    ASSERT_EQ(d.lpt.devices.size(), 1u);
    EXPECT_EQ(sim::utf16_to_utf8(d.lpt.devices[0].hardware_ids.value().at(0)), "LPTENUM\\EPSONTM-T88C2A1");
    EXPECT_EQ(d.lpt.devices[0].parent.value().port_name->data, sim::reg_sz(u"LPT1").data);
    EXPECT_EQ(sim::reg_sz(u"LPT1").data.size(), 10u);  // the NUL counts

    // Absent keys: nothing readable, nothing openable.
    sim::load_scenario(R"({"usb": {"interfaces": [{}]}, "lpt": {"devices": [{"parent": {}}]}})");
    const sim::UsbInterface& bare = sim::computer().devices.usb.interfaces.at(0);
    EXPECT_FALSE(bare.port_number || bare.base_name || bare.no_key || bare.path || bare.hardware_ids || bare.child ||
                 bare.device_id.access_0 || bare.device_id.generic_read);
    const sim::LptDevice& lpt = sim::computer().devices.lpt.devices.at(0);
    EXPECT_FALSE(lpt.compatible_ids || lpt.hardware_ids || lpt.parent.value().port_name);

    // A number under a string type is its decimal text; {"hex"} gives raw bytes.
    sim::load_scenario(R"({"usb": {"interfaces": [{"port_number": 7, "port_number_type": "REG_SZ",
                                                   "base_name": {"hex": "4142"}, "base_name_type": "REG_BINARY"}]}})");
    const sim::UsbInterface& typed = sim::computer().devices.usb.interfaces.at(0);
    EXPECT_EQ(typed.port_number->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(typed.port_number->data, "7\0\0\0"s);
    EXPECT_EQ(typed.base_name->type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(typed.base_name->data, "AB");
    EXPECT_THROW(sim::load_scenario(R"({"usb": {"interfaces": [{"port_number": 1, "port_number_type": "DWORD"}]}})"),
                 std::runtime_error);
}

TEST_F(DeviceContract, InterfaceListingChecksCbSizeAndEnds) {
    HDEVINFO list = usb_list();
    ASSERT_NE(list, INVALID_HANDLE_VALUE);
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data - 1;
    SetLastError(kMarker);
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(list, nullptr, &kUsbPrint, 0, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));
    for (DWORD i = 0; i < 3; ++i) {
        data = interface_at(list, i);
        EXPECT_EQ(data.Flags, 1u);  // SPINT_ACTIVE
    }
    data.cbSize = sizeof data;
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(list, nullptr, &kUsbPrint, 3, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
    SetLastError(kMarker);
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(list));
    EXPECT_EQ(GetLastError(), 0u);  // clean-up overwrites the last error
    EXPECT_FALSE(SetupDiDestroyDeviceInfoList(list));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    sim::computer().devices.usb.list_error = ERROR_ACCESS_DENIED;
    EXPECT_EQ(usb_list(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(sim::leaks().empty());
}

TEST_F(DeviceContract, RegistryValuesSizesAndMissingKeys) {
    HDEVINFO list = usb_list();
    SP_DEVICE_INTERFACE_DATA first = interface_at(list, 0);
    HKEY key = SetupDiOpenDeviceInterfaceRegKey(list, &first, 0, KEY_READ);
    ASSERT_NE(key, reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE));

    SetLastError(kMarker);
    DWORD number = 0, type = 0, size = 3;
    EXPECT_EQ(RegQueryValueExW(key, L"Port Number", nullptr, &type, reinterpret_cast<LPBYTE>(&number), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(RegQueryValueExW(key, L"Port Number", nullptr, &type, reinterpret_cast<LPBYTE>(&number), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(number, 1u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(GetLastError(), kMarker);  // the registry answers through its result

    // "ABCDEFGHIJKLMNO" takes 32 bytes with its NUL: 30 bytes do not hold it.
    WCHAR base[20] = L"USB";
    size = 30;
    EXPECT_EQ(RegQueryValueExW(key, L"Base Name", nullptr, &type, reinterpret_cast<LPBYTE>(base), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 32u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    size = 31;
    EXPECT_EQ(RegQueryValueExW(key, L"base name", nullptr, nullptr, reinterpret_cast<LPBYTE>(base), &size),
              ERROR_MORE_DATA);
    for (DWORD offered : {32u, 33u}) {
        size = offered;
        EXPECT_EQ(RegQueryValueExW(key, L"Base Name", nullptr, nullptr, reinterpret_cast<LPBYTE>(base), &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(size, 32u);
        EXPECT_EQ(u8(base), "ABCDEFGHIJKLMNO");
    }
    size = 0;
    EXPECT_EQ(RegQueryValueExW(key, L"Base Name", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 32u);
    EXPECT_EQ(RegQueryValueExW(key, L"Port Name", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    SetLastError(kMarker);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);

    // A name of 14 characters fits 30 bytes exactly; a missing value is not found.
    sim::computer().devices.usb.interfaces[1].base_name = sim::reg_sz(u"ABCDEFGHIJKLMN");
    SP_DEVICE_INTERFACE_DATA second = interface_at(list, 1);
    key = SetupDiOpenDeviceInterfaceRegKey(list, &second, 0, KEY_READ);
    size = 30;
    EXPECT_EQ(RegQueryValueExW(key, L"Base Name", nullptr, nullptr, reinterpret_cast<LPBYTE>(base), &size),
              ERROR_SUCCESS);
    size = 4;
    EXPECT_EQ(RegQueryValueExW(key, L"Port Number", nullptr, nullptr, reinterpret_cast<LPBYTE>(&number), &size),
              ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);

    SP_DEVICE_INTERFACE_DATA third = interface_at(list, 2);
    SetLastError(kMarker);
    EXPECT_EQ(SetupDiOpenDeviceInterfaceRegKey(list, &third, 0, KEY_READ),
              reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    SP_DEVICE_INTERFACE_DATA never_listed{};
    never_listed.cbSize = sizeof never_listed;
    EXPECT_EQ(SetupDiOpenDeviceInterfaceRegKey(list, &never_listed, 0, KEY_READ),
              reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetupDiDestroyDeviceInfoList(list);
    EXPECT_TRUE(sim::leaks().empty());
}

TEST_F(DeviceContract, DetailSizingAndRecordSize) {
    HDEVINFO list = usb_list();
    SP_DEVICE_INTERFACE_DATA first = interface_at(list, 0);
    const DWORD needed = 4 + (sizeof kPath0) * 2;  // DevicePath's offset, then the path and its NUL
    DWORD required = 0;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    SetLastError(kMarker);
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(list, &first, nullptr, 0, &required, &device));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(required, needed);
    EXPECT_NE(device.DevInst, 0u);  // named even by the sizing call

    std::vector<BYTE> room(needed + 1);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(room.data());
    const DWORD record_size = sizeof(void*) == 8 ? 8 : 6;
    detail->cbSize = record_size;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(list, &first, detail, needed - 1, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    for (DWORD offered : {needed, needed + 1}) {
        SP_DEVINFO_DATA filled{};
        filled.cbSize = sizeof filled;
        ASSERT_TRUE(SetupDiGetDeviceInterfaceDetailW(list, &first, detail, offered, nullptr, &filled));
        EXPECT_EQ(u8(detail->DevicePath), kPath0);
        EXPECT_EQ(filled.DevInst, device.DevInst);
    }
    // The record's cbSize is its fixed part as the platform packs it, nothing else.
    for (DWORD wrong : {0u, 4u, record_size == 8 ? 6u : 8u, static_cast<DWORD>(needed)}) {
        detail->cbSize = wrong;
        SetLastError(kMarker);
        EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(list, &first, detail, needed, nullptr, nullptr)) << wrong;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER)) << wrong;
    }
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(list, &first, nullptr, 10, &required, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));
    device.cbSize = sizeof device + 1;
    detail->cbSize = record_size;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(list, &first, detail, needed, nullptr, &device));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));

    // Without a path both calls fail, and no size comes back.
    SP_DEVICE_INTERFACE_DATA second = interface_at(list, 1);
    required = 0;
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailW(list, &second, nullptr, 0, &required, nullptr));
    EXPECT_EQ(GetLastError(), 0xE0000225u);  // ERROR_NO_SUCH_DEVICE_INTERFACE
    EXPECT_EQ(required, 0u);
    SetupDiDestroyDeviceInfoList(list);
}

TEST_F(DeviceContract, IdListsThroughSetupAndConfigManager) {
    HDEVINFO list = usb_list();
    SP_DEVINFO_DATA device = device_at(list, 0);
    const std::string hardware = "USB\\VID_0416&PID_5011&REV_0200\0USB\\VID_0416&PID_5011\0\0"s;
    const DWORD needed = static_cast<DWORD>(hardware.size() * 2);
    DWORD required = 0, type = 0;
    BYTE buffer[200];
    SetLastError(kMarker);
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyW(list, &device, SPDRP_HARDWAREID, &type, nullptr, 0, &required));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(required, needed);
    EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
    EXPECT_FALSE(
        SetupDiGetDeviceRegistryPropertyW(list, &device, SPDRP_HARDWAREID, nullptr, buffer, needed - 1, nullptr));
    for (DWORD offered : {needed, needed + 1}) {
        std::fill(std::begin(buffer), std::end(buffer), 0xAA);
        ASSERT_TRUE(
            SetupDiGetDeviceRegistryPropertyW(list, &device, SPDRP_HARDWAREID, nullptr, buffer, offered, nullptr));
        EXPECT_EQ(units(buffer, needed), hardware);
    }
    SP_DEVINFO_DATA unreadable = device_at(list, 1);
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyW(list, &unreadable, SPDRP_HARDWAREID, nullptr, buffer, 200, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
    device.cbSize = 0;
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyW(list, &device, SPDRP_HARDWAREID, nullptr, buffer, 200, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    device.cbSize = sizeof device;

    // The child's ids, and the configuration manager's own sizing protocol.
    DEVINST child = 0;
    SetLastError(kMarker);
    ASSERT_EQ(CM_Get_Child(&child, device.DevInst, 0), static_cast<CONFIGRET>(CR_SUCCESS));
    const std::string compatible = "USBPRINT\\Abc\0\0"s;
    ULONG length = 0;
    EXPECT_EQ(CM_Get_DevNode_Registry_PropertyW(child, CM_DRP_COMPATIBLEIDS, &type, nullptr, &length, 0),
              static_cast<CONFIGRET>(CR_BUFFER_SMALL));
    EXPECT_EQ(length, compatible.size() * 2);
    length = static_cast<ULONG>(compatible.size() * 2 - 1);
    EXPECT_EQ(CM_Get_DevNode_Registry_PropertyW(child, CM_DRP_COMPATIBLEIDS, nullptr, buffer, &length, 0),
              static_cast<CONFIGRET>(CR_BUFFER_SMALL));
    EXPECT_EQ(length, compatible.size() * 2);
    for (ULONG offered : {static_cast<ULONG>(compatible.size() * 2), static_cast<ULONG>(compatible.size() * 2 + 1)}) {
        length = offered;
        EXPECT_EQ(CM_Get_DevNode_Registry_PropertyW(child, CM_DRP_COMPATIBLEIDS, nullptr, buffer, &length, 0),
                  static_cast<CONFIGRET>(CR_SUCCESS));
        EXPECT_EQ(length, compatible.size() * 2);
        EXPECT_EQ(units(buffer, length), compatible);
    }
    length = 10;
    EXPECT_EQ(CM_Get_DevNode_Registry_PropertyW(child, CM_DRP_HARDWAREID, nullptr, nullptr, &length, 0),
              static_cast<CONFIGRET>(CR_INVALID_POINTER));
    DEVINST parent = 0;
    EXPECT_EQ(CM_Get_Parent(&parent, child, 0), static_cast<CONFIGRET>(CR_SUCCESS));
    EXPECT_EQ(parent, device.DevInst);

    // Null lists cannot be read; a missing child cannot be found.
    DEVINST empty_child = 0;
    ASSERT_EQ(CM_Get_Child(&empty_child, unreadable.DevInst, 0), static_cast<CONFIGRET>(CR_SUCCESS));
    length = 200;
    EXPECT_EQ(CM_Get_DevNode_Registry_PropertyW(empty_child, CM_DRP_HARDWAREID, nullptr, buffer, &length, 0),
              static_cast<CONFIGRET>(CR_NO_SUCH_VALUE));
    EXPECT_EQ(CM_Get_Child(&child, device_at(list, 2).DevInst, 0), static_cast<CONFIGRET>(CR_NO_SUCH_DEVNODE));
    EXPECT_EQ(CM_Get_Child(&child, 0, 0), static_cast<CONFIGRET>(CR_INVALID_DEVNODE));

    // An injected failure is the call's result; the last error stays as it was.
    sim::computer().faults.push_back({"CM_Get_Child", 5, CR_NO_SUCH_DEVNODE});
    SetLastError(kMarker);
    EXPECT_EQ(CM_Get_Child(&child, device.DevInst, 0), static_cast<CONFIGRET>(CR_NO_SUCH_DEVNODE));
    EXPECT_EQ(GetLastError(), kMarker);
    SetupDiDestroyDeviceInfoList(list);
}

TEST_F(DeviceContract, ParallelDevicesAndTheirPortNames) {
    HDEVINFO list = SetupDiGetClassDevsW(nullptr, L"LPTENUM", nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    ASSERT_NE(list, INVALID_HANDLE_VALUE);
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device - 4;
    EXPECT_FALSE(SetupDiEnumDeviceInfo(list, 0, &device));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));
    device.cbSize = sizeof device;
    EXPECT_FALSE(SetupDiEnumDeviceInfo(list, 3, &device));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
    device = device_at(list, 0);

    DEVINST parent = 0;
    ASSERT_EQ(CM_Get_Parent(&parent, device.DevInst, 0), static_cast<CONFIGRET>(CR_SUCCESS));
    WCHAR id[400];
    ASSERT_EQ(CM_Get_Device_IDW(parent, id, 399, 0), static_cast<CONFIGRET>(CR_SUCCESS));
    const std::string parent_id = u8(id);
    const ULONG id_length = static_cast<ULONG>(parent_id.size());
    EXPECT_EQ(CM_Get_Device_IDW(parent, id, id_length + 1, 0), static_cast<CONFIGRET>(CR_SUCCESS));
    EXPECT_EQ(CM_Get_Device_IDW(parent, id, id_length, 0), static_cast<CONFIGRET>(CR_BUFFER_SMALL));

    HDEVINFO own = SetupDiCreateDeviceInfoList(nullptr, nullptr);
    SP_DEVINFO_DATA parent_data{};
    parent_data.cbSize = sizeof parent_data;
    EXPECT_FALSE(SetupDiOpenDeviceInfoW(own, L"ACPI\\NOSUCH\\1", nullptr, 0, &parent_data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_SUCH_DEVINST));
    CM_Get_Device_IDW(parent, id, 399, 0);
    ASSERT_TRUE(SetupDiOpenDeviceInfoW(own, id, nullptr, 0, &parent_data));
    EXPECT_EQ(parent_data.DevInst, parent);
    HKEY key = SetupDiOpenDevRegKey(own, &parent_data, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    ASSERT_NE(key, reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE));
    WCHAR port[32];
    DWORD type = 0, size = 62;
    EXPECT_EQ(RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<LPBYTE>(port), &size), ERROR_SUCCESS);
    EXPECT_EQ(u8(port), "LPT1");
    EXPECT_EQ(size, 10u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    RegCloseKey(key);

    // No parent; a parent whose key has no "PortName".
    EXPECT_EQ(CM_Get_Parent(&parent, device_at(list, 1).DevInst, 0), static_cast<CONFIGRET>(CR_NO_SUCH_DEVNODE));
    ASSERT_EQ(CM_Get_Parent(&parent, device_at(list, 2).DevInst, 0), static_cast<CONFIGRET>(CR_SUCCESS));
    CM_Get_Device_IDW(parent, id, 399, 0);
    ASSERT_TRUE(SetupDiOpenDeviceInfoW(own, id, nullptr, 0, &parent_data));
    key = SetupDiOpenDevRegKey(own, &parent_data, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    size = 62;
    EXPECT_EQ(RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<LPBYTE>(port), &size),
              ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
    SetupDiDestroyDeviceInfoList(own);
    SetupDiDestroyDeviceInfoList(list);

    sim::computer().devices.lpt.list_error = ERROR_GEN_FAILURE;
    EXPECT_EQ(SetupDiGetClassDevsW(nullptr, L"LPTENUM", nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE));
    EXPECT_EQ(SetupDiGetClassDevsW(nullptr, L"NOSUCHENUM", nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
    EXPECT_TRUE(sim::leaks().empty());
}

TEST_F(DeviceContract, DeviceIdAnswersPerAccessMode) {
    const std::u16string path = sim::utf8_to_utf16(kPath0);
    LPCWSTR name = reinterpret_cast<LPCWSTR>(path.c_str());
    BYTE answer[1024];
    DWORD returned = 99;

    HANDLE device = CreateFileW(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(
        DeviceIoControl(device, IOCTL_USBPRINT_GET_1284_ID, nullptr, 0, answer, sizeof answer, &returned, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE));
    EXPECT_EQ(returned, 0u);
    EXPECT_TRUE(CloseHandle(device));
    EXPECT_FALSE(
        DeviceIoControl(device, IOCTL_USBPRINT_GET_1284_ID, nullptr, 0, answer, sizeof answer, &returned, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    device = CreateFileW(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(
        DeviceIoControl(device, IOCTL_USBPRINT_GET_1284_ID, nullptr, 0, answer, sizeof answer, &returned, nullptr));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(answer), returned), "\x00\x0bMFG:X;MDL"s);
    // A longer ID than the buffer arrives cut, as the device sends it.
    ASSERT_TRUE(DeviceIoControl(device, IOCTL_USBPRINT_GET_1284_ID, nullptr, 0, answer, 5, &returned, nullptr));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(answer), returned), "\x00\x0bMFG"s);
    EXPECT_FALSE(DeviceIoControl(device, 0x220030, nullptr, 0, answer, sizeof answer, &returned, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION));
    CloseHandle(device);

    // Other access modes, a device without answers, and a path nobody has.
    EXPECT_EQ(CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 3, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(CreateFileW(L"\\\\?\\USB#SECOND", 0, 3, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(CreateFileW(L"\\\\?\\usb#third", 0, 3, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(sim::leaks().empty());
}

TEST_F(DeviceContract, UnclosedListsKeysAndHandlesAreLeaks) {
    HDEVINFO list = usb_list();
    SP_DEVICE_INTERFACE_DATA first = interface_at(list, 0);
    HKEY key = SetupDiOpenDeviceInterfaceRegKey(list, &first, 0, KEY_READ);
    const std::u16string path = sim::utf8_to_utf16(kPath0);
    HANDLE device =
        CreateFileW(reinterpret_cast<LPCWSTR>(path.c_str()), GENERIC_READ, 3, nullptr, OPEN_EXISTING, 0, nullptr);
    std::vector<std::string> leaks = sim::leaks();
    std::sort(leaks.begin(), leaks.end());
    EXPECT_EQ(leaks, (std::vector<std::string>{"device handle "s + kPath0, "device list USB printing interfaces",
                                               "registry key USB\\DEVICE\\1 interface"}));
    EXPECT_NE(sim::state_json().find("\"registry key USB\\\\DEVICE\\\\1 interface\""), std::string::npos);

    // CloseHandle closes device handles only.
    SetLastError(kMarker);
    EXPECT_FALSE(CloseHandle(list));
    EXPECT_FALSE(CloseHandle(key));
    EXPECT_EQ(sim::leaks().size(), 3u);
    EXPECT_TRUE(CloseHandle(device));
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(list));
    EXPECT_TRUE(sim::leaks().empty());
}

}  // namespace
