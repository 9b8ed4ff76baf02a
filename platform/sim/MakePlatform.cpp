// The simulated desktop is this host's platform wherever the macOS binding is not built.
#ifndef DORVEX_HAVE_MACOS

#include "platform/Platform.h"
#include "platform/sim/DefaultScenario.h"
#include "platform/sim/SimDesktop.h"

#include <cstdlib>

namespace dorvex::platform {
namespace {

std::optional<std::string> environment(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value) return std::nullopt;
    return std::string(value);
}

} // namespace

std::unique_ptr<Platform> makePlatform() {
    sim::SimOptions options;
    options.scenarioPath = environment("DORVEX_SIM_SCENARIO");
    if (!options.scenarioPath) options.scenarioText = std::string(sim::defaultScenarioText());
    options.eventLogPath = environment("DORVEX_SIM_EVENT_LOG");
    options.statsPath = environment("DORVEX_SIM_STATS");
    return std::make_unique<sim::SimDesktop>(std::move(options));
}

} // namespace dorvex::platform

#endif
