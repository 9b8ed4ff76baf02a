#include "platform/sim/MakeSimPlatform.h"

#include "platform/sim/DefaultScenario.h"
#include "platform/sim/SimDesktop.h"

#include <cstdlib>
#include <optional>
#include <string>

namespace dorvex::platform::sim {
namespace {

std::optional<std::string> environment(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value) return std::nullopt;
    return std::string(value);
}

} // namespace

std::unique_ptr<Binding> makeSimPlatform() {
    SimOptions options;
    options.scenarioPath = environment("DORVEX_SIM_SCENARIO");
    if (!options.scenarioPath) {
        options.scenarioText = std::string(defaultScenarioText());
        options.baseDirectory = std::string(defaultScenarioDirectory());
    }
    options.eventLogPath = environment("DORVEX_SIM_EVENT_LOG");
    options.statsPath = environment("DORVEX_SIM_STATS");
    return std::make_unique<SimDesktop>(std::move(options));
}

} // namespace dorvex::platform::sim
