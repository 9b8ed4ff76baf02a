#pragma once

// The desktop the simulator shows when no scenario file is named: the text of
// examples/scenarios/default.json, embedded at build time.
#include <string_view>

namespace dorvex::platform::sim {

std::string_view defaultScenarioText();

// The folder default.json was embedded from, or once that is gone the installed examples'
// folder: its relative bundle paths start there, so the default desktop's apps have real
// bundles (examples/bundles) wherever the driver runs.
std::string_view defaultScenarioDirectory();

} // namespace dorvex::platform::sim
