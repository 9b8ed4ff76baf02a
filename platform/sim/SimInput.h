#pragma once

// Posted input on the simulated desktop: the events the binding hands out, their event-log
// lines, and what a key types on a US (ANSI) keyboard.
#include "platform/Platform.h"
#include "platform/types/Json.h"

#include <cstdint>
#include <optional>
#include <string>

namespace dorvex::platform::sim {

// What an Event handed out by the simulated desktop holds.
struct SimEvent {
    bool keyboard = true;
    uint16_t keyCode = 0;
    bool down = false;
    uint64_t flags = 0;
    std::optional<std::string> text; // UTF-8
    MouseEventType type = MouseEventType::mouseMoved;
    Point point;
    MouseButton button = MouseButton::left;
};

// {"event": "key", "keyCode", "down", "flags", "text"?} or
// {"event": "mouse", "type", "x", "y", "button", "flags"?}.
Json eventLine(const SimEvent& event);

std::string utf8(const std::u16string& text);

// Characters of UTF-8 text, counted as code points.
std::size_t codePointCount(const std::string& text);

// What a key-down types into a text field: its Unicode text when it carries one; otherwise,
// without command, control or option, the character of the key (shift gives the upper one),
// or nothing for keys that type no character. `erases` is how many characters it deletes
// first (1 for the delete key).
struct Typing {
    std::size_t erases = 0;
    std::string text;
    bool empty() const { return erases == 0 && text.empty(); }
};
Typing typingOf(const SimEvent& event);

} // namespace dorvex::platform::sim
