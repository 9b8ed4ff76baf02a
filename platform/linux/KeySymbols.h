#pragma once

// Keys as X names them: the driver's virtual key codes (the macOS ANSI layout's, the ones its
// key table uses) and typed characters as key symbols.
#include <cstdint>
#include <optional>

namespace dorvex::platform::linux_desktop {

std::optional<uint32_t> keysymForKeyCode(uint16_t keyCode);
// Latin-1 characters are their own key symbols; the rest use X's Unicode range.
uint32_t keysymForCharacter(char32_t character);

// The modifier keys that the driver's flags press: command and control both press Control
// (Linux applications take their shortcuts on Control), option presses Alt.
inline constexpr uint32_t controlKeysym = 0xffe3;
inline constexpr uint32_t altKeysym = 0xffe9;
inline constexpr uint32_t shiftKeysym = 0xffe1;

} // namespace dorvex::platform::linux_desktop
