#include "shop_scenario.h"

#include <cstdio>
#include <nlohmann/json.hpp>

using nlohmann::json;

const char kSendQueue[] = "Касса 1";
const char kStatusQueue[] = "Касса 1";

namespace {

const int kQueues = 64;        // MAX_PRINTERS: every slot of the program's table is used
const int kJobsPerQueue = 20;  // MAX_JOBS_PER_PRINTER: every job the program reads
const int kUsbPrinters = 16;
const int kNetworkQueues = 20;

// PRINTER_ATTRIBUTE_LOCAL | PRINTER_ATTRIBUTE_DO_COMPLETE_FIRST: what a fresh local queue has.
const unsigned kLocalQueue = 0x240;

struct Model {
    const char* driver;
    const char* hardware_id;  // USB\VID_...&PID_...
    const char* print_id;     // the USBPRINT id of its printer child
    const char* device_id;    // its IEEE 1284 device ID, without the length bytes
};

const Model kModels[] = {
    {"XP-58 (copy 1)", "VID_0416&PID_5011", "XPrinterXP-58",
     "MANUFACTURER:XPrinter;MODEL:XP-58IIH;COMMAND SET:ESC/POS;CLASS:PRINTER;"},
    {"POS-80 Printer", "VID_0483&PID_5743", "POS80Printer",
     "MFG:POS;MDL:POS-80C;CMD:ESC/POS;CLS:PRINTER;DES:Thermal Receipt Printer;"},
    {"EPSON TM-T88V Receipt", "VID_04B8&PID_0202", "EPSONTM-T88V",
     "MFG:EPSON;CMD:ESC/POS;MDL:TM-T88V;CLS:PRINTER;DES:EPSON TM-T88V;"},
};

std::string hex_of(const std::string& bytes) {
    std::string hex;
    char pair[3];
    for (unsigned char byte : bytes) {
        std::snprintf(pair, sizeof pair, "%02x", byte);
        hex += pair;
    }
    return hex;
}

// The answer as the device sends it: its whole length first, two bytes, most significant first.
json device_id_answer(const char* text) {
    std::string body(text);
    size_t length = body.size() + 2;
    std::string bytes;
    bytes += static_cast<char>(length >> 8);
    bytes += static_cast<char>(length & 0xff);
    return json{{"hex", hex_of(bytes + body)}};
}

// Most jobs wait quietly; the first one is being printed, or stuck without paper.
unsigned job_status(int queue, int j) {
    if (j == 0) return queue % 11 == 5 ? 0x42 : 0x10;  // error and paper out, or printing
    if (j % 7 == 3) return 0x8;                        // spooling
    if (j % 9 == 5) return 0x1;                        // paused
    if (j % 10 == 9) return 0x2;                       // error
    return 0;
}

json job(int queue, int j) {
    int number = 100 + queue * kJobsPerQueue + j;
    static const char* const kDocuments[] = {"Чек №", "Заказ на кухню №", "Отчёт о закрытии смены №",
                                             "Morvik ESC/POS "};
    unsigned status = job_status(queue, j);
    json item = {
        {"id", number},
        {"document", kDocuments[j % 4] + std::to_string(number)},
        {"status", status},
        // The first job is the oldest: a queue that stopped taking jobs some minutes ago.
        {"age_ms", (kJobsPerQueue - j) * 9000 + queue * 700},
    };
    if (status & 0x40) item["status_text"] = "Нет бумаги";
    if (status == 0x2) item["status_text"] = "Принтер не отвечает";
    return item;
}

struct QueueKind {
    const char* name;  // the queue's number follows, then `suffix`
    const char* suffix;
    const char* port;    // null: a USB port
    bool numbered_port;  // a network address: the number follows
    const char* driver;  // null: the driver of the queue's model
};

// Eight kinds of queue in turn: receipt printers on USB ports (a third of
// those ports have nothing plugged in), a parallel one, a PDF and a network one.
const QueueKind kKinds[] = {
    {"Касса ", "", nullptr, false, nullptr},
    {"Кухня ", "", nullptr, false, nullptr},
    {"Бар ", "", nullptr, false, nullptr},
    {"Чековый принтер ", "", nullptr, false, nullptr},
    {"XP-58 (копия ", ")", nullptr, false, "XP-58 (copy 1)"},
    {"EPSON TM-T88V ", "", "LPT1:", false, "EPSON TM-T88V Receipt"},
    {"Microsoft Print to PDF ", "", "PORTPROMPT:", false, "Microsoft Print To PDF"},
    {"Офис ", "", "IP_192.168.1.", true, "Generic / Text Only"},
};

std::string port_of(const QueueKind& kind, int i, int number) {
    if (kind.port == nullptr) {
        char usb[16];
        std::snprintf(usb, sizeof usb, "USB%03d", i % 24 + 1);
        return usb;
    }
    return kind.numbered_port ? kind.port + std::to_string(20 + number) : kind.port;
}

json queue(int i) {
    const QueueKind& kind = kKinds[i % 8];
    int number = i / 8 + 1;
    unsigned attributes = kLocalQueue;
    if (i == 0) attributes |= 0x4;        // the default
    if (i % 6 == 1) attributes |= 0x8;    // shared
    if (i % 9 == 4) attributes |= 0x400;  // work offline
    unsigned status = 0;
    if (i % 7 == 3) status |= 0x1;    // paused
    if (i % 11 == 5) status |= 0x12;  // error, paper out
    if (i % 13 == 8) status |= 0x80;  // offline
    if (i % 5 == 2) status |= 0x400;  // printing
    json jobs = json::array();
    for (int j = 0; j < kJobsPerQueue; ++j) jobs.push_back(job(i, j));
    return {
        {"name", kind.name + std::to_string(number) + kind.suffix},
        {"port", port_of(kind, i, number)},
        {"driver", kind.driver != nullptr ? kind.driver : kModels[i % 3].driver},
        {"attributes", attributes},
        {"status", status},
        {"jobs", jobs},
    };
}

json usb_printer(int k) {
    const Model& model = kModels[k % 3];
    std::string hardware = std::string("USB\\") + model.hardware_id;
    std::string vid_pid = model.hardware_id;
    for (char& c : vid_pid) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    json answer = device_id_answer(model.device_id);
    return {
        {"port_number", k},
        {"base_name", "USB"},
        {"path",
         "\\\\?\\usb#" + vid_pid + "#5&1a2b3c&0&" + std::to_string(k) + "#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}"},
        {"hardware_ids", json::array({hardware + "&REV_0200", hardware})},
        {"child",
         {{"compatible_ids", json::array({std::string("USBPRINT\\") + model.print_id + "C5C2"})},
          {"hardware_ids", json::array({std::string("USBPRINT\\") + model.print_id})}}},
        {"device_id", {{"access_0", answer}, {"generic_read", answer}}},
    };
}

}  // namespace

std::string network_shop_scenario() {
    json printers = json::array();
    json ports = json::object();
    json hosts = json::object();
    for (int i = 0; i < kNetworkQueues; ++i) {
        std::string address = "192.168.1." + std::to_string(100 + i);
        std::string port = "IP_" + address;
        printers.push_back({{"name", "Кухня " + std::to_string(i + 1)}, {"port", port}, {"driver", "POS-80 Printer"},
                            {"attributes", kLocalQueue}});
        ports[port] = {{"HostName", ""}, {"IPAddress", address}, {"PortNumber", 9100}, {"Protocol", 1}};
        // Most answer; every fifth is switched off.
        hosts[address] = {{"tcp", {{"9100", i % 5 == 4 ? "silent" : "answers"}}}, {"delay_ms", 2 + i}};
    }
    json scenario = {
        {"stdout", "pipe"},
        {"clock", {{"utc", "2026-03-01T06:05:07.250Z"}, {"tick_ms", 5000}}},
        {"spooler", {{"default", "Кухня 1"}, {"printers", printers}}},
        {"registry", {{"tcp_ports", ports}}},
        {"network", {{"hosts", hosts}}},
    };
    return scenario.dump(2) + "\n";
}

std::string status_scenario(bool silent) {
    json printer = usb_printer(1);
    printer["escpos"] = silent ? json("silent") : json{{"1", "16"}, {"2", "12"}, {"3", "12"}, {"4", "12"}};
    json queues = json::array(
        {{{"name", kStatusQueue}, {"port", "USB001"}, {"driver", kModels[1].driver}, {"attributes", kLocalQueue}}});
    json scenario = {
        {"stdout", "pipe"},
        {"clock", {{"utc", "2026-03-01T06:05:07.250Z"}, {"tick_ms", 5000}}},
        {"spooler", {{"default", kStatusQueue}, {"printers", queues}}},
        {"usb", {{"interfaces", json::array({printer})}}},
    };
    return scenario.dump(2) + "\n";
}

std::string shop_scenario() {
    json printers = json::array();
    for (int i = 0; i < kQueues; ++i) printers.push_back(queue(i));
    json interfaces = json::array();
    for (int k = 1; k <= kUsbPrinters; ++k) interfaces.push_back(usb_printer(k));
    json parallel = {
        {"compatible_ids", json::array({"LPTENUM\\EPSONTM-T88"})},
        {"hardware_ids", json::array({"LPTENUM\\EPSONTM-T88C2A1"})},
        {"parent", {{"port_name", "LPT1"}}},
    };
    json scenario = {
        {"stdout", "pipe"},
        {"clock", {{"utc", "2026-03-01T06:05:07.250Z"}, {"utc_offset_minutes", 180}, {"tick_ms", 5000}}},
        {"spooler", {{"default", kSendQueue}, {"printers", printers}}},
        {"usb", {{"interfaces", interfaces}}},
        {"lpt", {{"devices", json::array({parallel})}}},
    };
    return scenario.dump(2) + "\n";
}
