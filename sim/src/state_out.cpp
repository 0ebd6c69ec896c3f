// The final state of the simulated computer, as simwin's --state-out writes it.
#include <nlohmann/json.hpp>

#include "computer.h"

namespace sim {

std::string state_json() {
    nlohmann::ordered_json state;
    state["printers"] = nlohmann::ordered_json::array();
    state["leaks"] = leaks();
    return state.dump(2) + "\n";
}

}  // namespace sim
