// The element walks over a generated window of 10,000 elements on the simulated desktop, in
// process: "desktop_get_ui_tree" ("maxDepth" 20), "desktop_find_elements" (a search that
// visits every element, and one that returns 100 matches) and element lookup by path (an
// invoke on each of 100 leaves). Figures per node: platform round trips and batched reads
// (from the desktop's own counters) and CPU time, answer encoding included. The desktop runs
// in the same process, as it does inside the driver, so its share of the CPU time is counted
// too. The "latency" variants add 50 us to every round trip, as an app's IPC would, and
// report wall time per node instead.
#include "GeneratedWindow.h"

#include <benchmark/benchmark.h>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using dorvex::Json;
using namespace dorvex::bench::walks;

double processCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double wallSeconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

size_t countNodes(const Json& node) {
    size_t count = 1;
    for (const Json& child : node["children"])
        count += countNodes(child);
    return count;
}

// Counters that were never touched are absent.
uint64_t count(const Json& stats, const char* call) {
    return call == nullptr ? stats.value("roundTrips", uint64_t{0})
                           : stats["calls"].value(call, uint64_t{0});
}

// Runs the requests once per iteration and reports the figures per node, where `nodes` is
// how many elements one iteration reads.
void measure(benchmark::State& state, int64_t latencyUs, const std::vector<Json>& requests,
             const std::function<size_t(const Json& lastAnswer)>& nodesPerIteration) {
    dorvex::platform::sim::SimOptions options;
    options.scenarioText = generatedDesktop(latencyUs);
    dorvex::platform::sim::SimDesktop desktop(std::move(options));
    dorvex::bench::BenchDriver bench(desktop);

    double cpu = 0;
    double wall = 0;
    const Json before = desktop.stats();
    for (auto _ : state) {
        const double startCpu = processCpuSeconds();
        const double startWall = wallSeconds();
        for (const Json& params : requests) {
            // The reply serializes the answer line and hands it to the transport.
            dorvex::Reply reply = bench.driver().shared.replyTo("1");
            dorvex::handleAutomationExecute(bench.driver(), params, reply);
        }
        cpu += processCpuSeconds() - startCpu;
        wall += wallSeconds() - startWall;
        benchmark::DoNotOptimize(bench.transport().last().data());
    }
    const Json after = desktop.stats();
    // Every answer is the same: the last one tells whether the reads worked, and its size.
    const std::string& line = bench.transport().last();
    const Json answer = Json::parse(line, nullptr, false);
    if (answer.is_discarded() || answer["result"]["ok"] != true) {
        state.SkipWithError("the walk failed");
        return;
    }
    const size_t nodes = nodesPerIteration(answer["result"]["result"]);
    const double reads = static_cast<double>(state.iterations()) * static_cast<double>(nodes);
    auto perNode = [&](const char* call) {
        return static_cast<double>(count(after, call) - count(before, call)) / reads;
    };
    state.counters["nodes"] = static_cast<double>(nodes);
    state.counters["answer_bytes"] = static_cast<double>(line.size());
    state.counters["round_trips_per_node"] = perNode(nullptr);
    state.counters["batched_reads_per_node"] = perNode("copyMultipleAttributeValues");
    state.counters["value_reads_per_node"] = perNode("copyAttributeValue");
    state.counters["name_reads_per_node"] = perNode("copyAttributeNames");
    state.counters["element_compares_per_node"] = perNode("sameElement");
    state.counters["cpu_us_per_node"] = cpu * 1e6 / reads;
    state.counters["wall_us_per_node"] = wall * 1e6 / reads;
}

void BM_GetUiTree(benchmark::State& state) {
    measure(state, state.range(0), {treeRequest()},
            [](const Json& result) { return countNodes(result["tree"]); });
}
BENCHMARK(BM_GetUiTree)->ArgName("latencyUs")->Arg(0)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_GetUiTree)
    ->ArgName("latencyUs")
    ->Arg(50)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

// No element has this title, so the search visits every element of the window.
void BM_FindElementsWholeWindow(benchmark::State& state) {
    measure(state, state.range(0), {wholeWindowSearch()},
            [](const Json&) { return size_t{treeNodes}; });
}
BENCHMARK(BM_FindElementsWholeWindow)
    ->ArgName("latencyUs")
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

// Every element matches: 100 flat nodes, each judged and read whole.
void BM_FindElementsHundredMatches(benchmark::State& state) {
    measure(state, state.range(0), {hundredMatchesSearch()},
            [](const Json& result) { return result["matches"].size(); });
}
BENCHMARK(BM_FindElementsHundredMatches)
    ->ArgName("latencyUs")
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

void BM_LookupByPath(benchmark::State& state) {
    measure(state, state.range(0), leafInvokes(), [](const Json&) { return lookupPathElements; });
}
BENCHMARK(BM_LookupByPath)
    ->ArgName("latencyUs")
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
