#include <nlohmann/json.hpp>

#include <algorithm>
#include <string>
#include <vector>

#include "harness.h"

namespace {

class ListCommandTest : public SimTest {
protected:
    // Runs "list" with these arguments through a pipe on the scenario and
    // returns the document, which must be one valid JSON line.
    std::string list(const std::string& scenario, const std::vector<std::string>& args = {"list"}) {
        sim::load_scenario(scenario);
        RunResult result = run(args);
        EXPECT_EQ(result.exit_code, 0);
        EXPECT_EQ(result.console, "");
        EXPECT_TRUE(result.leaks.empty());
        EXPECT_TRUE(nlohmann::json::accept(result.out)) << result.out;
        EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 1) << result.out;
        return result.out;
    }
};

// The position of the first (or last) call of this function in the call log.
size_t first_call(const std::string& function) {
    const std::vector<std::string>& log = sim::computer().call_log;
    return std::find(log.begin(), log.end(), function) - log.begin();
}
size_t last_call(const std::string& function) {
    const std::vector<std::string>& log = sim::computer().call_log;
    auto found = std::find(log.rbegin(), log.rend(), function);
    return found == log.rend() ? log.size() : log.size() - 1 - (found - log.rbegin());
}

const std::string kNoDevices = R"("usb_ok":true,"usb":[],"lpt":[])";

// One USB printer on USB001 that tells its device ID whichever way it is opened.
const std::string kUsbPrinter = R"js("usb": {"interfaces": [{"port_number": 1,
    "path": "\\\\?\\usb#vid_0416&pid_5011#1#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}",
    "hardware_ids": ["USB\\VID_0416&PID_5011&REV_0200"],
    "child": {"compatible_ids": ["USBPRINT\\XPrinterXP-58C5C2"]},
    "device_id": {
        "access_0": {"hex": "00494d414e5546414354555245523a585072696e7465723b4d4f44454c3a58502d35384949483b434f4d4d414e44205345543a4553432f504f533b434c4153533a5052494e5445523b"},
        "generic_read": {"hex": "00494d414e5546414354555245523a585072696e7465723b4d4f44454c3a58502d35384949483b434f4d4d414e44205345543a4553432f504f533b434c4153533a5052494e5445523b"}}}]})js";

TEST_F(ListCommandTest, NoPrintersAtAll) {
    EXPECT_EQ(list("{}"), "{\"ok\":true,\"v\":\"1.1.0\",\"default\":\"\"," + kNoDevices + ",\"printers\":[]}\n");
    // A default the spooler names but no queue carries is still shown.
    EXPECT_EQ(list(R"({"spooler": {"default": "Gone"}})"),
              "{\"ok\":true,\"v\":\"1.1.0\",\"default\":\"Gone\"," + kNoDevices + ",\"printers\":[]}\n");

    // Nobody reads it: dropped, and still a success.
    for (const char* output : {"null", "invalid"}) {
        sim::load_scenario(std::string(R"({"stdout": ")") + output + "\"}");
        RunResult result = run({"list"});
        EXPECT_EQ(result.exit_code, 0) << output;
        EXPECT_EQ(result.out + result.console, "") << output;
    }
}

TEST_F(ListCommandTest, AQueueWithSevenJobsAndAwkwardNames) {
    // Five jobs are listed, but the oldest is the seventh; the spooler's count
    // is all seven. Ages: 1999 ms is 1 s, 999 ms is 0, unusable times are 0.
    std::string document = list(R"js({"spooler": {"default": "Касса \"1\" \\ зал", "printers": [
        {"name": "Касса \"1\" \\ зал", "port": "USB001", "driver": "POS-80 \\ v2", "attributes": 1032, "status": 16,
         "jobs": [
            {"id": 11, "document": "Чек №1", "status": 16, "age_ms": 1999},
            {"id": 12, "document": "Чек \"2\"", "status": 2, "status_text": "Нет бумаги\t!", "age_ms": 999},
            {"id": 13, "document": "C:\\x.txt", "submitted": "invalid"},
            {"id": 14, "document": "", "status": 1025, "submitted": "before_1970"},
            {"id": 15, "document": "future", "age_ms": -5000},
            {"id": 16, "document": "six", "age_ms": 3000},
            {"id": 17, "document": "oldest", "age_ms": 754999}
         ]},
        {"name": "Кухня", "port": "usb002", "driver": "D", "attributes": 16,
         "jobs": [{"id": 21, "submitted": "invalid"}, {"id": 22, "submitted": "before_1970"},
                  {"id": 23, "age_ms": -1}]}
    ]}})js");
    EXPECT_EQ(document,
              "{\"ok\":true,\"v\":\"1.1.0\",\"default\":\"Касса \\\"1\\\" \\\\ зал\"," + kNoDevices +
                  ",\"printers\":["
                  "{\"name\":\"Касса \\\"1\\\" \\\\ зал\",\"port\":\"USB001\",\"driver\":\"POS-80 \\\\ v2\","
                  "\"default\":true,\"network\":false,\"shared\":true,\"virtual\":false,\"work_offline\":true,"
                  "\"details\":true,\"usb_present\":false,\"status\":[\"paper_out\"],\"jobs\":7,"
                  "\"oldest_job_sec\":754,\"job_list\":["
                  "{\"id\":11,\"age_sec\":1,\"status\":[\"printing\"],\"status_text\":\"\",\"doc\":\"Чек №1\"},"
                  "{\"id\":12,\"age_sec\":0,\"status\":[\"error\"],\"status_text\":\"Нет бумаги\\t!\","
                  "\"doc\":\"Чек \\\"2\\\"\"},"
                  "{\"id\":13,\"age_sec\":0,\"status\":[],\"status_text\":\"\",\"doc\":\"C:\\\\x.txt\"},"
                  "{\"id\":14,\"age_sec\":0,\"status\":[\"paused\",\"user_intervention\"],\"status_text\":\"\","
                  "\"doc\":\"\"},"
                  "{\"id\":15,\"age_sec\":0,\"status\":[],\"status_text\":\"\",\"doc\":\"future\"}]},"
                  "{\"name\":\"Кухня\",\"port\":\"usb002\",\"driver\":\"D\",\"default\":false,\"network\":true,"
                  "\"shared\":false,\"virtual\":false,\"work_offline\":false,\"details\":true,\"usb_present\":false,"
                  "\"status\":[],\"jobs\":3,\"oldest_job_sec\":0,\"job_list\":["
                  "{\"id\":21,\"age_sec\":0,\"status\":[],\"status_text\":\"\",\"doc\":\"\"},"
                  "{\"id\":22,\"age_sec\":0,\"status\":[],\"status_text\":\"\",\"doc\":\"\"},"
                  "{\"id\":23,\"age_sec\":0,\"status\":[],\"status_text\":\"\",\"doc\":\"\"}]}]}\n");
    nlohmann::json parsed = nlohmann::json::parse(document);
    EXPECT_EQ(parsed["default"], "Касса \"1\" \\ зал");
    EXPECT_EQ(parsed["printers"][0]["job_list"][1]["doc"], "Чек \"2\"");
}

TEST_F(ListCommandTest, TheOldestOfTheTwentyJobsRead) {
    // The inventory keeps 20 jobs: an older 21st does not count, the spooler's
    // count still says 22.
    std::string jobs;
    for (int i = 1; i <= 22; ++i) {
        int age_ms = i == 20 ? 100999 : i == 21 ? 999000 : i * 1000;
        jobs += (i > 1 ? "," : "") + std::string("{\"id\":") + std::to_string(i) +
                ",\"age_ms\":" + std::to_string(age_ms) + "}";
    }
    nlohmann::json printer = nlohmann::json::parse(list(
        R"({"spooler": {"printers": [{"name": "P", "port": "LPT1:", "driver": "D", "jobs": [)" + jobs + "]}]}}"))
                                 ["printers"][0];
    EXPECT_EQ(printer["jobs"], 22);
    EXPECT_EQ(printer["oldest_job_sec"], 100);
    EXPECT_EQ(printer["job_list"].size(), 5u);
    EXPECT_EQ(printer["job_list"][4]["id"], 5);
}

TEST_F(ListCommandTest, AConnection) {
    std::string document = list(R"js({"spooler": {"connections": [{"name": "\\\\SHOP-PC\\Kitchen", "attributes": 0},
                                                                  {"name": "\\\\SHOP-PC\\Bar", "attributes": 8}]}})js");
    EXPECT_EQ(document,
              "{\"ok\":true,\"v\":\"1.1.0\",\"default\":\"\"," + kNoDevices +
                  ",\"printers\":["
                  "{\"name\":\"\\\\\\\\SHOP-PC\\\\Kitchen\",\"port\":\"\",\"driver\":\"\",\"default\":false,"
                  "\"network\":true,\"shared\":false,\"virtual\":false,\"work_offline\":false,\"details\":false,"
                  "\"usb_present\":null,\"status\":[],\"jobs\":0,\"oldest_job_sec\":0,\"job_list\":[]},"
                  "{\"name\":\"\\\\\\\\SHOP-PC\\\\Bar\",\"port\":\"\",\"driver\":\"\",\"default\":false,"
                  "\"network\":true,\"shared\":true,\"virtual\":false,\"work_offline\":false,\"details\":false,"
                  "\"usb_present\":null,\"status\":[],\"jobs\":0,\"oldest_job_sec\":0,\"job_list\":[]}]}\n");
}

TEST_F(ListCommandTest, UsbPresence) {
    const std::string printers = R"js("spooler": {"printers": [
        {"name": "a", "port": "USB001"}, {"name": "b", "port": "usb001"}, {"name": "c", "port": "USB002"},
        {"name": "d", "port": "USB1"}, {"name": "e", "port": "LPT1:"}, {"name": "f", "port": "USB"},
        {"name": "g", "port": "USB001A"}, {"name": "h", "port": "IP_10.0.0.9"}]})js";
    auto presence = [](const std::string& document) {
        std::string answers;
        const nlohmann::json parsed = nlohmann::json::parse(document);
        for (const nlohmann::json& printer : parsed["printers"]) {
            answers += printer["usb_present"].dump() + " ";
        }
        return answers;
    };
    EXPECT_EQ(presence(list("{" + kUsbPrinter + "," + printers + "}")),
              "true true false false null null null null ");
    // Nothing plugged in: a USB port is known to be empty.
    EXPECT_EQ(presence(list("{" + printers + "}")), "false false false false null null null null ");

    // The USB listing failed, or missed an interface: no USB port can be judged.
    std::string failed = list(R"({"usb": {"list_error": 5},)" + printers + "}");
    EXPECT_EQ(presence(failed), "null null null null null null null null ");
    EXPECT_NE(failed.find(R"("usb_ok":false,"usb":[],"lpt":[])"), std::string::npos);
    std::string incomplete = list(R"({"usb": {"interfaces": [{}, {"port_number": 1}]},)" + printers + "}");
    EXPECT_EQ(presence(incomplete), "null null null null null null null null ");
    EXPECT_NE(incomplete.find(R"("usb_ok":false,"usb":[{"port":"USB001",)"), std::string::npos);
}

TEST_F(ListCommandTest, DeviceIdsOnlyWhenAsked) {
    const std::string scenario =
        "{" + kUsbPrinter + R"(, "spooler": {"printers": [{"name": "XP-58", "port": "USB001", "driver": "D"}]}})";
    auto document = [](const std::string& device) {
        return "{\"ok\":true,\"v\":\"1.1.0\",\"default\":\"\",\"usb_ok\":true,\"usb\":[{\"port\":\"USB001\","
               "\"hwid\":\"USB\\\\VID_0416&PID_5011&REV_0200\",\"pnp\":\"USBPRINT\\\\XPrinterXP-58C5C2\"," +
               device +
               "}],\"lpt\":[],\"printers\":[{\"name\":\"XP-58\",\"port\":\"USB001\",\"driver\":\"D\","
               "\"default\":false,\"network\":false,\"shared\":false,\"virtual\":false,\"work_offline\":false,"
               "\"details\":true,\"usb_present\":true,\"status\":[],\"jobs\":0,\"oldest_job_sec\":0,"
               "\"job_list\":[]}]}\n";
    };
    const std::string plain = document(R"("asked":0,"mfg":"","mdl":"","cmd":"")");
    const std::string answered = document(R"("asked":2,"mfg":"XPrinter","mdl":"XP-58IIH","cmd":"ESC/POS")");

    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"list"}, {"LIST", "other"}, {"list", "idsx"}, {"List", ""}, {"list", "id"}}) {
        EXPECT_EQ(list(scenario, args), plain) << args.back();
        // The printer itself is not disturbed.
        EXPECT_EQ(sim::computer().call_counts["CreateFileW"], 0u) << args.back();
    }
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"list", "ids"}, {"list", "IDS"}, {"LiSt", "iDs", "extra"}}) {
        EXPECT_EQ(list(scenario, args), answered) << args[1];
    }

    // A job in a real queue: the devices are left alone and shown as not answering.
    std::string busy = list("{" + kUsbPrinter +
                                R"(, "spooler": {"printers": [{"name": "XP-58", "port": "USB001", "driver": "D",
                                   "jobs": [{"id": 1, "age_ms": 1000}]}]}})",
                            {"list", "ids"});
    EXPECT_NE(busy.find(R"("asked":1,"mfg":"","mdl":"","cmd":"")"), std::string::npos) << busy;
    EXPECT_EQ(sim::computer().call_counts["CreateFileW"], 0u);
}

TEST_F(ListCommandTest, TheOrderOfGathering) {
    list("{" + kUsbPrinter + R"(, "lpt": {"devices": [{"compatible_ids": ["LPTENUM\\EPSONTM-T88"],
                                                        "parent": {"port_name": "LPT1"}}]},
            "spooler": {"printers": [{"name": "XP-58", "port": "USB001", "driver": "D"}]}})",
         {"list", "ids"});
    // USB listing (interfaces), then LPTENUM (device infos), then the spooler,
    // and the devices are asked only once the printers are known.
    size_t usb_end = last_call("SetupDiEnumDeviceInterfaces");
    size_t lpt_start = first_call("SetupDiEnumDeviceInfo");
    size_t lpt_end = last_call("SetupDiEnumDeviceInfo");
    size_t spooler_start = first_call("EnumPrintersW");
    size_t spooler_end = last_call("EnumPrintersW");
    size_t device_id = first_call("CreateFileW");
    size_t size = sim::computer().call_log.size();
    ASSERT_LT(usb_end, size);
    ASSERT_LT(lpt_end, size);
    ASSERT_LT(device_id, size);
    EXPECT_LT(first_call("SetupDiGetClassDevsW"), first_call("SetupDiEnumDeviceInterfaces"));
    EXPECT_LT(usb_end, lpt_start);
    EXPECT_LT(lpt_end, spooler_start);
    EXPECT_LT(spooler_end, device_id);
    EXPECT_LT(last_call("DeviceIoControl"), first_call("WriteFile"));

    // The first listing is the USB one: failing it leaves the parallel port.
    sim::load_scenario("{" + kUsbPrinter + R"(, "lpt": {"devices": [{"compatible_ids": ["LPTENUM\\EPSONTM-T88"],
                                                                     "parent": {"port_name": "LPT1"}}]}})");
    sim::computer().faults.push_back({"SetupDiGetClassDevsW", 1, ERROR_GEN_FAILURE});
    RunResult result = run({"list"});
    EXPECT_NE(result.out.find(R"("usb_ok":false,"usb":[],"lpt":[{"port":"LPT1","pnp":"LPTENUM\\EPSONTM-T88"}])"),
              std::string::npos)
        << result.out;
    EXPECT_TRUE(result.leaks.empty());
}

TEST_F(ListCommandTest, AtAConsoleTheReportWithoutAPause) {
    const std::string scenario = "{" + kUsbPrinter + R"(, "stdout": "console",
        "spooler": {"printers": [{"name": "XP-58", "port": "USB001", "driver": "D"}]}})";
    sim::load_scenario(scenario);
    RunResult report = run({"report"});
    ASSERT_NE(report.console.find("Morvik — помощник печати"), std::string::npos);

    for (const std::vector<std::string>& args : {std::vector<std::string>{"list"}, {"list", "ids"}, {"LIST", "x"}}) {
        sim::load_scenario(scenario);
        RunResult result = run(args);
        EXPECT_EQ(result.exit_code, 0);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.console, report.console);  // device IDs asked, as the report always does
        EXPECT_EQ(sim::computer().call_counts["ReadConsoleW"], 0u);
        EXPECT_TRUE(result.leaks.empty());
    }
}

TEST_F(ListCommandTest, OutOfMemoryWhileBuildingEndsWith3AndWritesNothing) {
    const std::string scenario = "{" + kUsbPrinter + R"js(, "spooler": {"default": "Кухня", "printers": [
        {"name": "XP-58", "port": "USB001", "driver": "D"},
        {"name": "Кухня", "port": "USB002", "driver": "D", "jobs": [{"id": 3, "document": "Чек", "age_ms": 5000}]}],
        "connections": [{"name": "\\\\SHOP-PC\\Bar"}]}})js";
    sim::load_scenario(scenario);
    ASSERT_EQ(run({"list", "ids"}).exit_code, 0);
    const unsigned allocations = sim::computer().allocation_count;
    ASSERT_GT(allocations, 0u);

    // Gathering gives up quietly on a failed allocation; building the
    // document cannot. Whatever fails, the output is all or nothing.
    unsigned fatal = 0;
    for (unsigned nth = 1; nth <= allocations; ++nth) {
        sim::load_scenario(scenario);
        sim::computer().fail_allocation_nth = nth;
        RunResult result = run({"list", "ids"});
        if (result.exit_code == 3) {
            ++fatal;
            EXPECT_EQ(result.out, "") << nth;
            EXPECT_EQ(sim::computer().call_log.back(), "ExitProcess") << nth;
        } else {
            EXPECT_EQ(result.exit_code, 0) << nth;
            EXPECT_TRUE(nlohmann::json::accept(result.out)) << nth << ": " << result.out;
            EXPECT_TRUE(result.leaks.empty()) << nth;
        }
    }
    EXPECT_GT(fatal, 0u);

    // The very last allocation belongs to the document.
    sim::load_scenario(scenario);
    sim::computer().fail_allocation_nth = allocations;
    RunResult last = run({"list", "ids"});
    EXPECT_EQ(last.exit_code, 3);
    EXPECT_EQ(last.out, "");
}

}  // namespace
