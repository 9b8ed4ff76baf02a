// In-process cost of synthesized input: parsing a key specification, a whole keystroke action,
// the click blocker's decision, and a whole window-space click. The click sequence's clock and
// sleeper are replaced so that the figures are the driver's own work, not the 20 ms settle.
#include "BenchDriver.h"
#include "Dorvex/ClickBlocker.h"
#include "Dorvex/Methods.h"
#include "DorvexCore/DriverProtocol.h"
#include "DorvexCore/KeySpec.h"
#include "platform/sim/DefaultScenario.h"
#include "platform/sim/SimDesktop.h"

#include <benchmark/benchmark.h>
#include <fstream>
#include <sstream>

namespace {

using dorvex::Json;
using dorvex::platform::sim::SimDesktop;

std::string exampleScenario(const std::string& name) {
    std::ifstream in(std::string(DORVEX_SOURCE_DIR) + "/examples/scenarios/" + name);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::unique_ptr<SimDesktop> clickTargets() {
    dorvex::platform::sim::SimOptions options;
    options.scenarioText = exampleScenario("click-targets.json");
    return std::make_unique<SimDesktop>(std::move(options));
}

// Platform calls per iteration, from the desktop's own counters.
void countRoundTrips(benchmark::State& state, SimDesktop& desktop, int64_t before) {
    const int64_t after = desktop.stats()["roundTrips"].get<int64_t>();
    state.counters["roundTrips"] =
        static_cast<double>(after - before) / static_cast<double>(state.iterations());
}

void BM_ParseKeySpec(benchmark::State& state) {
    dorvex::KeySpec::buildTables();
    for (auto _ : state) {
        auto parsed = dorvex::KeySpec::parseKeySpec("  Command + Shift + K ");
        bool blocked = dorvex::KeySpec::isBlockedShortcut("Command + Shift + K");
        benchmark::DoNotOptimize(parsed);
        benchmark::DoNotOptimize(blocked);
    }
}
BENCHMARK(BM_ParseKeySpec);

void runLine(benchmark::State& state, SimDesktop& desktop, const std::string& line) {
    dorvex::bench::BenchDriver bench(desktop);
    double clock = 0;
    bench.driver().uptime = [&] { return clock; };
    bench.driver().sleep = [&](double seconds) { clock += seconds; };
    const auto request = dorvex::DriverProtocol::parseRequestLine(line);
    const int64_t before = desktop.stats()["roundTrips"].get<int64_t>();
    for (auto _ : state) {
        dorvex::handleRequest(bench.driver(), *request);
        benchmark::DoNotOptimize(bench.transport().last().size());
    }
    countRoundTrips(state, desktop, before);
    if (bench.transport().last().find("\"ok\":true") == std::string::npos) {
        state.SkipWithError("the action failed");
    }
}

void BM_KeystrokeAction(benchmark::State& state) {
    dorvex::platform::sim::SimOptions options;
    options.scenarioText = std::string(dorvex::platform::sim::defaultScenarioText());
    SimDesktop desktop(std::move(options));
    runLine(state, desktop,
            R"({"jsonrpc":"2.0","id":"1","method":"automation.execute","params":{"action":)"
            R"({"actionType":"desktop_send_input","mode":"keystroke","key":"cmd+shift+t",)"
            R"("expectedFrontmostPid":501}}})");
}
BENCHMARK(BM_KeystrokeAction);

void BM_ClickBlocker(benchmark::State& state) {
    auto desktop = clickTargets();
    dorvex::platform::Platform platform = desktop->facets();
    const int64_t before = desktop->stats()["roundTrips"].get<int64_t>();
    for (auto _ : state) {
        auto reason = dorvex::clickBlocker(platform, {230, 140}, 701, 4000);
        benchmark::DoNotOptimize(reason);
    }
    countRoundTrips(state, *desktop, before);
}
BENCHMARK(BM_ClickBlocker);

void BM_WindowClickAction(benchmark::State& state) {
    auto desktop = clickTargets();
    runLine(state, *desktop,
            R"({"jsonrpc":"2.0","id":"1","method":"automation.execute","params":{"action":)"
            R"({"actionType":"desktop_send_input","mode":"mouse_click","coordinateSpace":"window",)"
            R"("windowId":701,"x":130,"y":40,"screenshotWindowWidth":800,)"
            R"("screenshotWindowHeight":600,"hostPid":4000}}})");
}
BENCHMARK(BM_WindowClickAction);

} // namespace

BENCHMARK_MAIN();
