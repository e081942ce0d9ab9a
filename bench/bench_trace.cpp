// A whole trace, process start to exit, through a routed network of network
// namespaces (two kernel routers, then the target): morvanta-cli trace
// against traceroute(8) -I, started in turn, so that the ratio holds while
// the machine's speed drifts. Both name every hop from the same hosts file.
// Needs root (namespaces, raw sockets).
#include "fixtures/RoutedNetwork.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace {

using namespace morvanta::test;

const std::string Hosts = "127.0.0.1 localhost\n10.0.1.2 router1.test\n10.0.2.2 router2.test\n10.0.3.2 target.test\n";

// Seconds from the start of the program to its exit, its output discarded.
double RunSeconds(const std::vector<std::string>& argv)
{
    std::vector<char*> arguments;
    for (const std::string& argument : argv)
        arguments.push_back(const_cast<char*>(argument.c_str()));
    arguments.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    int failed = posix_spawn(&child, arguments[0], &actions, nullptr, arguments.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0)
        throw std::runtime_error("cannot start " + argv[0]);
    int status = 0;
    waitpid(child, &status, 0);
    const auto end = std::chrono::steady_clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error(argv[0] + " failed");
    return std::chrono::duration<double>(end - start).count();
}

void BM_TraceAgainstTracerouteDashI(benchmark::State& state)
{
    const std::vector<std::string> ours { std::string(MORVANTA_PROGRAM_DIR) + "/morvanta-cli", "trace",
                                          routed::Target };
    const std::vector<std::string> theirs { TracerouteProgram(), "-I", routed::Target };
    if (theirs[0].empty()) {
        state.SkipWithError("traceroute(8) is not installed");
        return;
    }
    std::vector<double> ratios;
    double oursTotal = 0;
    double theirsTotal = 0;
    for (auto _ : state) {
        const double oursSeconds = RunSeconds(ours);
        const double theirsSeconds = RunSeconds(theirs);
        state.SetIterationTime(oursSeconds);
        oursTotal += oursSeconds;
        theirsTotal += theirsSeconds;
        ratios.push_back(oursSeconds / theirsSeconds);
    }
    std::sort(ratios.begin(), ratios.end());
    const auto runs = static_cast<double>(state.iterations());
    state.counters["ours_ms"] = oursTotal / runs * 1000;
    state.counters["traceroute_ms"] = theirsTotal / runs * 1000;
    state.counters["median_ratio"] = ratios[ratios.size() / 2];
}
BENCHMARK(BM_TraceAgainstTracerouteDashI)->UseManualTime()->Iterations(40)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RoutedNetworkOptions options;
    options.limit = std::chrono::seconds(600);
    std::optional<std::string> result = RunInRoutedNetwork(
        Hosts,
        [] {
            benchmark::RunSpecifiedBenchmarks();
            std::fflush(stdout);
            std::cout.flush();
            return std::string("done");
        },
        options);
    if (!result) {
        // Not a failure of the program: the other benchmarks still run.
        std::cerr << "bench_trace needs a routed network of namespaces: run it as root with ip(8) installed.\n";
        return 0;
    }
    return *result == "done" ? 0 : 1;
}
