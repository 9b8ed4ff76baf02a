#pragma once

// Displays, screens and captures (CoreGraphics' display calls, AppKit's screens).
#include "platform/types/Displays.h"
#include "platform/types/Geometry.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace dorvex::platform {

class Displays {
public:
    virtual ~Displays() = default;

    virtual DisplayCountResult activeDisplayCount() = 0;
    virtual DisplayListResult activeDisplayList(uint32_t capacity) = 0;
    virtual Rect displayBounds(uint32_t displayId) = 0;
    virtual uint32_t mainDisplayId() = 0;
    virtual std::vector<uint32_t> displaysWithPoint(Point point) = 0;
    // The current mode's pixel size, when the mode can be read.
    virtual std::optional<Size> displayModePixelSize(uint32_t displayId) = 0;
    virtual Size displayPixelsFallback(uint32_t displayId) = 0;
    virtual std::vector<ScreenInfo> screens() = 0;

    virtual std::optional<Image> createDisplayImage(uint32_t displayId) = 0;
    virtual std::optional<Image> createWindowImage(uint32_t windowId) = 0;
};

} // namespace dorvex::platform
