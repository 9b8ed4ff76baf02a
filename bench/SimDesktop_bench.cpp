// Costs of the simulated desktop itself, so driver benchmarks can tell its share from theirs.
#include "platform/sim/DefaultScenario.h"
#include "platform/sim/SimDesktop.h"
#include "platform/sim/SimRender.h"

#include <benchmark/benchmark.h>

namespace dorvex::platform::sim {
namespace {

std::vector<SimWindow> overlappingWindows(int count) {
    std::vector<SimWindow> windows;
    for (int i = 0; i < count; ++i) {
        SimWindow window;
        window.number = static_cast<uint32_t>(100 + i);
        window.bounds = Rect{40.0 * i, 30.0 * i, 900, 600};
        window.onScreen = true;
        windows.push_back(window);
    }
    return windows;
}

// A full Retina display with ten windows: should stay within a few milliseconds.
void BM_RenderRetinaDisplay(benchmark::State& state) {
    std::vector<SimWindow> windows = overlappingWindows(10);
    for (auto _ : state) {
        RgbaImage image = renderDisplay({0, 0, 1440, 900}, {2880, 1800}, windows);
        benchmark::DoNotOptimize(image.pixels.data());
    }
}
BENCHMARK(BM_RenderRetinaDisplay)->Unit(benchmark::kMillisecond);

void BM_AttributeRead(benchmark::State& state) {
    SimOptions options;
    options.scenarioText = std::string(defaultScenarioText());
    SimDesktop desktop(options);
    Element app = desktop.createApplicationElement(501);
    for (auto _ : state) {
        benchmark::DoNotOptimize(desktop.copyAttributeValue(app, "AXWindows"));
    }
}
BENCHMARK(BM_AttributeRead);

} // namespace
} // namespace dorvex::platform::sim

BENCHMARK_MAIN();
