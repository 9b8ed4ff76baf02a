#pragma once

// Synthesized input bound to the platform's event calls: one key press with modifiers, a whole
// text as one Unicode key event, and a mouse click that is pressed only where the pointer is.
#include "Dorvex/Driver.h"
#include "DorvexCore/MouseClick.h"
#include "platform/Input.h"

#include <cstdint>
#include <optional>
#include <string>

namespace dorvex {

// Posts a key-down and a key-up of the code, both with exactly these flags; false (nothing
// posted) when either event cannot be created.
bool postKeystroke(platform::Input& input, uint16_t keyCode, uint64_t flags);

// Posts the whole text (UTF-8, not empty) as the Unicode string of one key-down and key-up of
// key 0; false (nothing posted) when either event cannot be created.
bool postTextEvent(platform::Input& input, const std::string& text);

// The move, press and release events for a button.
platform::MouseEventType pressType(platform::MouseButton button);
platform::MouseEventType releaseType(platform::MouseButton button);

// Prepares the three events at the point and runs the click sequence with the driver's clock
// and sleeper; nothing (nothing posted) when an event cannot be created.
std::optional<MouseClickOutcome> postMouseClick(Driver& driver, platform::Point point,
                                                platform::MouseButton button);

} // namespace dorvex
