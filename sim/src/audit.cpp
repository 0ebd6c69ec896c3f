// Call log, fault injection and the audit of open resources.
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
    return false;
}

void track(const void* resource, const std::string& kind, const std::string& name) {
    computer().open_resources[resource] = Resource{kind, name};
}

bool untrack(const void* resource) {
    return computer().open_resources.erase(resource) == 1;
}

std::vector<std::string> leaks() {
    std::vector<std::string> result;
    for (const auto& [resource, what] : computer().open_resources) {
        result.push_back(what.name.empty() ? what.kind : what.kind + " " + what.name);
    }
    return result;
}

}  // namespace sim
