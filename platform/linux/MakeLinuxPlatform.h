#pragma once

// The Linux desktop's factory: X11 (the display in DISPLAY) for windows, displays, captures
// and input, AT-SPI2 (the session's accessibility bus) for elements.
#include "platform/Platform.h"

#include <memory>

namespace dorvex::platform::linux_desktop {

std::unique_ptr<Binding> makeLinuxPlatform();

} // namespace dorvex::platform::linux_desktop
