#pragma once

// Synthesized input events.
#include <cstdint>
#include <memory>

namespace dorvex::platform {

// An event created by the binding and posted by it; opaque to the driver.
struct Event {
    std::shared_ptr<void> handle;
    explicit operator bool() const { return handle != nullptr; }
};

enum class MouseEventType : uint32_t {
    leftMouseDown = 1,
    leftMouseUp = 2,
    rightMouseDown = 3,
    rightMouseUp = 4,
    mouseMoved = 5,
    otherMouseDown = 25,
    otherMouseUp = 26,
};

enum class MouseButton : uint32_t { left = 0, right = 1, center = 2 };

} // namespace dorvex::platform
