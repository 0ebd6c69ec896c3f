// Call log, fault injection and the audit of open resources.
#include <algorithm>

#include "computer.h"

namespace sim {

bool call_fails(const char* function) {
    apply_due_events();  // a call made after Sleep sees what happened meanwhile
    Computer& pc = computer();
    pc.call_log.push_back(function);
    unsigned count = ++pc.call_counts[function];
    for (const FaultRule& rule : pc.faults) {
        if (rule.function == function && (rule.nth == 0 || rule.nth == count)) {
            if (rule.error) pc.last_error = *rule.error;
            return true;
        }
    }
    if (pc.stale_error) pc.last_error = *pc.stale_error;
    return false;
}

void track(const void* resource, ResourceKind kind, const std::string& name) {
    computer().open_resources[resource] = Resource{kind, name, computer().current_thread};
}

bool untrack(const void* resource) {
    return computer().open_resources.erase(resource) == 1;
}

bool is_open(const void* resource, ResourceKind kind) {
    const auto& open = computer().open_resources;
    auto it = open.find(resource);
    return resource != nullptr && it != open.end() && it->second.kind == kind;
}

const char* kind_name(ResourceKind kind) {
    switch (kind) {
        case ResourceKind::printer_handle: return "printer handle";
        case ResourceKind::document: return "document";
        case ResourceKind::page: return "page";
        case ResourceKind::device_context: return "device context";
        case ResourceKind::font: return "font";
        case ResourceKind::registry_key: return "registry key";
        case ResourceKind::device_list: return "device list";
        case ResourceKind::device_handle: return "device handle";
        case ResourceKind::local_memory: return "local memory";
        case ResourceKind::heap_block: return "heap block";
        case ResourceKind::winsock: return "winsock";
        case ResourceKind::socket: return "socket";
        case ResourceKind::address_info: return "address info";
        case ResourceKind::thread: return "thread";
        case ResourceKind::event: return "event";
        case ResourceKind::misuse: return "misuse:";
    }
    return "resource";
}

std::vector<std::string> leaks() {
    std::vector<std::string> result;
    for (const auto& [resource, what] : computer().open_resources) {
        if (held_by_running_thread(resource)) continue;
        std::string kind = kind_name(what.kind);
        result.push_back(what.name.empty() ? kind : kind + " " + what.name);
    }
    // Addresses differ from run to run; names in order read the same every time.
    std::sort(result.begin(), result.end());
    return result;
}

}  // namespace sim
