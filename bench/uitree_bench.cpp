// The element walks over a generated window of 10,000 elements on the simulated desktop, in
// process: "desktop_get_ui_tree" ("maxDepth" 20), "desktop_find_elements" (a search that
// visits every element, and one that returns 100 matches) and element lookup by path (an
// invoke on each of 100 leaves). Figures per node: platform round trips and batched reads
// (from the desktop's own counters) and CPU time, answer encoding included. The desktop runs
// in the same process, as it does inside the driver, so its share of the CPU time is counted
// too. The "latency" variants add 50 us to every round trip, as an app's IPC would, and
// report wall time per node instead.
#include "BenchDriver.h"
#include "Dorvex/Actions.h"
#include "platform/sim/SimDesktop.h"

#include <benchmark/benchmark.h>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using dorvex::Json;

constexpr int sections = 10;
constexpr int rowsPerSection = 10;
constexpr int treeNodes = 10'000; // the window, its sections, their rows and the leaves

Json rect(double x, double y, double width, double height) {
    return Json{{"x", x}, {"y", y}, {"width", width}, {"height", height}};
}

// A leaf of a form-like mix: buttons, labels, text fields, check boxes and, now and then, a
// password field.
Json leaf(int n) {
    Json node = {{"frame", rect(n % 900, n % 700, 80, 20)}};
    switch (n % 5) {
    case 0:
        node.update({{"role", "AXButton"},
                     {"title", "Button " + std::to_string(n)},
                     {"actions", {"AXPress"}}});
        break;
    case 1:
        node.update({{"role", "AXStaticText"}, {"value", "Label " + std::to_string(n)}});
        break;
    case 2:
        node.update({{"role", "AXTextField"},
                     {"identifier", "field" + std::to_string(n)},
                     {"value", "text"}});
        if (n % 25 == 2) node["subrole"] = "AXSecureTextField";
        break;
    case 3:
        node.update({{"role", "AXCheckBox"}, {"title", "Option"}, {"value", true}});
        break;
    default:
        node.update({{"role", "AXImage"}, {"description", "icon"}});
        break;
    }
    return node;
}

std::string generatedDesktop(int64_t latencyUs) {
    const int leaves = treeNodes - 1 - sections - sections * rowsPerSection;
    int made = 0;
    Json sectionNodes = Json::array();
    for (int s = 0; s < sections; ++s) {
        Json rows = Json::array();
        for (int r = 0; r < rowsPerSection; ++r) {
            const int row = s * rowsPerSection + r;
            const int rowsLeft = sections * rowsPerSection - row;
            const int count = (leaves - made + rowsLeft - 1) / rowsLeft;
            Json children = Json::array();
            for (int i = 0; i < count; ++i)
                children.push_back(leaf(made++));
            rows.push_back({{"role", "AXGroup"}, {"children", children}});
        }
        sectionNodes.push_back({{"role", "AXGroup"}, {"title", "Section"}, {"children", rows}});
    }
    Json window = {{"role", "AXWindow"},
                   {"title", "Large"},
                   {"windowNumber", 4242},
                   {"children", sectionNodes}};
    Json app = {{"pid", 4000},
                {"bundleId", "com.example.Large"},
                {"name", "Large"},
                {"active", true},
                {"accessibility", {{"windows", {window}}}}};
    Json row = {{"number", 4242},       {"ownerPid", 4000},
                {"ownerName", "Large"}, {"bounds", rect(0, 0, 1000, 800)},
                {"layer", 0},           {"alpha", 1},
                {"onScreen", true}};
    Json display = {{"id", 1}, {"bounds", rect(0, 0, 1440, 900)}, {"main", true}};
    return Json{
        {"displays", {display}}, {"apps", {app}}, {"windows", {row}}, {"latencyUs", latencyUs}}
        .dump();
}

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

Json execute(const Json& action) {
    return Json{{"action", action}};
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

const Json treeRequest =
    execute({{"actionType", "desktop_get_ui_tree"}, {"windowId", 4242}, {"maxDepth", 20}});

void BM_GetUiTree(benchmark::State& state) {
    measure(state, state.range(0), {treeRequest},
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
    const Json search = execute(
        {{"actionType", "desktop_find_elements"}, {"windowId", 4242}, {"title", "no such title"}});
    measure(state, state.range(0), {search}, [](const Json&) { return size_t{treeNodes}; });
}
BENCHMARK(BM_FindElementsWholeWindow)
    ->ArgName("latencyUs")
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

// Every element matches: 100 flat nodes, each judged and read whole.
void BM_FindElementsHundredMatches(benchmark::State& state) {
    const Json search =
        execute({{"actionType", "desktop_find_elements"}, {"windowId", 4242}, {"limit", 100}});
    measure(state, state.range(0), {search},
            [](const Json& result) { return result["matches"].size(); });
}
BENCHMARK(BM_FindElementsHundredMatches)
    ->ArgName("latencyUs")
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

// An invoke on each of 100 leaves, named by the paths of one tree read: every lookup walks the
// window, a section and a row to the leaf (four elements per path).
std::vector<Json> leafInvokes() {
    dorvex::platform::sim::SimOptions options;
    options.scenarioText = generatedDesktop(0);
    dorvex::platform::sim::SimDesktop desktop(std::move(options));
    dorvex::bench::BenchDriver bench(desktop);
    dorvex::Reply reply = bench.driver().shared.replyTo("1");
    dorvex::handleAutomationExecute(bench.driver(), treeRequest, reply);
    const Json tree = Json::parse(bench.transport().last())["result"]["result"]["tree"];
    std::vector<Json> invokes;
    for (int i = 0; invokes.size() < 100; ++i) {
        const Json& leaf = tree["children"][i % sections]["children"][i % rowsPerSection]
                               ["children"][static_cast<size_t>(i % 90)];
        invokes.push_back(execute({{"actionType", "desktop_invoke_element_action"},
                                   {"elementPath", leaf["path"]},
                                   {"elementAction", "AXPress"}}));
    }
    return invokes;
}

void BM_LookupByPath(benchmark::State& state) {
    measure(state, state.range(0), leafInvokes(), [](const Json&) { return size_t{400}; });
}
BENCHMARK(BM_LookupByPath)
    ->ArgName("latencyUs")
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
