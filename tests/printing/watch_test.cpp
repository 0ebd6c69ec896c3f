#include <string.h>

#include <nlohmann/json.hpp>
#include <string>

#include "devices/device_inventory.h"
#include "harness.h"

namespace {

const char kUsbDevice[] = R"js(, "usb": {"interfaces": [{"port_number": 1, "path": "\\\\?\\usb#vid_0416&pid_5011#1",
    "hardware_ids": ["USB\\VID_0416&PID_5011"], "child": {"compatible_ids": ["USBPRINT\\XPrinterXP-58C5C2"]}}]})js";

// What follows "printer_status" when no USB printer is attached.
const char kNoDevices[] = R"("usb_ok":true,"usb":[],"lpt":[]})"
                          "\n";

class WatchTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        // A real process starts with empty device tables; earlier tests in this one filled them.
        memset(&device_inventory, 0, sizeof device_inventory);
    }
    // The default receipt printer on USB001 with these jobs; more printer keys and top-level keys.
    void shop(const std::string& jobs = R"([{"id": 12}])", const std::string& printer = "",
              const std::string& rest = "") {
        sim::load_scenario(R"({"spooler": {"default": "XP-58", "printers": [{"name": "XP-58", "port": "USB001",
            "driver": "XP-58", "jobs": )" +
                           jobs + printer + "}]}" + rest + "}");
    }
    RunResult watch(const std::vector<std::string>& args) {
        RunResult result = run(args);
        EXPECT_TRUE(nlohmann::json::accept(result.out)) << result.out;
        EXPECT_TRUE(result.leaks.empty());
        return result;
    }
    nlohmann::json verdict(const std::vector<std::string>& args) { return nlohmann::json::parse(watch(args).out); }
};

TEST_F(WatchTest, DoneWhenTheJobLeaves) {
    shop(R"([{"id": 12}])", "",
         std::string(R"(, "timeline": [{"at_ms": 1500, "printer": "XP-58", "remove_job": 12}])") + kUsbDevice);
    RunResult result = watch({"watch", "XP-58", "12"});
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.out,
              R"({"ok":true,"fate":"done","ms":1600,"job":12,"printer":"XP-58","port":"USB001","is_default":true,)"
              R"("virtual":false,"work_offline":false,"usb_present":true,"jobs_in_queue":0,"printer_status":[],)"
              R"("job_status":[],"job_status_text":"","usb_ok":true,"usb":[{"port":"USB001",)"
              R"("hwid":"USB\\VID_0416&PID_5011","pnp":"USBPRINT\\XPrinterXP-58C5C2","asked":0,"mfg":"","mdl":"",)"
              R"("cmd":""}],"lpt":[]})"
              "\n");
    EXPECT_EQ(sim::computer().call_counts["Sleep"], 4u);
}

TEST_F(WatchTest, GoneOrFinishedAtTheFirstPoll) {
    shop(R"([{"id": 12, "status": 64, "status_text": "Out of paper"}])", R"(, "status": 16)");
    RunResult gone = watch({"watch", "XP-58", "99"});
    EXPECT_EQ(gone.exit_code, 0);
    EXPECT_EQ(gone.out,
              std::string(R"({"ok":true,"fate":"done","ms":0,"job":99,"printer":"XP-58","port":"USB001",)"
                          R"("is_default":true,"virtual":false,"work_offline":false,"usb_present":false,)"
                          R"("jobs_in_queue":1,"printer_status":["paper_out"],"job_status":[],"job_status_text":"",)") +
                  kNoDevices);

    // Printed, deleted or complete is done while still listed, trouble or not.
    for (int finished : {0x80, 0x100, 0x1000}) {
        shop("[{\"id\": 12, \"status\": " + std::to_string(finished | 0x40) + R"(, "status_text": "Out of paper"}])",
             R"(, "status": 16)");
        nlohmann::json document = verdict({"watch", "XP-58", "12"});
        EXPECT_EQ(document["fate"], "done") << finished;
        EXPECT_EQ(document["ms"], 0);
        EXPECT_EQ(document["job"], 12);
        EXPECT_EQ(document["job_status"], nlohmann::json::array());
        EXPECT_EQ(document["job_status_text"], "");
        EXPECT_EQ(document["jobs_in_queue"], 1);
    }
}

TEST_F(WatchTest, ProblemLastingMoreThan2999MsIsAnError) {
    shop(R"([{"id": 12, "status": 64, "status_text": "Нет бумаги"}])", R"(, "status": 16)");
    RunResult result = watch({"watch", "XP-58", "12"});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.out,
              std::string(R"({"ok":false,"fate":"error","ms":3200,"job":12,"printer":"XP-58","port":"USB001",)"
                          R"("is_default":true,"virtual":false,"work_offline":false,"usb_present":false,)"
                          R"("jobs_in_queue":1,"printer_status":["paper_out"],"job_status":["paper_out"],)"
                          R"("job_status_text":"Нет бумаги",)") +
                  kNoDevices);

    // The streak counts from the first poll that saw the problem (1200 ms), not from the start.
    shop(R"([{"id": 12}])", "", R"(, "timeline": [{"at_ms": 1000, "printer": "XP-58", "set_status": 16}])");
    nlohmann::json late = verdict({"watch", "XP-58", "12"});
    EXPECT_EQ(late["fate"], "error");
    EXPECT_EQ(late["ms"], 4400);

    // "Work offline" is trouble as well.
    shop(R"([{"id": 12}])", R"(, "attributes": 1024)");
    nlohmann::json offline = verdict({"watch", "XP-58", "12"});
    EXPECT_EQ(offline["fate"], "error");
    EXPECT_EQ(offline["ms"], 3200);
    EXPECT_EQ(offline["work_offline"], true);
    EXPECT_EQ(offline["printer_status"], nlohmann::json::array());
}

TEST_F(WatchTest, TroubleThatComesAndGoesEndsStuck) {
    shop(R"([{"id": 12, "status_text": "Ждёт"}])", R"(, "status": 16)",
         R"(, "timeline": [{"at_ms": 2000, "printer": "XP-58", "set_status": 0},
                           {"at_ms": 2100, "printer": "XP-58", "set_status": 16}])");
    RunResult result = watch({"watch", "XP-58", "12", "5000"});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(
        result.out,
        std::string(R"({"ok":false,"fate":"stuck","ms":5200,"job":12,"printer":"XP-58","port":"USB001",)"
                    R"("is_default":true,"virtual":false,"work_offline":false,"usb_present":false,)"
                    R"("jobs_in_queue":1,"printer_status":["paper_out"],"job_status":[],"job_status_text":"Ждёт",)") +
            kNoDevices);
}

TEST_F(WatchTest, LimitsAreClampedTo1To120Seconds) {
    const std::pair<const char*, int> cases[] = {{"0", 1200},    {"500", 1200},      {"x", 1200},
                                                 {"1600", 1600}, {"120000", 120000}, {"200000", 120000}};
    for (const auto& [limit, ms] : cases) {
        shop();
        nlohmann::json document = verdict({"watch", "XP-58", "12", limit});
        EXPECT_EQ(document["fate"], "stuck") << limit;
        EXPECT_EQ(document["ms"], ms) << limit;
    }
}

TEST_F(WatchTest, JobZeroWaitsForTheWholeQueue) {
    shop(R"([{"id": 12}, {"id": 13}])", "",
         R"(, "timeline": [{"at_ms": 1000, "printer": "XP-58", "remove_job": 13},
                           {"at_ms": 2000, "printer": "XP-58", "remove_job": 12}])");
    RunResult result = watch({"watch", "XP-58"});
    EXPECT_EQ(result.exit_code, 0);
    nlohmann::json document = nlohmann::json::parse(result.out);
    EXPECT_EQ(document["fate"], "done");
    EXPECT_EQ(document["ms"], 2000);
    EXPECT_EQ(document["job"], 12);  // the last job the last finding poll listed

    shop("[]");
    document = verdict({"watch", "XP-58", "0"});
    EXPECT_EQ(document["ms"], 0);
    EXPECT_EQ(document["job"], 0);

    // A job submitted more than 5 s before since_ms is not waited for.
    shop();
    document = verdict({"watch", "XP-58", "0", "20000", std::to_string(1772345107250ULL + 5001)});
    EXPECT_EQ(document["fate"], "done");
    EXPECT_EQ(document["job"], 0);
}

TEST_F(WatchTest, NoPrinterAndOpenFailed) {
    for (const char* spooler : {R"({"spooler": {"printers": [{"name": "XP-58"}]}})",
                                R"({"spooler": {"default": "XP-58", "default_error": 1722}})"}) {
        sim::load_scenario(spooler);
        RunResult result = watch({"watch", "", "12"});
        EXPECT_EQ(result.exit_code, 1);
        EXPECT_EQ(result.out,
                  "{\"ok\":false,\"fate\":\"no_printer\",\"error\":\"NO_PRINTER\","
                  "\"message\":\"Принтер не выбран, и принтера по умолчанию в Windows нет\"}\n");
        EXPECT_EQ(sim::computer().call_counts["OpenPrinterW"], 0u);
    }
    shop();
    RunResult unknown = watch({"watch", "XP-80", "12"});
    EXPECT_EQ(unknown.exit_code, 1);
    EXPECT_EQ(unknown.out,
              "{\"fate\":\"open_failed\",\"ok\":false,\"error\":\"OPEN_FAILED\",\"win32\":1801,"
              "\"message\":\"The printer name is invalid\",\"printer\":\"XP-80\"}\n");
}

TEST_F(WatchTest, PortDefaultAndVirtualAsSeenAtTheEnd) {
    struct Case {
        std::string printer, rest;
        const char* usb_present;
        bool is_virtual;
    };
    const Case cases[] = {
        {"", kUsbDevice, "true", false},
        {"", "", "false", false},
        {R"(, "port": "LPT1")", kUsbDevice, "null", false},
        {"", R"(, "usb": {"list_error": 5})", "null", false},
        {R"(, "port": "FILE:")", "", "null", true},
    };
    for (const Case& c : cases) {
        shop(R"([{"id": 12}])", c.printer, c.rest);
        nlohmann::json document = verdict({"watch", "XP-58", "99"});
        EXPECT_EQ(document["usb_present"].dump(), c.usb_present) << c.printer << c.rest;
        EXPECT_EQ(document["virtual"], c.is_virtual);
    }

    // The default compared without regard to ASCII case.
    shop();
    nlohmann::json document = verdict({"watch", "xp-58", "99"});
    EXPECT_EQ(document["printer"], "xp-58");
    EXPECT_EQ(document["is_default"], true);

    // The watched queue stays the one opened when the default changes, goes away or can't be read.
    for (const char* change : {R"("set_default": "Office")", R"("set_default": null)"}) {
        shop(R"([{"id": 12}])", "",
             std::string(R"(, "timeline": [{"at_ms": 1000, )") + change +
                 R"(}, {"at_ms": 1500, "printer": "XP-58", "remove_job": 12}])");
        document = verdict({"watch", "", "12"});
        EXPECT_EQ(document["printer"], "XP-58") << change;
        EXPECT_EQ(document["is_default"], false);
        EXPECT_EQ(document["ms"], 1600);
    }
    shop();
    sim::computer().faults.push_back({"GetDefaultPrinterW", 2, RPC_S_SERVER_UNAVAILABLE});
    document = verdict({"watch", "", "99"});
    EXPECT_EQ(document["printer"], "XP-58");
    EXPECT_EQ(document["is_default"], false);
}

}  // namespace
