#pragma once

// The simulated desktop's factory: configured from DORVEX_SIM_SCENARIO (a scenario file; the
// embedded default desktop without it), DORVEX_SIM_EVENT_LOG and DORVEX_SIM_STATS.
#include "platform/Platform.h"

#include <memory>

namespace dorvex::platform::sim {

std::unique_ptr<Binding> makeSimPlatform();

} // namespace dorvex::platform::sim
