#include <string.h>

#include <string>
#include <vector>

#include "devices/device_inventory.h"
#include "harness.h"

namespace {

using UsbDevicesTest = SimTest;

const UsbDevice& usb(int i) { return device_inventory.usb_devices[i]; }

// The port names of the valid entries, joined by "|".
std::string ports() {
    std::string joined;
    for (int i = 0; i < device_inventory.usb_count; ++i) joined += (i ? "|" : "") + u8(usb(i).port);
    return joined;
}

int presence(const char16_t* port) { return usb_port_presence(reinterpret_cast<const WCHAR*>(port)); }

sim::UsbInterface numbered(DWORD number) {
    sim::UsbInterface item;
    item.port_number = sim::reg_dword(number);
    return item;
}

std::u16string repeated(char16_t c, size_t count) { return std::u16string(count, c); }

TEST_F(UsbDevicesTest, NothingAttachedIsACompleteAnswer) {
    memset(&device_inventory, 0, sizeof device_inventory);  // as at process start: nothing known yet
    EXPECT_EQ(presence(u"USB001"), -1);

    collect_usb_devices();
    EXPECT_TRUE(device_inventory.usb_ok);
    EXPECT_EQ(device_inventory.usb_count, 0);
    EXPECT_EQ(presence(u"USB001"), 0);
    EXPECT_EQ(presence(u"USB"), -1);
    EXPECT_EQ(sim::computer().call_counts["SetupDiDestroyDeviceInfoList"], 1u);
    EXPECT_TRUE(sim::leaks().empty());
}

TEST_F(UsbDevicesTest, AnUnlistableClassAnswersNothing) {
    sim::computer().devices.usb.interfaces = {numbered(1)};
    collect_usb_devices();
    ASSERT_EQ(device_inventory.usb_count, 1);

    // The second run starts from empty, even though the first one found a device.
    sim::computer().devices.usb.list_error = ERROR_ACCESS_DENIED;
    collect_usb_devices();
    EXPECT_FALSE(device_inventory.usb_ok);
    EXPECT_EQ(device_inventory.usb_count, 0);
    for (const char16_t* port : {u"USB001", u"USB002", u"usb7", u"USB", u"COM1"}) {
        EXPECT_EQ(presence(port), -1) << sim::utf16_to_utf8(port);
    }
    EXPECT_TRUE(sim::leaks().empty());
}

TEST_F(UsbDevicesTest, AnInterfaceWithoutAPortNumberMakesTheListingIncomplete) {
    struct Case {
        const char* what;
        sim::UsbInterface broken;
    };
    sim::UsbInterface no_value;
    sim::UsbInterface no_key = numbered(5);
    no_key.no_key = true;
    sim::UsbInterface text_number = numbered(5);
    text_number.port_number = sim::reg_sz(u"5");
    sim::UsbInterface binary_number = numbered(5);
    binary_number.port_number->type = REG_BINARY;
    for (const Case& c : {Case{"missing", no_value}, Case{"no key", no_key}, Case{"REG_SZ", text_number},
                          Case{"REG_BINARY", binary_number}}) {
        sim::reset();
        sim::computer().devices.usb.interfaces = {numbered(1), c.broken, numbered(2)};
        collect_usb_devices();
        EXPECT_EQ(ports(), "USB001|USB002") << c.what;
        EXPECT_FALSE(device_inventory.usb_ok) << c.what;
        // USB005 could be the dropped device, so no port can be answered for.
        EXPECT_EQ(presence(u"USB001"), -1) << c.what;
        EXPECT_EQ(presence(u"USB002"), -1) << c.what;
        EXPECT_EQ(presence(u"USB005"), -1) << c.what;
        EXPECT_TRUE(sim::leaks().empty()) << c.what;
    }
}

TEST_F(UsbDevicesTest, PortNamesFromBaseNameAndNumber) {
    auto with_base = [](DWORD number, sim::RegValue base) {
        sim::UsbInterface item = numbered(number);
        item.base_name = base;
        return item;
    };
    sim::RegValue binary_base = sim::reg_sz(u"ABC");
    binary_base.type = REG_BINARY;
    sim::RegValue expand_base = sim::reg_sz(u"ABC");
    expand_base.type = REG_EXPAND_SZ;
    sim::computer().devices.usb.interfaces = {
        numbered(3),
        with_base(3, sim::reg_sz(u"ABC")),
        numbered(1000),
        numbered(0),
        numbered(4294967295u),
        with_base(42, sim::reg_sz(repeated(u'B', 14))),  // 30 bytes with its NUL: fits
        with_base(42, sim::reg_sz(repeated(u'B', 15))),  // 32 bytes: too long
        with_base(42, binary_base),
        with_base(42, expand_base),
        with_base(7, sim::reg_sz(u"")),
    };
    collect_usb_devices();
    EXPECT_EQ(ports(),
              "USB003|ABC003|USB1000|USB000|USB4294967295|BBBBBBBBBBBBBB042|USB042|USB042|USB042|007");
    EXPECT_TRUE(device_inventory.usb_ok);
    EXPECT_EQ(sim::computer().call_counts["RegCloseKey"], 10u);
    EXPECT_TRUE(sim::leaks().empty());
}

TEST_F(UsbDevicesTest, PresenceComparesWholeNamesOfTheFormUsbAndDigits) {
    sim::computer().devices.usb.interfaces = {numbered(1)};
    collect_usb_devices();
    ASSERT_EQ(ports(), "USB001");
    struct Case {
        const char16_t* port;
        int expected;
    };
    for (const Case& c : {Case{u"USB001", 1}, Case{u"usb001", 1}, Case{u"uSb001", 1}, Case{u"USB1", 0},
                          Case{u"USB002", 0}, Case{u"USB0001", 0}, Case{u"USB", -1}, Case{u"USB001A", -1},
                          Case{u"USB 1", -1}, Case{u"USB-1", -1}, Case{u"COM1", -1}, Case{u"LPT1:", -1},
                          Case{u"US", -1}, Case{u"", -1}, Case{u"XUSB001", -1}}) {
        EXPECT_EQ(presence(c.port), c.expected) << sim::utf16_to_utf8(c.port);
    }
    EXPECT_EQ(usb_port_presence(nullptr), -1);
}

TEST_F(UsbDevicesTest, AtMost32EntriesAndTheRestIsNotExamined) {
    // Interface 36 lacks its number, but is never looked at.
    for (DWORD n = 1; n <= 40; ++n) sim::computer().devices.usb.interfaces.push_back(numbered(n));
    sim::computer().devices.usb.interfaces[35].port_number.reset();
    collect_usb_devices();
    ASSERT_EQ(device_inventory.usb_count, 32);
    EXPECT_EQ(u8(usb(31).port), "USB032");
    EXPECT_TRUE(device_inventory.usb_ok);
    EXPECT_EQ(presence(u"USB032"), 1);
    EXPECT_EQ(presence(u"USB033"), 0);
    EXPECT_EQ(sim::computer().call_counts["SetupDiEnumDeviceInterfaces"], 32u);
    EXPECT_EQ(sim::computer().call_counts["SetupDiOpenDeviceInterfaceRegKey"], 32u);
    EXPECT_EQ(sim::computer().call_counts["SetupDiGetDeviceInterfaceDetailW"], 32u);  // sizing only: no paths
    EXPECT_TRUE(sim::leaks().empty());

    // A dropped interface does not use up a slot: 33 are examined to fill 32.
    sim::reset();
    sim::computer().devices.usb.interfaces.push_back(sim::UsbInterface{});
    for (DWORD n = 1; n <= 39; ++n) sim::computer().devices.usb.interfaces.push_back(numbered(n));
    collect_usb_devices();
    ASSERT_EQ(device_inventory.usb_count, 32);
    EXPECT_EQ(u8(usb(0).port), "USB001");
    EXPECT_FALSE(device_inventory.usb_ok);
    EXPECT_EQ(sim::computer().call_counts["SetupDiEnumDeviceInterfaces"], 33u);
}

TEST_F(UsbDevicesTest, IdsAndPathOfEachDevice) {
    const std::string long_id(200, 'I');
    const std::string path_298(298, 'p');
    const std::string path_299(299, 'q');
    sim::load_scenario(R"js({"usb": {"interfaces": [
        {"port_number": 1, "path": "\\\\?\\usb#vid_0416&pid_5011#5&1a2b3c&0&1#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}",
         "hardware_ids": ["USB\\VID_0416&PID_5011&REV_0200", "USB\\VID_0416&PID_5011"],
         "child": {"compatible_ids": ["PRINTENUM\\Receipt", "usbprint\\Abc", "USBPRINT\\Second"],
                   "hardware_ids": ["USBPRINT\\Hw"]}},
        {"port_number": 2, "path": "\\\\?\\two", "hardware_ids": ["USB\\TWO"],
         "child": {"compatible_ids": ["USBPRIN", "GENERIC_PRINTER"],
                   "hardware_ids": ["LPTENUM\\Odd", "USBPRINT\\Late"]}},
        {"port_number": 3, "path": "\\\\?\\three", "child": {"compatible_ids": null, "hardware_ids": ["X\\Y"]}},
        {"port_number": 4, "path": "\\\\?\\four", "hardware_ids": [],
         "child": {"compatible_ids": [], "hardware_ids": []}},
        {"port_number": 5, "path": "\\\\?\\five", "child": null},
        {"port_number": 6},
        {"port_number": 7, "path": ")js" + path_298 + R"js(", "hardware_ids": [")js" + long_id + R"js("],
         "child": {"compatible_ids": ["USBPRINT\\)js" + long_id + R"js("]}},
        {"port_number": 8, "path": ")js" + path_299 + R"js(", "child": {"hardware_ids": [")js" + long_id + R"js("]}}
    ]}})js");
    collect_usb_devices();
    ASSERT_EQ(device_inventory.usb_count, 8);
    EXPECT_TRUE(device_inventory.usb_ok);

    EXPECT_EQ(u8(usb(0).hwid), "USB\\VID_0416&PID_5011&REV_0200");
    EXPECT_EQ(u8(usb(0).pnp), "usbprint\\Abc");  // the prefix ignores case
    EXPECT_EQ(u8(usb(0).path), "\\\\?\\usb#vid_0416&pid_5011#5&1a2b3c&0&1#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}");
    // No compatible id has the prefix: the first hardware id, whatever it begins with.
    EXPECT_EQ(u8(usb(1).pnp), "LPTENUM\\Odd");
    EXPECT_EQ(u8(usb(2).hwid), "");
    EXPECT_EQ(u8(usb(2).pnp), "X\\Y");
    EXPECT_EQ(u8(usb(3).hwid), "");
    EXPECT_EQ(u8(usb(3).pnp), "");
    EXPECT_EQ(u8(usb(3).path), "\\\\?\\four");
    EXPECT_EQ(u8(usb(4).pnp), "");
    EXPECT_EQ(u8(usb(4).path), "\\\\?\\five");
    // No detail record: the entry still counts, with nothing but its port.
    EXPECT_EQ(u8(usb(5).port), "USB006");
    EXPECT_EQ(u8(usb(5).hwid), "");
    EXPECT_EQ(u8(usb(5).pnp), "");
    EXPECT_EQ(u8(usb(5).path), "");

    EXPECT_EQ(u8(usb(6).path), path_298);
    EXPECT_EQ(u8(usb(6).hwid), long_id.substr(0, 127));
    EXPECT_EQ(u8(usb(6).pnp), ("USBPRINT\\" + long_id).substr(0, 127));
    EXPECT_EQ(u8(usb(7).path), "");
    EXPECT_EQ(u8(usb(7).pnp), long_id.substr(0, 127));

    for (int i = 0; i < device_inventory.usb_count; ++i) {
        EXPECT_EQ(usb(i).asked, 0) << i;
        EXPECT_EQ(std::string(usb(i).mfg) + usb(i).mdl + usb(i).cmd, "") << i;
    }
    EXPECT_TRUE(sim::leaks().empty());
}

TEST_F(UsbDevicesTest, FindPnpIdAlwaysWritesItsDestination) {
    WCHAR destination[DEVICE_ID_ROOM];
    for (WCHAR& c : destination) c = L'x';
    find_pnp_id(0, L"USBPRINT\\", destination);  // no such node
    EXPECT_EQ(u8(destination), "");
}

TEST_F(UsbDevicesTest, FailingCallsLeaveAnIncompleteTable) {
    allow_leaks();  // failing releases and unclosed objects are the point here
    const std::string scenario = R"js({"usb": {"interfaces": [
        {"port_number": 1, "base_name": "ABC", "path": "\\\\?\\one", "hardware_ids": ["USB\\ONE"],
         "child": {"compatible_ids": ["GENERIC", "USBPRINT\\One"], "hardware_ids": ["HW\\One"]}},
        {"port_number": 2, "path": "\\\\?\\two", "hardware_ids": ["USB\\TWO"],
         "child": {"compatible_ids": ["USBPRINT\\Two"]}}]}})js";
    const std::string first = "ABC001 USB\\ONE USBPRINT\\One \\\\?\\one";
    const std::string second = "USB002 USB\\TWO USBPRINT\\Two \\\\?\\two";
    struct Case {
        const char* function;
        unsigned nth;
        bool usb_ok;
        std::string entries;  // port, hwid, pnp and path of each entry
        bool audited;         // a failing clean-up call leaves its object open in the audit
    };
    const Case cases[] = {
        {"SetupDiGetClassDevsW", 1, false, "", true},
        // A listing that breaks off is not a complete one.
        {"SetupDiEnumDeviceInterfaces", 1, false, "", true},
        {"SetupDiEnumDeviceInterfaces", 2, false, first, true},
        {"SetupDiOpenDeviceInterfaceRegKey", 1, false, second, true},
        {"RegQueryValueExW", 1, false, second, true},  // "Port Number"
        {"RegQueryValueExW", 2, true, "USB001 USB\\ONE USBPRINT\\One \\\\?\\one|" + second, true},  // "Base Name"
        {"RegCloseKey", 1, true, first + "|" + second, false},
        {"SetupDiGetDeviceInterfaceDetailW", 1, true, "ABC001   |" + second, true},  // sizing
        {"SetupDiGetDeviceInterfaceDetailW", 2, true, "ABC001   |" + second, true},
        {"SetupDiGetDeviceRegistryPropertyW", 1, true, "ABC001  USBPRINT\\One \\\\?\\one|" + second, true},
        {"CM_Get_Child", 1, true, "ABC001 USB\\ONE  \\\\?\\one|" + second, true},
        {"CM_Get_DevNode_Registry_PropertyW", 1, true, "ABC001 USB\\ONE HW\\One \\\\?\\one|" + second, true},
        {"CM_Get_DevNode_Registry_PropertyW", 2, true, first + "|USB002 USB\\TWO  \\\\?\\two", true},
        {"SetupDiDestroyDeviceInfoList", 1, true, first + "|" + second, false},
    };
    for (const Case& c : cases) {
        const std::string what = std::string(c.function) + " #" + std::to_string(c.nth);
        sim::load_scenario(scenario);
        sim::computer().faults.push_back({c.function, c.nth, ERROR_GEN_FAILURE});
        EXPECT_NO_THROW(collect_usb_devices()) << what;
        std::string entries;
        for (int i = 0; i < device_inventory.usb_count; ++i) {
            entries += (i ? "|" : "") + u8(usb(i).port) + " " + u8(usb(i).hwid) + " " + u8(usb(i).pnp) + " " +
                       u8(usb(i).path);
        }
        EXPECT_EQ(entries, c.entries) << what;
        EXPECT_EQ(bool(device_inventory.usb_ok), c.usb_ok) << what;
        if (c.audited) {
            EXPECT_TRUE(sim::leaks().empty()) << what;
        }
    }
}

TEST_F(UsbDevicesTest, NoMemoryForTheDetailRecordLeavesTheEntryWithoutIds) {
    sim::load_scenario(R"js({"usb": {"interfaces": [
        {"port_number": 1, "path": "\\\\?\\one", "hardware_ids": ["USB\\ONE"], "child": {"hardware_ids": ["P\\1"]}},
        {"port_number": 2, "path": "\\\\?\\two", "hardware_ids": ["USB\\TWO"],
         "child": {"hardware_ids": ["P\\2"]}}]}})js");
    sim::computer().fail_allocation_nth = sim::computer().allocation_count + 1;
    EXPECT_NO_THROW(collect_usb_devices());  // a ProcessExit would be thrown
    ASSERT_EQ(device_inventory.usb_count, 2);
    EXPECT_TRUE(device_inventory.usb_ok);
    EXPECT_EQ(u8(usb(0).port), "USB001");
    EXPECT_EQ(u8(usb(0).hwid) + u8(usb(0).pnp) + u8(usb(0).path), "");
    EXPECT_EQ(u8(usb(1).hwid), "USB\\TWO");
    EXPECT_EQ(u8(usb(1).pnp), "P\\2");
    EXPECT_EQ(u8(usb(1).path), "\\\\?\\two");
    // The second call of the first interface was never made.
    EXPECT_EQ(sim::computer().call_counts["SetupDiGetDeviceInterfaceDetailW"], 3u);
    EXPECT_TRUE(sim::leaks().empty());
}

}  // namespace
