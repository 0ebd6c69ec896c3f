#include "documents/net_section.h"

#include "output/json.h"

namespace {

// The answers' words; NET_NOT_ASKED has none.
const char* answer_word(NetAnswer answer) {
    switch (answer) {
        case NET_NOT_ASKED: return nullptr;
        case NET_ANSWERS: return "answers";
        case NET_REFUSED: return "refused";
        case NET_SILENT: return "silent";
        case NET_NO_ADDRESS: return "no_address";
        case NET_FAILED: return "failed";
    }
    return nullptr;
}

void append_net_port(TextBuffer* document, const NetPort& port) {
    append_json_member(document, "{\"port\":", port.port);
    append_json_member(document, ",\"host\":", port.host);
    append_format(document, ",\"tcp\":%lu,\"protocol\":\"%s\"", static_cast<unsigned long>(port.tcp),
                  port.protocol == NET_PROTOCOL_LPR ? "lpr" : "raw");
    append_json_member(document, ",\"queue\":", port.queue);
    if (port.answer == NET_NOT_ASKED) {
        append(document, ",\"asked\":0}");
        return;
    }
    append_format(document, ",\"asked\":1,\"answer\":\"%s\",\"ms\":%lu,\"win32\":%lu}", answer_word(port.answer),
                  static_cast<unsigned long>(port.ms), static_cast<unsigned long>(port.win32));
}

}  // namespace

void append_net_section(TextBuffer* document, const NetPorts* ports) {
    append(document, "\"net\":[");
    for (int i = 0; ports != nullptr && i < ports->count; ++i) {
        if (i > 0) append(document, ",");
        append_net_port(document, ports->ports[i]);
    }
    append(document, "]");
}
