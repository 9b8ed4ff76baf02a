// In-process cost of one request: parse the line, dispatch it, serialize the answer line.
#include "BenchDriver.h"
#include "Dorvex/Methods.h"
#include "DorvexCore/DriverProtocol.h"
#include "platform/sim/SimDesktop.h"

#include <benchmark/benchmark.h>

namespace {

using dorvex::Json;

// A desktop whose window list is large: n on-screen windows of one app.
std::string manyWindowsScenario(int windows) {
    Json scenario = {
        {"displays",
         {{{"id", 1},
           {"bounds", {{"x", 0}, {"y", 0}, {"width", 1440}, {"height", 900}}},
           {"scale", 2},
           {"main", true}}}},
        {"apps",
         {{{"pid", 500}, {"bundleId", "com.example.Many"}, {"name", "Many"}, {"active", true}}}},
        {"windows", Json::array()}};
    for (int i = 0; i < windows; ++i) {
        scenario["windows"].push_back(
            {{"number", 1000 + i},
             {"ownerPid", 500},
             {"ownerName", "Many"},
             {"title", "Document window number " + std::to_string(i)},
             {"bounds", {{"x", i % 800}, {"y", i % 600}, {"width", 640}, {"height", 480}}},
             {"layer", 0},
             {"alpha", 1.0},
             {"onScreen", true}});
    }
    return scenario.dump();
}

// The answer line is serialized by the dispatcher's reply and kept by the transport.
void runLine(benchmark::State& state, dorvex::bench::BenchDriver& bench, const std::string& line) {
    size_t bytes = 0;
    for (auto _ : state) {
        auto request = dorvex::DriverProtocol::parseRequestLine(line);
        dorvex::handleRequest(bench.driver(), *request);
        bytes = bench.transport().last().size();
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["answerBytes"] = static_cast<double>(bytes);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

void BM_Ping(benchmark::State& state) {
    dorvex::platform::sim::SimDesktop desktop({});
    dorvex::bench::BenchDriver driver(desktop);
    runLine(state, driver, R"({"jsonrpc":"2.0","id":"1","method":"system.ping"})");
}
BENCHMARK(BM_Ping);

void BM_ListWindows(benchmark::State& state) {
    dorvex::platform::sim::SimDesktop desktop(
        {.scenarioPath = std::nullopt,
         .scenarioText = manyWindowsScenario(static_cast<int>(state.range(0))),
         .eventLogPath = std::nullopt,
         .statsPath = std::nullopt,
         .latencyUs = std::nullopt});
    dorvex::bench::BenchDriver driver(desktop);
    runLine(state, driver,
            R"({"jsonrpc":"2.0","id":"1","method":"automation.execute","params":{"action":)"
            R"({"actionType":"desktop_list_windows"}}})");
}
BENCHMARK(BM_ListWindows)->Arg(10)->Arg(1000);

} // namespace

BENCHMARK_MAIN();
