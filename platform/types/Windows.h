#pragma once

// The window server's answers: window-list options and rows.
#include "platform/types/Json.h"

#include <cstdint>

namespace dorvex::platform {

// Window list options of the window server, by their numeric values.
enum class WindowListOption : uint32_t {
    all = 0,
    onScreenOnly = 1,
    onScreenAboveWindow = 2,
    onScreenBelowWindow = 4,
    includingWindow = 8,
    excludeDesktopElements = 16,
    onScreenWithoutDesktop = 17,
    onScreenAboveWithoutDesktop = 18,
    onScreenBelowWithoutDesktop = 20,
};

// One window-list row: a dictionary keyed by the window server's key names
// ("kCGWindowNumber", "kCGWindowBounds", ...). Missing or mistyped keys are simply absent or of
// another JSON type; readers check.
using WindowRow = Json;

} // namespace dorvex::platform
