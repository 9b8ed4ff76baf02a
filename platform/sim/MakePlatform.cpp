// Placeholder until the simulated desktop lands.
#include "platform/Platform.h"

namespace dorvex::platform {
std::unique_ptr<Platform> makePlatform() { return nullptr; }
} // namespace dorvex::platform
