// Input through XTest: the driver's key codes and flags become X key symbols, typed text
// becomes one key symbol per character.
#include "platform/linux/KeySymbols.h"
#include "platform/linux/LinuxDesktop.h"

#include <string>
#include <vector>

namespace dorvex::platform::linux_desktop {
namespace {

struct InputEvent {
    bool keyboard = true;
    uint16_t keyCode = 0;
    bool down = false;
    uint64_t flags = 0;
    std::u16string text;
    MouseEventType type = MouseEventType::mouseMoved;
    Point point;
    MouseButton button = MouseButton::left;
};

InputEvent* eventOf(const Event& event) {
    return static_cast<InputEvent*>(event.handle.get());
}

constexpr uint64_t maskShift = 0x00020000;
constexpr uint64_t maskControl = 0x00040000;
constexpr uint64_t maskAlternate = 0x00080000;
constexpr uint64_t maskCommand = 0x00100000;

// The modifier keys the flags hold down, in pressing order.
std::vector<uint32_t> modifierKeys(uint64_t flags) {
    std::vector<uint32_t> keys;
    if (flags & (maskCommand | maskControl)) keys.push_back(controlKeysym);
    if (flags & maskAlternate) keys.push_back(altKeysym);
    if (flags & maskShift) keys.push_back(shiftKeysym);
    return keys;
}

// UTF-16 into code points; a lone surrogate becomes U+FFFD.
std::u32string codePoints(const std::u16string& text) {
    std::u32string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit >= 0xd800 && unit <= 0xdbff && i + 1 < text.size() && text[i + 1] >= 0xdc00 &&
            text[i + 1] <= 0xdfff) {
            out.push_back(0x10000 + ((char32_t(unit) - 0xd800) << 10) + (text[i + 1] - 0xdc00));
            ++i;
        } else if (unit >= 0xd800 && unit <= 0xdfff) {
            out.push_back(0xfffd);
        } else {
            out.push_back(unit);
        }
    }
    return out;
}

uint8_t buttonNumber(MouseEventType type, MouseButton button) {
    switch (type) {
    case MouseEventType::rightMouseDown:
    case MouseEventType::rightMouseUp:
        return 3;
    case MouseEventType::otherMouseDown:
    case MouseEventType::otherMouseUp:
        return button == MouseButton::right ? 3 : 2;
    default:
        return 1;
    }
}

} // namespace

Event LinuxDesktop::createKeyboardEvent(uint16_t keyCode, bool keyDown) {
    auto event = std::make_shared<InputEvent>();
    event->keyCode = keyCode;
    event->down = keyDown;
    return Event{event};
}

void LinuxDesktop::setEventFlags(Event& event, uint64_t flags) {
    if (InputEvent* input = eventOf(event)) input->flags = flags;
}

void LinuxDesktop::setKeyboardEventText(Event& event, const std::u16string& text) {
    if (InputEvent* input = eventOf(event)) input->text = text;
}

Event LinuxDesktop::createMouseEvent(MouseEventType type, Point point, MouseButton button) {
    auto event = std::make_shared<InputEvent>();
    event->keyboard = false;
    event->type = type;
    event->point = point;
    event->button = button;
    return Event{event};
}

void LinuxDesktop::postEvent(const Event& event) {
    const InputEvent* input = eventOf(event);
    if (input == nullptr) return;
    if (!input->keyboard) {
        x_.movePointer(input->point);
        switch (input->type) {
        case MouseEventType::leftMouseDown:
        case MouseEventType::rightMouseDown:
        case MouseEventType::otherMouseDown:
            x_.button(buttonNumber(input->type, input->button), true);
            break;
        case MouseEventType::leftMouseUp:
        case MouseEventType::rightMouseUp:
        case MouseEventType::otherMouseUp:
            x_.button(buttonNumber(input->type, input->button), false);
            break;
        case MouseEventType::mouseMoved:
            break;
        }
        return;
    }
    if (!input->text.empty()) {
        // A text event types its whole text on the way down; its key-up has nothing to add.
        if (!input->down) return;
        for (char32_t character : codePoints(input->text)) {
            x_.typeSymbol(keysymForCharacter(character));
        }
        return;
    }
    std::optional<uint32_t> keysym = keysymForKeyCode(input->keyCode);
    if (!keysym) return;
    std::vector<uint32_t> modifiers = modifierKeys(input->flags);
    if (input->down) {
        for (uint32_t modifier : modifiers)
            x_.key(modifier, true);
        x_.key(*keysym, true);
    } else {
        x_.key(*keysym, false);
        for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it)
            x_.key(*it, false);
    }
}

std::optional<Point> LinuxDesktop::cursorLocation() {
    return x_.pointer();
}

} // namespace dorvex::platform::linux_desktop
