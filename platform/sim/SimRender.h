#pragma once

// Pictures of the simulated desktop: flat rectangles, so that captures have real pixels of
// the right size without any drawing library.
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

// The display at its pixel size: the background, then every visible window that meets the
// display, back to front.
RgbaImage renderDisplay(const Rect& displayBounds, Size pixelSize,
                        const std::vector<SimWindow>& windowsFrontToBack);

// One window alone at the given scale (pixels per point); nothing when it has no area or is
// too large.
std::optional<RgbaImage> renderWindow(const SimWindow& window, double scale);

} // namespace dorvex::platform::sim
