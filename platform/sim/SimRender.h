#pragma once

// Pictures of the simulated desktop: flat rectangles, so that captures have real pixels of
// the right size without any drawing library, or the pictures a scenario names for displays
// and windows, so that captures show real screens.
#include "platform/sim/SimWindowList.h"
#include "platform/types/Displays.h"
#include "platform/types/Geometry.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace dorvex::platform::sim {

using RgbaImage = Image;

inline constexpr double titleBarHeight = 28; // points
// Beyond these an image is refused rather than allocated: a scenario typo must not exhaust
// memory.
inline constexpr size_t maxImageSide = 16384;
inline constexpr size_t maxImagePixels = size_t{1} << 26;
inline constexpr uint32_t desktopColor = 0x2f5f8fff; // RGBA

// The colour a window is drawn in, derived from its number so captures are stable.
uint32_t windowColor(std::optional<uint32_t> number);
uint32_t titleBarColor(uint32_t bodyColor);

bool imageSizeAllowed(double width, double height);

// The display at its pixel size: the background (its picture, when it has one of that size),
// then every visible window that meets the display, back to front. A window's picture is
// scaled to the window and laid over what is beneath it by its alpha.
RgbaImage renderDisplay(const Rect& displayBounds, Size pixelSize,
                        const std::vector<SimWindow>& windowsFrontToBack,
                        const SimPictureRef& background = nullptr);

// One window alone at the given scale (pixels per point); nothing when it has no area or is
// too large. A window's picture is scaled to the window and copied as it is, alpha included.
std::optional<RgbaImage> renderWindow(const SimWindow& window, double scale);

} // namespace dorvex::platform::sim
