#include "Dorvex/Input.h"

#include "DorvexCore/Text.h"

#include <map>

namespace dorvex {

using platform::Event;
using platform::MouseButton;
using platform::MouseEventType;

bool postKeystroke(platform::Input& input, uint16_t keyCode, uint64_t flags) {
    // Both events exist before either is posted, so a failure never leaves a key held down.
    Event down = input.createKeyboardEvent(keyCode, true);
    if (!down) return false;
    Event up = input.createKeyboardEvent(keyCode, false);
    if (!up) return false;
    // Exactly the parsed modifiers, also none: the events must not pick up held keys.
    input.setEventFlags(down, flags);
    input.setEventFlags(up, flags);
    input.postEvent(down);
    input.postEvent(up);
    return true;
}

bool postTextEvent(platform::Input& input, const std::string& text) {
    Event down = input.createKeyboardEvent(0, true);
    if (!down) return false;
    Event up = input.createKeyboardEvent(0, false);
    if (!up) return false;
    const std::u16string units = text::utf16(text);
    input.setKeyboardEventText(down, units);
    input.setKeyboardEventText(up, units);
    input.postEvent(down);
    input.postEvent(up);
    return true;
}

MouseEventType pressType(MouseButton button) {
    switch (button) {
    case MouseButton::left:
        return MouseEventType::leftMouseDown;
    case MouseButton::right:
        return MouseEventType::rightMouseDown;
    case MouseButton::center:
        return MouseEventType::otherMouseDown;
    }
    return MouseEventType::otherMouseDown;
}

MouseEventType releaseType(MouseButton button) {
    switch (button) {
    case MouseButton::left:
        return MouseEventType::leftMouseUp;
    case MouseButton::right:
        return MouseEventType::rightMouseUp;
    case MouseButton::center:
        return MouseEventType::otherMouseUp;
    }
    return MouseEventType::otherMouseUp;
}

std::optional<MouseClickOutcome> postMouseClick(Driver& driver, platform::Point point,
                                                MouseButton button) {
    platform::Input& input = driver.platform.input;
    std::map<MouseClickStep, Event> events;
    const std::pair<MouseClickStep, MouseEventType> prepared[] = {
        {MouseClickStep::move, MouseEventType::mouseMoved},
        {MouseClickStep::press, pressType(button)},
        {MouseClickStep::release, releaseType(button)},
    };
    for (const auto& [step, type] : prepared) {
        Event event = input.createMouseEvent(type, point, button);
        if (!event) return std::nullopt;
        events.emplace(step, std::move(event));
    }
    MouseClick::Operations operations{
        [&](MouseClickStep step) {
            if (auto found = events.find(step); found != events.end()) {
                input.postEvent(found->second);
            }
        },
        [&] { return input.cursorLocation(); },
        [&](double seconds) { driver.sleep(seconds); },
        [&] { return driver.uptime(); },
    };
    return MouseClick::perform(point, operations);
}

} // namespace dorvex
