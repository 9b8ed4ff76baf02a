#include "platform/sim/MakeSimPlatform.h"

#include "platform/sim/DefaultScenario.h"
#include "platform/sim/SimDesktop.h"

#include <cstdint>
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

// Whole microseconds from 0 to 10 s; anything else counts as unset.
std::optional<int64_t> latency(const std::optional<std::string>& text) {
    if (!text || text->size() > 8 || text->find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    const int64_t value = std::stoll(*text);
    return value <= 10'000'000 ? std::optional<int64_t>(value) : std::nullopt;
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
    options.latencyUs = latency(environment("DORVEX_SIM_LATENCY_US"));
    return std::make_unique<SimDesktop>(std::move(options));
}

} // namespace dorvex::platform::sim
