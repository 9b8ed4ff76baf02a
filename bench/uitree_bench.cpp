// "desktop_get_ui_tree" over a generated window of 10,000 elements on the simulated desktop
// with no added latency, in process: platform round trips per node (from the desktop's own
// counters) and CPU time per node, answer encoding included. The desktop runs in the same
// process, as it does inside the driver, so its share of the CPU time is counted too.
#include "BenchDriver.h"
#include "Dorvex/Actions.h"
#include "platform/sim/SimDesktop.h"

#include <benchmark/benchmark.h>
#include <ctime>
#include <memory>
#include <string>

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

std::string generatedDesktop() {
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
    return Json{{"displays", {display}}, {"apps", {app}}, {"windows", {row}}}.dump();
}

double processCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

size_t countNodes(const Json& node) {
    size_t count = 1;
    for (const Json& child : node["children"])
        count += countNodes(child);
    return count;
}

void BM_GetUiTree(benchmark::State& state) {
    dorvex::platform::sim::SimOptions options;
    options.scenarioText = generatedDesktop();
    dorvex::platform::sim::SimDesktop desktop(std::move(options));
    dorvex::bench::BenchDriver bench(desktop);
    const Json params = {
        {"action", {{"actionType", "desktop_get_ui_tree"}, {"windowId", 4242}, {"maxDepth", 20}}}};

    double cpu = 0;
    const Json before = desktop.stats();
    for (auto _ : state) {
        const double start = processCpuSeconds();
        // The reply serializes the answer line and hands it to the transport.
        dorvex::Reply reply = bench.driver().shared.replyTo("1");
        dorvex::handleAutomationExecute(bench.driver(), params, reply);
        cpu += processCpuSeconds() - start;
        benchmark::DoNotOptimize(bench.transport().last().data());
    }
    const Json after = desktop.stats();
    // Every answer is the same: the last one tells whether the reads worked, and its size.
    const std::string& line = bench.transport().last();
    const Json answer = Json::parse(line, nullptr, false);
    if (answer.is_discarded() || answer["result"]["ok"] != true) {
        state.SkipWithError("the tree read failed");
        return;
    }
    const size_t nodes = countNodes(answer["result"]["result"]["tree"]);
    const size_t bytes = line.size();
    const double reads = static_cast<double>(state.iterations()) * static_cast<double>(nodes);
    // Counters that were never touched are absent.
    auto count = [](const Json& stats, const char* call) -> uint64_t {
        return call == nullptr ? stats.value("roundTrips", uint64_t{0})
                               : stats["calls"].value(call, uint64_t{0});
    };
    auto perNode = [&](const char* call) {
        return static_cast<double>(count(after, call) - count(before, call)) / reads;
    };
    state.counters["nodes"] = static_cast<double>(nodes);
    state.counters["answer_bytes"] = static_cast<double>(bytes);
    state.counters["round_trips_per_node"] = perNode(nullptr);
    // The two calls that make up nearly all of them: attribute values and attribute names.
    state.counters["value_reads_per_node"] = perNode("copyAttributeValue");
    state.counters["name_reads_per_node"] = perNode("copyAttributeNames");
    state.counters["cpu_us_per_node"] = cpu * 1e6 / reads;
}
BENCHMARK(BM_GetUiTree)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
