// Whole commands of the program on a large simulated shop computer: what one
// run of "list", "report" and "send" costs, in time, allocations and output;
// and "status" of a receipt printer on a till, in the simulated time it waits.
// Times include the simulated Windows the program calls; compare them with
// each other and across changes, not with a real spooler.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "computer.h"
#include "devices/device_inventory.h"
#include "inventory/printer_inventory.h"
#include "output/output.h"
#include "shop_scenario.h"

namespace {

const size_t kSendBytes = 8u << 20;  // the most "send" accepts

std::string shop;           // the scenario texts, made once
std::string network_shop;
std::string status_ready;   // a till whose USB receipt printer answers
std::string status_silent;  // and one whose printer never does
std::string send_input;     // 8 MiB of receipts, made once

// A run's computer: its scenario and what is on standard input; and the exit
// code the run must end with.
struct Setting {
    const std::string* scenario;
    const std::string* input;
    int exit_code;
};

// The computer as a new process finds it: the simulated machine loaded anew.
void fresh_process(const Setting& setting) {
    sim::reset();
    sim::load_scenario(*setting.scenario);
    if (setting.input != nullptr) sim::computer().stdin_state.bytes = *setting.input;
}

}  // namespace

// The measured part alone, by a name scripts/bench hands to callgrind, so
// that its instruction count leaves out the untimed reload.
extern "C" __attribute__((noinline)) int bench_timed_run(const std::vector<std::string>& args) {
    int code = sim::run_program(args);
    // Not a tail call: callgrind must see this function return to stop counting.
    benchmark::DoNotOptimize(code);
    return code;
}

namespace {

// What is wrong with a run that just ended; empty when nothing is.
std::string problem_with_run(int code, int expected_code, const char* expected) {
    if (code != expected_code) return "exit code " + std::to_string(code);
    if (!sim::leaks().empty()) return "left open: " + sim::leaks().front();
    const std::string& out = sim::computer().stdout_bytes;
    if (out.find(expected) == std::string::npos) return "unexpected output: " + out.substr(0, 200);
    return "";
}

// One untimed run first: a command that fails, leaks or writes something else
// would make every number below meaningless.
bool check_run(benchmark::State& state, const std::vector<std::string>& args, const Setting& setting,
               const char* expected) {
    fresh_process(setting);
    std::string problem = problem_with_run(sim::run_program(args), setting.exit_code, expected);
    if (problem.empty()) return true;
    state.SkipWithError(problem.c_str());
    return false;
}

// The reload of the computer runs with the clock stopped: it stands for
// process start and the spooler's own state, which are not the program's
// cost. Stopping and starting the clock costs about a microsecond here,
// against runs of a millisecond or more, so it does not colour the result;
// "scenario_reload" shows what was left out.
void run_command(benchmark::State& state, std::vector<std::string> args, Setting setting, const char* expected) {
    if (!check_run(state, args, setting, expected)) return;
    double allocations = 0;
    double output = 0;
    double calls = 0;
    double connections = 0;
    double simulated_ms = 0;
    bool failed = false;
    for (auto _ : state) {
        state.PauseTiming();
        fresh_process(setting);
        state.ResumeTiming();
        failed |= bench_timed_run(args) != setting.exit_code;
        allocations += sim::computer().allocation_count;
        output += static_cast<double>(sim::computer().stdout_bytes.size());
        calls += static_cast<double>(sim::computer().call_log.size());
        connections += sim::computer().call_counts["connect"];
        simulated_ms += static_cast<double>(sim::computer().clock.elapsed_ms);
    }
    if (failed) state.SkipWithError("a timed run failed");
    state.counters["allocs"] = benchmark::Counter(allocations, benchmark::Counter::kAvgIterations);
    state.counters["out_bytes"] = benchmark::Counter(output, benchmark::Counter::kAvgIterations);
    // Simulated Windows calls: on a real computer each spooler call is a trip to the spooler service.
    state.counters["win_calls"] = benchmark::Counter(calls, benchmark::Counter::kAvgIterations);
    // Connections to network printers: the till's plain "list" must make none.
    state.counters["connects"] = benchmark::Counter(connections, benchmark::Counter::kAvgIterations);
    // What the run waited on the simulated clock (a printer's answers, a silent one's limit): on a real
    // computer that is wall time on top of the time measured here.
    state.counters["sim_ms"] = benchmark::Counter(simulated_ms, benchmark::Counter::kAvgIterations);
    const std::string* input = setting.input;
    if (input != nullptr) state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(input->size()));
}

void scenario_reload(benchmark::State& state) {
    for (auto _ : state) fresh_process(Setting{&shop, nullptr, 0});
}

// Receipts as the point-of-sale application sends them (code page 866 text
// between ESC/POS commands), repeated up to `size` bytes.
std::string receipts(size_t size) {
    static const char kReceipt[] =
        "\033@\033a\001\033!\060\x8c\xa0\xa3\xa0\xa7\xa8\xad\n"  // centred, large: the shop's name
        "\033!\000\033a\000\x97\xa5\xaa N 1042        01.03.2026 09:05\n"
        "\x95\xab\xa5\xa1 \xe0\xa6\xa0\xad\xae\xa9    1 x 45.00     45.00\n"
        "\x8c\xae\xab\xae\xaa\xae 3.2%     2 x 89.90    179.80\n"
        "\033E\001\x88\x92\x8e\x83\x8e                   224.80\n\033E\000"  // the total in bold
        "\n\n\n\035VB\000";                                                  // feed and cut
    const std::string receipt(kReceipt, sizeof kReceipt - 1);                // it holds NUL bytes
    std::string bytes;
    bytes.reserve(size);
    while (bytes.size() + receipt.size() <= size) bytes += receipt;
    bytes.append(size - bytes.size(), '\n');
    return bytes;
}

// --runs=N: every benchmark runs exactly N times (for callgrind), instead of
// as long as the library decides.
long take_runs_option(int* argc, char** argv) {
    long runs = 0;
    int kept = 1;
    for (int i = 1; i < *argc; ++i) {
        if (std::strncmp(argv[i], "--runs=", 7) == 0) {
            runs = std::strtol(argv[i] + 7, nullptr, 10);
        } else {
            argv[kept++] = argv[i];
        }
    }
    *argc = kept;
    return runs;
}

}  // namespace

int main(int argc, char** argv) {
    long runs = take_runs_option(&argc, argv);
    shop = shop_scenario();
    network_shop = network_shop_scenario();
    status_ready = status_scenario(false);
    status_silent = status_scenario(true);
    if (argc == 2 && std::strcmp(argv[1], "--scenario") == 0) {
        // For a look at the computer with simwin: simwin --scenario FILE -- report
        std::fputs(shop.c_str(), stdout);
        return 0;
    }
    send_input = receipts(kSendBytes);
    static const char kListOk[] = "{\"ok\":true,";
    static const char kReportPrinters[] = "Принтеры (64)";
    static const char kSendOk[] = "\"bytes\":8388608,";
    static const char kStatusReady[] = "\"via\":\"usb\",\"ready\":true,";
    static const char kStatusSilent[] = "\"error\":\"NO_ANSWER\",";

    const Setting shop_alone = {&shop, nullptr, 0};
    const Setting network_alone = {&network_shop, nullptr, 0};
    std::vector<benchmark::internal::Benchmark*> all = {
        benchmark::RegisterBenchmark("list", run_command, std::vector<std::string>{"list"}, shop_alone, kListOk),
        benchmark::RegisterBenchmark("report", run_command, std::vector<std::string>{"report"}, shop_alone,
                                     kReportPrinters),
        benchmark::RegisterBenchmark("send_8MiB", run_command, std::vector<std::string>{"send", kSendQueue},
                                     Setting{&shop, &send_input, 0}, kSendOk),
        // 20 network queues: plain "list" reads their ports and asks none of them.
        benchmark::RegisterBenchmark("list_20_network_queues", run_command, std::vector<std::string>{"list"},
                                     network_alone, kListOk),
        benchmark::RegisterBenchmark("list_ids_20_network_queues", run_command,
                                     std::vector<std::string>{"list", "ids"}, network_alone, kListOk),
        // A receipt printer asked 10 04 1 to 4 over USB: the silent one costs its 500 ms limit, simulated.
        benchmark::RegisterBenchmark("status_usb_ready", run_command, std::vector<std::string>{"status"},
                                     Setting{&status_ready, nullptr, 0}, kStatusReady),
        benchmark::RegisterBenchmark("status_usb_silent", run_command, std::vector<std::string>{"status"},
                                     Setting{&status_silent, nullptr, 1}, kStatusSilent),
        benchmark::RegisterBenchmark("scenario_reload", scenario_reload),
    };
    for (benchmark::internal::Benchmark* bench : all) {
        bench->Unit(benchmark::kMillisecond);
        if (runs > 0) bench->Iterations(runs);
    }

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
