#pragma once

// Typed reads of one window-server row: a dictionary keyed by the window server's key names.
// A key that is missing or holds another type reads as absent.
#include "DorvexCore/WindowTarget.h"
#include "platform/types/Geometry.h"
#include "platform/types/Json.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dorvex::WindowRows {

inline constexpr const char* number = "kCGWindowNumber";
inline constexpr const char* ownerPid = "kCGWindowOwnerPID";
inline constexpr const char* ownerName = "kCGWindowOwnerName";
inline constexpr const char* name = "kCGWindowName";
inline constexpr const char* layer = "kCGWindowLayer";
inline constexpr const char* bounds = "kCGWindowBounds";
inline constexpr const char* isOnScreen = "kCGWindowIsOnscreen";
inline constexpr const char* alpha = "kCGWindowAlpha";

// A number as a whole number (fractions cut toward zero); booleans, NaN, infinities and
// values beyond 64 bits are not numbers here.
std::optional<int64_t> integer(const Json& row, const char* key);

std::optional<std::string> string(const Json& row, const char* key);

// A number as it is (booleans are not numbers here).
std::optional<double> realNumber(const Json& row, const char* key);

// The owner pid when it is a whole number within the signed 32-bit range of process ids.
std::optional<int32_t> ownerPid32(const Json& row);

// A boolean, or a number read as one (non-zero is true); false otherwise.
bool flag(const Json& row, const char* key);

// The bounds dictionary ("X", "Y", "Width", "Height", all finite numbers) as a rectangle.
std::optional<platform::Rect> frame(const Json& row);

// The row object of a window listing: "windowId", "ownerPid", "ownerName", "title", "layer"
// and "bounds" (the window server's own dictionary, passed through).
Json listRow(const Json& row);

// The listing rows kept by the owner scope and the window filter, in order; nothing when a row
// is not an object. Rows without an owner pid are skipped; an owner pid beyond 32 bits names
// no process, so only an unfiltered scope keeps it.
std::optional<Json> listRows(const std::vector<Json>& rows, const WindowListOwnerScope& scope,
                             std::optional<int64_t> windowFilter);

} // namespace dorvex::WindowRows
