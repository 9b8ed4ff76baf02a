#pragma once

// The window server (CoreGraphics' window list and window levels).
#include "platform/types/Windows.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace dorvex::platform {

class WindowServer {
public:
    virtual ~WindowServer() = default;

    // Nothing when the list cannot be read.
    virtual std::optional<std::vector<WindowRow>> copyWindowInfo(WindowListOption option,
                                                                 uint32_t relativeToWindow) = 0;
    virtual int32_t windowLevelForKey(int32_t key) = 0;
};

} // namespace dorvex::platform
