#pragma once

// The desktop the simulator shows when no scenario file is named: the text of
// examples/scenarios/default.json, embedded at build time.
#include <string_view>

namespace dorvex::platform::sim {

std::string_view defaultScenarioText();

} // namespace dorvex::platform::sim
