#include "platform/sim/SimInput.h"

#include <array>
#include <unicode/unistr.h>

namespace dorvex::platform::sim {
namespace {

constexpr uint64_t commandFlag = 0x00100000;
constexpr uint64_t shiftFlag = 0x00020000;
constexpr uint64_t alternateFlag = 0x00080000;
constexpr uint64_t controlFlag = 0x00040000;
constexpr uint16_t deleteKey = 51;

// The US layout by virtual key code: the character without and with shift.
struct KeyCharacters {
    uint16_t code;
    char plain;
    char shifted;
};
constexpr std::array<KeyCharacters, 48> layout{{
    {0, 'a', 'A'},   {1, 's', 'S'},  {2, 'd', 'D'},   {3, 'f', 'F'},  {4, 'h', 'H'},
    {5, 'g', 'G'},   {6, 'z', 'Z'},  {7, 'x', 'X'},   {8, 'c', 'C'},  {9, 'v', 'V'},
    {11, 'b', 'B'},  {12, 'q', 'Q'}, {13, 'w', 'W'},  {14, 'e', 'E'}, {15, 'r', 'R'},
    {16, 'y', 'Y'},  {17, 't', 'T'}, {18, '1', '!'},  {19, '2', '@'}, {20, '3', '#'},
    {21, '4', '$'},  {22, '6', '^'}, {23, '5', '%'},  {24, '=', '+'}, {25, '9', '('},
    {26, '7', '&'},  {27, '-', '_'}, {28, '8', '*'},  {29, '0', ')'}, {30, ']', '}'},
    {31, 'o', 'O'},  {32, 'u', 'U'}, {33, '[', '{'},  {34, 'i', 'I'}, {35, 'p', 'P'},
    {37, 'l', 'L'},  {38, 'j', 'J'}, {39, '\'', '"'}, {40, 'k', 'K'}, {41, ';', ':'},
    {42, '\\', '|'}, {43, ',', '<'}, {44, '/', '?'},  {45, 'n', 'N'}, {46, 'm', 'M'},
    {47, '.', '>'},  {49, ' ', ' '}, {50, '`', '~'},
}};

const char* mouseTypeName(MouseEventType type) {
    switch (type) {
    case MouseEventType::leftMouseDown:
        return "leftMouseDown";
    case MouseEventType::leftMouseUp:
        return "leftMouseUp";
    case MouseEventType::rightMouseDown:
        return "rightMouseDown";
    case MouseEventType::rightMouseUp:
        return "rightMouseUp";
    case MouseEventType::mouseMoved:
        return "mouseMoved";
    case MouseEventType::otherMouseDown:
        return "otherMouseDown";
    case MouseEventType::otherMouseUp:
        return "otherMouseUp";
    }
    return "unknown";
}

const char* buttonName(MouseButton button) {
    switch (button) {
    case MouseButton::left:
        return "left";
    case MouseButton::right:
        return "right";
    case MouseButton::center:
        return "center";
    }
    return "unknown";
}

} // namespace

Json eventLine(const SimEvent& event) {
    if (event.keyboard) {
        Json line{{"event", "key"},
                  {"keyCode", event.keyCode},
                  {"down", event.down},
                  {"flags", event.flags}};
        if (event.text) line["text"] = *event.text;
        return line;
    }
    Json line{{"event", "mouse"},
              {"type", mouseTypeName(event.type)},
              {"x", event.point.x},
              {"y", event.point.y},
              {"button", buttonName(event.button)}};
    if (event.flags != 0) line["flags"] = event.flags;
    return line;
}

std::string utf8(const std::u16string& text) {
    std::string converted;
    icu::UnicodeString(text.data(), static_cast<int32_t>(text.size())).toUTF8String(converted);
    return converted;
}

std::size_t codePointCount(const std::string& text) {
    std::size_t count = 0;
    for (unsigned char byte : text)
        count += (byte & 0xC0) != 0x80; // every byte that does not continue a sequence
    return count;
}

Typing typingOf(const SimEvent& event) {
    if (!event.keyboard || !event.down) return {};
    if (event.text) return {0, *event.text};
    if (event.flags & (commandFlag | controlFlag | alternateFlag)) return {};
    if (event.keyCode == deleteKey) return {1, ""};
    for (const KeyCharacters& key : layout) {
        if (key.code == event.keyCode) {
            return {0, std::string(1, (event.flags & shiftFlag) ? key.shifted : key.plain)};
        }
    }
    return {};
}

} // namespace dorvex::platform::sim
