#pragma once

// Synthesized keyboard and mouse events, and the pointer (CoreGraphics' event calls).
#include "platform/types/Geometry.h"
#include "platform/types/Input.h"

#include <cstdint>
#include <optional>
#include <string>

namespace dorvex::platform {

class Input {
public:
    virtual ~Input() = default;

    virtual Event createKeyboardEvent(uint16_t keyCode, bool keyDown) = 0;
    virtual void setEventFlags(Event& event, uint64_t flags) = 0;
    virtual void setKeyboardEventText(Event& event, const std::u16string& text) = 0;
    virtual Event createMouseEvent(MouseEventType type, Point point, MouseButton button) = 0;
    virtual void postEvent(const Event& event) = 0;
    virtual std::optional<Point> cursorLocation() = 0;
};

} // namespace dorvex::platform
