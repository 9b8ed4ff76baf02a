#pragma once

// Rules of screen capture that need no operating system: where capture files go, what they
// are called, and how a window-server row is read.
#include "platform/types/Geometry.h"
#include "platform/types/Json.h"
#include "platform/types/Windows.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace dorvex::ScreenCapture {

inline constexpr std::string_view directoryName = "nubo-desktop-captures";

// The capture directory inside the user's temporary directory: the TMPDIR value when it is
// set and not empty, else /tmp. Made absolute against workingDirectory when relative.
std::filesystem::path captureDirectory(const char* tmpdir,
                                       const std::filesystem::path& workingDirectory);

// "capture-" + milliseconds + "-" + the first 8 characters of the UUID text + ".png".
std::string fileName(int64_t nowMs, std::string_view uuidText);

// A window id names a window-server window only within 0..4294967295.
std::optional<uint32_t> windowNumber(int64_t windowId);

// A rectangle in the window server's dictionary form: numbers under "X", "Y", "Width" and
// "Height". Nothing when the value is not such an object.
std::optional<platform::Rect> rectFromDictionary(const Json* dictionary);

// The row's owner pid ("kCGWindowOwnerPID"), when it is a number.
std::optional<int64_t> ownerPid(const platform::WindowRow& row);

// The wire form of a rectangle: "x", "y", "width", "height".
Json rectJson(const platform::Rect& rect);

} // namespace dorvex::ScreenCapture
