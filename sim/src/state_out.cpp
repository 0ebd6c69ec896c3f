// The final state of the simulated computer, as simwin's --state-out writes it.
#include <nlohmann/json.hpp>

#include "computer.h"

namespace sim {

namespace {

std::string hex_of(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char b : bytes) {
        hex.push_back(kDigits[b >> 4]);
        hex.push_back(kDigits[b & 15]);
    }
    return hex;
}

}  // namespace

std::string state_json() {
    using nlohmann::ordered_json;
    ordered_json state;
    state["printers"] = ordered_json::array();
    for (const Printer& printer : computer().spooler.printers) {
        ordered_json entry;
        entry["name"] = utf16_to_utf8(printer.name);
        entry["jobs"] = ordered_json::array();
        for (const StartedJob& job : printer.started) {
            ordered_json started{{"id", job.id},
                                 {"document", utf16_to_utf8(job.document)},
                                 {"datatype", utf16_to_utf8(job.datatype)},
                                 {"bytes_hex", hex_of(job.bytes)},
                                 {"pages", job.pages},
                                 {"ended", job.ended},
                                 {"deleted", job.deleted}};
            if (job.aborted) started["aborted"] = true;
            entry["jobs"].push_back(started);
        }
        entry["deleted_job_ids"] = printer.deleted_job_ids;
        entry["gdi_docs"] = ordered_json::array();
        for (const GdiDoc& doc : printer.gdi_docs) {
            ordered_json text = ordered_json::array();
            for (const GdiText& drawn : doc.text) {
                text.push_back(ordered_json{{"x", drawn.x},
                                            {"y", drawn.y},
                                            {"text", utf16_to_utf8(drawn.text)},
                                            {"font", ordered_json{{"face", utf16_to_utf8(drawn.font.face)},
                                                                  {"height", drawn.font.height},
                                                                  {"weight", drawn.font.weight}}}});
            }
            ordered_json gdi_doc{{"job", doc.job},
                                 {"document", utf16_to_utf8(doc.document)},
                                 {"pages", doc.pages},
                                 {"ended", doc.ended}};
            if (doc.aborted) gdi_doc["aborted"] = true;
            gdi_doc["text"] = text;
            entry["gdi_docs"].push_back(gdi_doc);
        }
        state["printers"].push_back(entry);
    }
    state["leaks"] = leaks();
    // Every connection the program attempted, with the rule the network applied to it.
    state["connections"] = ordered_json::array();
    for (const Connection& connection : computer().network.connections) {
        state["connections"].push_back(ordered_json{{"address", connection.address},
                                                    {"port", connection.port},
                                                    {"outcome", rule_name(connection.outcome)},
                                                    {"at_ms", connection.at_ms}});
    }
    state["stdout_flushes"] = computer().flush_count;
    // Every write to a device or a connection, in order.
    state["sent"] = ordered_json::array();
    for (const SentBytes& sent : computer().sent) {
        state["sent"].push_back(ordered_json{{"to", sent.to}, {"hex", hex_of(sent.bytes)}});
    }
    return state.dump(2) + "\n";
}

}  // namespace sim
