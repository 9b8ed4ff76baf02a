#pragma once

// The real macOS desktop binding.
#include "platform/Platform.h"

#include <memory>

namespace dorvex::platform::macos {

std::unique_ptr<Binding> makeMacosPlatform();

} // namespace dorvex::platform::macos
