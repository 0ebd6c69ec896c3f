#include <string.h>

#include <string>
#include <vector>

#include "devices/device_inventory.h"
#include "harness.h"
#include "inventory/printer_inventory.h"

namespace {

using DeviceIdTest = SimTest;

// A device ID as the device sends it: its length (length bytes included),
// most significant byte first, then the text.
std::string with_length(const std::string& text, size_t length) {
    return std::string(1, char(length >> 8)) + char(length & 0xFF) + text;
}
std::string answer(const std::string& text) { return with_length(text, text.size() + 2); }

std::string texts(const UsbDevice& d) { return std::string(d.mfg) + "|" + d.mdl + "|" + d.cmd; }

// What store_device_id_answer keeps of these bytes, as "mfg|mdl|cmd".
std::string parse(const std::string& bytes, DWORD returned) {
    UsbDevice device;
    memset(&device, 0, sizeof device);
    strcpy(device.mfg, "stale");  // an answer starts from empty texts
    store_device_id_answer(reinterpret_cast<const BYTE*>(bytes.data()), returned, &device);
    return texts(device);
}
std::string parse(const std::string& text) { return parse(answer(text), DWORD(text.size() + 2)); }

// Only the device calls, in order.
std::vector<std::string> device_calls() {
    std::vector<std::string> calls;
    for (const std::string& call : sim::computer().call_log) {
        if (call == "CreateFileW" || call == "DeviceIoControl" || call == "CloseHandle") calls.push_back(call);
    }
    return calls;
}

const std::string kPath = "\\\\?\\usb#vid_0416&pid_5011#5&1a2b3c&0&1#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";

// One device on USB001 with these answers, collected; returns its entry.
UsbDevice& one_device(std::optional<sim::DeviceAnswer> access_0, std::optional<sim::DeviceAnswer> generic_read) {
    sim::UsbInterface item;
    item.port_number = sim::reg_dword(1);
    item.path = sim::utf8_to_utf16(kPath);
    item.device_id.access_0 = access_0;
    item.device_id.generic_read = generic_read;
    sim::computer().devices.usb.interfaces = {item};
    collect_usb_devices();
    EXPECT_EQ(device_inventory.usb_count, 1);
    sim::computer().call_log.clear();
    sim::computer().call_counts.clear();
    return device_inventory.usb_devices[0];
}

sim::DeviceAnswer bytes(const std::string& b) { return sim::DeviceAnswer{b, 0}; }
sim::DeviceAnswer failing(DWORD error) { return sim::DeviceAnswer{"", error}; }

TEST_F(DeviceIdTest, TheLengthBytesEndTheTextWhenTheySayLess) {
    const std::string text = "MDL:" + std::string(34, 'm');  // 38 bytes, 40 with the length
    const std::string padded = text + ";MFG:beyond;";  // in the buffer but not returned
    EXPECT_EQ(parse(with_length(padded, 30), 40), "|" + std::string(24, 'm') + "|");
    EXPECT_EQ(parse(with_length(padded, 2000), 40), "|" + std::string(34, 'm') + "|");
    EXPECT_EQ(parse(with_length(padded, 40), 40), "|" + std::string(34, 'm') + "|");
    EXPECT_EQ(parse(with_length(padded, 39), 40), "|" + std::string(33, 'm') + "|");
    for (size_t ignored : {0, 1, 2}) {
        EXPECT_EQ(parse(with_length(padded, ignored), 40), "|" + std::string(34, 'm') + "|") << ignored;
    }
    EXPECT_EQ(parse(with_length("MFG:X", 3), 7), "||");  // only the byte "M" remains
}

TEST_F(DeviceIdTest, KeysValuesAndBlanks) {
    struct Case {
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {"MFG:Vendor;MDL:TM-T20;CMD:ESC/POS;", "Vendor|TM-T20|ESC/POS"},
        {"MANUFACTURER:First;MFG:Second;", "First||"},
        {"MFG:;MDL:X;MANUFACTURER:Later;", "Later|X|"},
        {"MFG:   ;MANUFACTURER:Later;MFG:Last", "Later||"},
        {"mdl:lower;", "|lower|"},
        {" MDL:blank before;", "|blank before|"},
        {"MDL :blank after;", "||"},
        {"MODEL:M;COMMAND SET:C;command set:D", "|M|C"},
        {"CMD:ESC/POS,STAR   ;", "||ESC/POS,STAR"},
        {"CMD:  A:B: ;", "||A:B:"},
        {";;;MFG:X;;;", "X||"},
        {"MFGX;MFG:Y", "Y||"},
        {":value;MFG", "||"},
        {"MFGX:no;MF:no;MODELS:no;CMD2:no;COMMANDSET:no", "||"},
        {"CLS:PRINTER;DES:Receipt printer;", "||"},
        {"MFG:Ven\r\ndor;MDL:T\x80M\xff-88\x7f;CMD:ES\tC\x01\x1f", "Vendor|TM-88|ESC"},
        {std::string("MFG:A\0B;MDL:C", 13), "AB|C|"},
        {"MDL:" + std::string(100, 'm'), "|" + std::string(63, 'm') + "|"},
        {"CMD:" + std::string(100, 'c'), "||" + std::string(95, 'c')},
        {"MANUFACTURER:" + std::string(100, 'f'), std::string(63, 'f') + "||"},
        // Cut first, then the blanks at the end of what is left go.
        {"MDL:" + std::string(62, 'm') + "  tail", "|" + std::string(62, 'm') + "|"},
    };
    for (const Case& c : cases) EXPECT_EQ(parse(c.text), c.expected) << c.text;

    // A text of the whole 1024-byte buffer.
    const std::string full = "MFG:V;CMD:" + std::string(1012, 'c');
    EXPECT_EQ(parse(full), "V||" + std::string(95, 'c'));
}

TEST_F(DeviceIdTest, BothAccessModesInTurnEachHandleClosedAtOnce) {
    const std::vector<std::string> open_ask_close = {"CreateFileW", "DeviceIoControl", "CloseHandle"};
    const std::vector<std::string> twice = {"CreateFileW", "DeviceIoControl", "CloseHandle",
                                            "CreateFileW", "DeviceIoControl", "CloseHandle"};
    const sim::DeviceAnswer good = bytes(answer("MFG:Good;"));
    struct Case {
        const char* what;
        std::optional<sim::DeviceAnswer> access_0, generic_read;
        int asked;
        std::string texts;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"first answers", good, bytes(answer("MFG:Other;")), 2, "Good||", open_ask_close},
        {"two bytes then good", bytes(std::string("\0\x02", 2)), good, 2, "Good||", twice},
        {"no bytes then good", bytes(""), good, 2, "Good||", twice},
        {"three bytes", bytes(std::string("\0\x03M", 3)), good, 2, "||", open_ask_close},
        {"request refused then good", failing(ERROR_INVALID_FUNCTION), good, 2, "Good||", twice},
        {"no open then good", std::nullopt, good, 2, "Good||", {"CreateFileW", "CreateFileW", "DeviceIoControl",
                                                                 "CloseHandle"}},
        {"no open at all", std::nullopt, std::nullopt, 1, "||", {"CreateFileW", "CreateFileW"}},
        {"both refuse", failing(31), failing(31), 1, "||", twice},
        {"none of the keys", bytes(answer("CLS:PRINTER;")), good, 2, "||", open_ask_close},
    };
    for (const Case& c : cases) {
        sim::reset();
        UsbDevice& device = one_device(c.access_0, c.generic_read);
        read_device_id(&device);
        EXPECT_EQ(device.asked, c.asked) << c.what;
        EXPECT_EQ(texts(device), c.texts) << c.what;
        EXPECT_EQ(device_calls(), c.calls) << c.what;
        EXPECT_TRUE(sim::leaks().empty()) << c.what;
    }
}

TEST_F(DeviceIdTest, ADeviceWithoutAPathIsNotOpened) {
    UsbDevice& device = one_device(bytes(answer("MFG:Good;")), std::nullopt);
    device.path[0] = 0;
    read_device_id(&device);
    EXPECT_EQ(device.asked, 1);
    EXPECT_EQ(texts(device), "||");
    EXPECT_EQ(sim::computer().call_counts["CreateFileW"], 0u);

    // Through the collection: a path of 299 characters is not kept.
    sim::reset();
    sim::UsbInterface item;
    item.port_number = sim::reg_dword(1);
    item.path = std::u16string(299, u'p');
    item.device_id.access_0 = bytes(answer("MFG:Good;"));
    sim::computer().devices.usb.interfaces = {item};
    collect_usb_devices();
    collect_printers();
    query_device_ids();
    ASSERT_EQ(device_inventory.usb_count, 1);
    EXPECT_EQ(device_inventory.usb_devices[0].asked, 1);
    EXPECT_EQ(sim::computer().call_counts["CreateFileW"], 0u);
}

TEST_F(DeviceIdTest, OnlyARealLocalQueueWithJobsStopsTheQuery) {
    // Two devices answering, one without a path.
    const std::string usb = R"js("usb": {"interfaces": [
        {"port_number": 1, "path": "\\\\?\\one", "device_id": {"access_0": {"text": "\u0000\u0010MFG:One;MDL:A;"}}},
        {"port_number": 2},
        {"port_number": 3, "path": "\\\\?\\three",
         "device_id": {"generic_read": {"text": "\u0000\u000bMDL:Three"}}}]})js";
    struct Case {
        const char* what;
        std::string spooler;
        bool busy;
    };
    const Case cases[] = {
        {"no printers", R"js("spooler": {})js", false},
        {"connection with jobs", R"js("spooler": {"connections": [
            {"name": "\\\\SHOP-PC\\Kitchen", "jobs": [{"id": 1}], "jobs_count": 1}]})js", false},
        {"virtual queue with jobs", R"js("spooler": {"printers": [
            {"name": "Receipts to file", "port": "FILE:", "driver": "Generic", "jobs": [{"id": 1}, {"id": 2}]}]})js",
         false},
        {"real queue without jobs", R"js("spooler": {"printers": [
            {"name": "XP-58", "port": "USB001", "driver": "XP-58"}]})js", false},
        {"real queue with one job", R"js("spooler": {"printers": [
            {"name": "Office PDF", "port": "Nul", "driver": "Generic", "jobs": [{"id": 1}]},
            {"name": "XP-58", "port": "USB001", "driver": "XP-58"},
            {"name": "Office", "port": "USB002", "driver": "Laser", "jobs": [{"id": 9}]}]})js", true},
    };
    for (const Case& c : cases) {
        sim::load_scenario("{" + c.spooler + "," + usb + "}");
        collect_usb_devices();
        collect_parallel_ports();
        collect_printers();
        sim::computer().call_counts.clear();
        query_device_ids();
        ASSERT_EQ(device_inventory.usb_count, 3) << c.what;
        std::string outcome;
        for (int i = 0; i < 3; ++i) {
            const UsbDevice& d = device_inventory.usb_devices[i];
            outcome += std::to_string(d.asked) + ":" + texts(d) + " ";
        }
        EXPECT_EQ(outcome, c.busy ? "1:|| 1:|| 1:|| " : "2:One|A| 1:|| 2:|Three| ") << c.what;
        EXPECT_EQ(sim::computer().call_counts["CreateFileW"], c.busy ? 0u : 3u) << c.what;
        EXPECT_TRUE(sim::leaks().empty()) << c.what;
    }

    // A new collection forgets what the devices said.
    collect_usb_devices();
    for (int i = 0; i < device_inventory.usb_count; ++i) {
        EXPECT_EQ(device_inventory.usb_devices[i].asked, 0);
        EXPECT_EQ(texts(device_inventory.usb_devices[i]), "||");
    }
}

}  // namespace
