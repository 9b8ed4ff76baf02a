#pragma once

// Typed reads of one window-server row: a dictionary keyed by the window server's key names.
// A key that is missing or holds another type reads as absent.
#include "DorvexCore/Json.h"
#include "platform/Platform.h"

#include <cstdint>
#include <optional>
#include <string>

namespace dorvex::WindowRows {

inline constexpr const char* number = "kCGWindowNumber";
inline constexpr const char* ownerPid = "kCGWindowOwnerPID";
inline constexpr const char* ownerName = "kCGWindowOwnerName";
inline constexpr const char* name = "kCGWindowName";
inline constexpr const char* layer = "kCGWindowLayer";
inline constexpr const char* bounds = "kCGWindowBounds";
inline constexpr const char* isOnScreen = "kCGWindowIsOnscreen";

// A number as a whole number (fractions cut toward zero); booleans, NaN, infinities and
// values beyond 64 bits are not numbers here.
std::optional<int64_t> integer(const Json& row, const char* key);

std::optional<std::string> string(const Json& row, const char* key);

// A boolean, or a number read as one (non-zero is true); false otherwise.
bool flag(const Json& row, const char* key);

// The bounds dictionary ("X", "Y", "Width", "Height", all finite numbers) as a rectangle.
std::optional<platform::Rect> frame(const Json& row);

} // namespace dorvex::WindowRows
