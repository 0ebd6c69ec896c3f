#include <nlohmann/json.hpp>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "devices/device_inventory.h"
#include "harness.h"
#include "inventory/printer_inventory.h"

namespace {

class DeviceSectionTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        memset(&device_inventory, 0, sizeof device_inventory);
    }

    // The section on its own, checked to be valid JSON inside braces.
    static std::string section() {
        TextBuffer buffer = {};
        append(&buffer, "{");
        append_device_section(&buffer);
        append(&buffer, "}");
        std::string text(buffer.data, buffer.length);
        free(buffer.data);
        EXPECT_TRUE(nlohmann::json::accept(text)) << text;
        return text.substr(1, text.size() - 2);
    }
};

template <size_t N>
void put(WCHAR (&field)[N], const std::string& utf8) {
    std::u16string units = sim::utf8_to_utf16(utf8);
    ASSERT_LT(units.size(), N);
    for (size_t i = 0; i <= units.size(); ++i) field[i] = i < units.size() ? WCHAR(units[i]) : 0;
}

UsbDevice& add_usb(const std::string& port, int asked) {
    UsbDevice& d = device_inventory.usb_devices[device_inventory.usb_count++];
    put(d.port, port);
    d.asked = asked;
    return d;
}

void add_lpt(const std::string& port, const std::string& pnp) {
    ParallelPort& p = device_inventory.lpt_ports[device_inventory.lpt_count++];
    put(p.port, port);
    put(p.pnp, pnp);
}

TEST_F(DeviceSectionTest, EmptyTables) {
    device_inventory.usb_ok = TRUE;
    EXPECT_EQ(section(), R"("usb_ok":true,"usb":[],"lpt":[])");
    device_inventory.usb_ok = FALSE;
    EXPECT_EQ(section(), R"("usb_ok":false,"usb":[],"lpt":[])");
}

TEST_F(DeviceSectionTest, OneDeviceNotAskedWithoutIds) {
    device_inventory.usb_ok = TRUE;
    add_usb("USB001", 1);
    EXPECT_EQ(section(),
              R"("usb_ok":true,"usb":[{"port":"USB001","hwid":"","pnp":"","asked":1,"mfg":"","mdl":"","cmd":""}],)"
              R"("lpt":[])");
}

TEST_F(DeviceSectionTest, TwoOfEachWithIdsEscaped) {
    device_inventory.usb_ok = TRUE;
    UsbDevice& first = add_usb("USB001", 2);
    put(first.hwid, "USB\\VID_0416&PID_5011&REV_0200");
    put(first.pnp, "USBPRINT\\XPrinterXP-58C5C2");
    put(first.path, "\\\\?\\usb#never-written");
    strcpy(first.mfg, "Vendor \"One\"");
    strcpy(first.mdl, "XP-58\\C");
    strcpy(first.cmd, "ESC/POS");
    UsbDevice& second = add_usb("USB002", 0);
    put(second.hwid, "USB\\VID_1FC9&PID_2016");
    add_lpt("LPT1", "LPTENUM\\EPSONTM-T88");
    add_lpt("", "LPTENUM\\Порт");
    EXPECT_EQ(section(),
              R"("usb_ok":true,"usb":[)"
              R"({"port":"USB001","hwid":"USB\\VID_0416&PID_5011&REV_0200","pnp":"USBPRINT\\XPrinterXP-58C5C2",)"
              R"("asked":2,"mfg":"Vendor \"One\"","mdl":"XP-58\\C","cmd":"ESC/POS"},)"
              R"({"port":"USB002","hwid":"USB\\VID_1FC9&PID_2016","pnp":"","asked":0,"mfg":"","mdl":"","cmd":""}],)"
              R"("lpt":[{"port":"LPT1","pnp":"LPTENUM\\EPSONTM-T88"},{"port":"","pnp":"LPTENUM\\Порт"}])");
}

TEST_F(DeviceSectionTest, AnIncompleteListingStillShowsWhatWasFound) {
    device_inventory.usb_ok = FALSE;
    add_usb("USB003", 0);
    add_lpt("LPT2", "LPTENUM\\X");
    EXPECT_EQ(section(),
              R"("usb_ok":false,"usb":[{"port":"USB003","hwid":"","pnp":"","asked":0,"mfg":"","mdl":"","cmd":""}],)"
              R"("lpt":[{"port":"LPT2","pnp":"LPTENUM\\X"}])");

    // Longest texts the query stores come out whole.
    device_inventory.usb_ok = TRUE;
    memset(device_inventory.usb_devices[0].mdl, 'm', DEVICE_NAME_TEXT_ROOM - 1);
    memset(device_inventory.usb_devices[0].cmd, 'c', COMMAND_SET_ROOM - 1);
    EXPECT_EQ(section(),
              R"("usb_ok":true,"usb":[{"port":"USB003","hwid":"","pnp":"","asked":0,"mfg":"","mdl":")" +
                  std::string(63, 'm') + R"(","cmd":")" + std::string(95, 'c') +
                  R"("}],"lpt":[{"port":"LPT2","pnp":"LPTENUM\\X"}])");
}

TEST_F(DeviceSectionTest, WhatTheCollectionsFound) {
    sim::load_scenario(R"js({
      "spooler": {"printers": [{"name": "XP-58", "port": "USB001", "driver": "XP-58"}]},
      "usb": {"interfaces": [
        {"port_number": 1, "path": "\\\\?\\usb#vid_0416&pid_5011#5&1a2b3c&0&1#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}",
         "hardware_ids": ["USB\\VID_0416&PID_5011&REV_0200", "USB\\VID_0416&PID_5011"],
         "child": {"compatible_ids": ["USBPRINT\\XPrinterXP-58C5C2"], "hardware_ids": ["USBPRINT\\XPrinterXP-58"]},
         "device_id": {"access_0": null, "generic_read": {"text": "\u0000\u0025MFG:Printer;CMD:ESC/POS ;MDL:XP-58;"}}},
        {"no_key": true, "path": "\\\\?\\usb#lost"}]},
      "lpt": {"devices": [{"compatible_ids": ["LPTENUM\\EPSONTM-T88"], "parent": {"port_name": "LPT1"}}]}})js");
    collect_usb_devices();
    collect_parallel_ports();
    collect_printers();
    query_device_ids();
    EXPECT_EQ(section(),
              R"("usb_ok":false,"usb":[{"port":"USB001","hwid":"USB\\VID_0416&PID_5011&REV_0200",)"
              R"("pnp":"USBPRINT\\XPrinterXP-58C5C2","asked":2,"mfg":"Printer","mdl":"XP-58","cmd":"ESC/POS"}],)"
              R"("lpt":[{"port":"LPT1","pnp":"LPTENUM\\EPSONTM-T88"}])");
    EXPECT_TRUE(sim::leaks().empty());
}

}  // namespace
