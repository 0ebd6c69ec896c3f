// simwin: runs morvik-helper's wmain on a simulated Windows computer described
// by a scenario file. Standard output gets exactly what the program writes;
// simwin's own complaints go to standard error with exit code 125.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "computer.h"

namespace {

int usage(const char* why) {
    std::fprintf(stderr, "simwin: %s\nusage: simwin --scenario FILE [--state-out FILE] [--console] [--] ARGS...\n", why);
    return 125;
}

}  // namespace

int main(int argc, char** argv) {
    std::string scenario_path, state_path;
    bool console = false;
    int first_arg = argc;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--scenario") == 0 && i + 1 < argc) {
            scenario_path = argv[++i];
        } else if (std::strcmp(argv[i], "--state-out") == 0 && i + 1 < argc) {
            state_path = argv[++i];
        } else if (std::strcmp(argv[i], "--console") == 0) {
            console = true;
        } else if (std::strcmp(argv[i], "--") == 0) {
            first_arg = i + 1;
            break;
        } else if (std::strncmp(argv[i], "--", 2) == 0) {
            return usage((std::string("unknown option ") + argv[i]).c_str());
        } else {
            first_arg = i;
            break;
        }
    }
    if (scenario_path.empty()) return usage("--scenario FILE is required");

    std::ifstream file(scenario_path, std::ios::binary);
    if (!file) return usage(("cannot read " + scenario_path).c_str());
    std::ostringstream text;
    text << file.rdbuf();
    try {
        sim::load_scenario(text.str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "simwin: %s: %s\n", scenario_path.c_str(), e.what());
        return 125;
    }
    if (console) sim::computer().stdout_kind = sim::StdoutKind::console;
    sim::computer().forward_output = true;

    std::vector<std::string> args(argv + first_arg, argv + argc);
    int code = sim::run_program(args);

    if (!state_path.empty()) {
        std::ofstream state(state_path, std::ios::binary);
        state << sim::state_json();
        if (!state) {
            std::fprintf(stderr, "simwin: cannot write %s\n", state_path.c_str());
            return 125;
        }
    }
    return code;
}
