#include <string>

#include "devices/device_inventory.h"
#include "harness.h"

namespace {

using ParallelPortsTest = SimTest;

// "port pnp" of each valid entry, joined by "|".
std::string entries() {
    std::string joined;
    for (int i = 0; i < device_inventory.lpt_count; ++i) {
        const ParallelPort& p = device_inventory.lpt_ports[i];
        joined += (i ? "|" : "") + u8(p.port) + " " + u8(p.pnp);
    }
    return joined;
}

TEST_F(ParallelPortsTest, NothingDetected) {
    collect_parallel_ports();
    EXPECT_EQ(device_inventory.lpt_count, 0);

    // A failing listing empties what an earlier run found.
    sim::load_scenario(R"js({"lpt": {"devices": [{"hardware_ids": ["LPTENUM\\A"]}]}})js");
    collect_parallel_ports();
    ASSERT_EQ(entries(), " LPTENUM\\A");
    sim::computer().devices.lpt.list_error = ERROR_ACCESS_DENIED;
    collect_parallel_ports();
    EXPECT_EQ(device_inventory.lpt_count, 0);
    EXPECT_TRUE(sim::leaks().empty());
}

TEST_F(ParallelPortsTest, PortNameFromTheParentAndAnIdOfTheDevice) {
    sim::load_scenario(R"js({"lpt": {"devices": [
        {"compatible_ids": ["LPTENUM\\EPSONTM-T88"], "hardware_ids": ["LPTENUM\\EPSONTM-T88C2A1"],
         "parent": {"port_name": "LPT1"}},
        {"compatible_ids": ["GENERIC", "lptenum\\Second", "LPTENUM\\Third"], "parent": {"port_name": "LPT2"}},
        {"compatible_ids": ["GENERIC"], "hardware_ids": ["ODD\\First", "LPTENUM\\Late"], "parent": {}},
        {"hardware_ids": ["LPTENUM\\NoParent"], "parent": null},
        {"compatible_ids": [], "hardware_ids": [], "parent": {"port_name": "LPT9"}},
        {"hardware_ids": ["LPTENUM\\AfterTheGap"], "parent": {"port_name": null}}
    ]}})js");
    collect_parallel_ports();
    // The device without ids gives no entry; its slot, with LPT9 read into it, goes to the next one.
    EXPECT_EQ(entries(),
              "LPT1 LPTENUM\\EPSONTM-T88|LPT2 lptenum\\Second| ODD\\First| LPTENUM\\NoParent| LPTENUM\\AfterTheGap");
    // Each parent lookup makes its own list; every list and key is gone again.
    EXPECT_EQ(sim::computer().call_counts["SetupDiCreateDeviceInfoList"], 5u);
    EXPECT_EQ(sim::computer().call_counts["SetupDiDestroyDeviceInfoList"], 6u);
    EXPECT_EQ(sim::computer().call_counts["RegCloseKey"], 5u);
    EXPECT_TRUE(sim::leaks().empty());
}

TEST_F(ParallelPortsTest, AtMostEightEntries) {
    std::string devices;
    for (int i = 1; i <= 10; ++i) {
        devices += (i > 1 ? "," : "") + std::string(R"js({"hardware_ids": ["LPTENUM\\P)js") + std::to_string(i) +
                   R"js("], "parent": {"port_name": "LPT)js" + std::to_string(i) + "\"}}";
    }
    sim::load_scenario(R"js({"lpt": {"devices": [)js" + devices + "]}}");
    collect_parallel_ports();
    ASSERT_EQ(device_inventory.lpt_count, 8);
    EXPECT_EQ(entries(),
              "LPT1 LPTENUM\\P1|LPT2 LPTENUM\\P2|LPT3 LPTENUM\\P3|LPT4 LPTENUM\\P4|LPT5 LPTENUM\\P5|"
              "LPT6 LPTENUM\\P6|LPT7 LPTENUM\\P7|LPT8 LPTENUM\\P8");
    EXPECT_EQ(sim::computer().call_counts["SetupDiEnumDeviceInfo"], 8u);
    EXPECT_TRUE(sim::leaks().empty());
}

TEST_F(ParallelPortsTest, PortNamesThatDoNotFitOrAreNotTextAreDropped) {
    const std::string name_30(30, 'N');
    const std::string name_31(31, 'M');
    sim::load_scenario(R"js({"lpt": {"devices": [
        {"hardware_ids": ["LPTENUM\\A"], "parent": {"port_name": ")js" + name_30 + R"js("}},
        {"hardware_ids": ["LPTENUM\\B"], "parent": {"port_name": ")js" + name_31 + R"js("}},
        {"hardware_ids": ["LPTENUM\\C"], "parent": {"port_name": "LPT3", "port_name_type": "REG_BINARY"}},
        {"hardware_ids": ["LPTENUM\\D"], "parent": {"port_name": "LPT4", "port_name_type": "REG_EXPAND_SZ"}},
        {"hardware_ids": ["LPTENUM\\E"], "parent": {"port_name": "ЛПТ5"}}
    ]}})js");
    collect_parallel_ports();
    EXPECT_EQ(entries(), name_30 + " LPTENUM\\A| LPTENUM\\B| LPTENUM\\C| LPTENUM\\D|ЛПТ5 LPTENUM\\E");
    EXPECT_TRUE(sim::leaks().empty());
}

TEST_F(ParallelPortsTest, EachFailingStepOfTheParentLookupLeavesAnEmptyPort) {
    const std::string scenario = R"js({"lpt": {"devices": [
        {"compatible_ids": ["LPTENUM\\One"], "hardware_ids": ["HW\\One"], "parent": {"port_name": "LPT1"}},
        {"compatible_ids": ["LPTENUM\\Two"], "parent": {"port_name": "LPT2"}}]}})js";
    const std::string second = "LPT2 LPTENUM\\Two";
    struct Case {
        const char* function;
        unsigned nth;
        std::string expected;
    };
    const Case cases[] = {
        {"CM_Get_Parent", 1, " LPTENUM\\One|" + second},
        {"CM_Get_Device_IDW", 1, " LPTENUM\\One|" + second},
        {"SetupDiCreateDeviceInfoList", 1, " LPTENUM\\One|" + second},
        {"SetupDiOpenDeviceInfoW", 1, " LPTENUM\\One|" + second},
        {"SetupDiOpenDevRegKey", 1, " LPTENUM\\One|" + second},
        {"RegQueryValueExW", 1, " LPTENUM\\One|" + second},
        {"RegQueryValueExW", 2, "LPT1 LPTENUM\\One| LPTENUM\\Two"},
        {"CM_Get_DevNode_Registry_PropertyW", 1, "LPT1 HW\\One|" + second},
        {"SetupDiEnumDeviceInfo", 2, "LPT1 LPTENUM\\One"},
        {"SetupDiGetClassDevsW", 1, ""},
    };
    for (const Case& c : cases) {
        const std::string what = std::string(c.function) + " #" + std::to_string(c.nth);
        sim::load_scenario(scenario);
        sim::computer().faults.push_back({c.function, c.nth, ERROR_GEN_FAILURE});
        EXPECT_NO_THROW(collect_parallel_ports()) << what;
        EXPECT_EQ(entries(), c.expected) << what;
        EXPECT_TRUE(sim::leaks().empty()) << what;
    }
}

}  // namespace
