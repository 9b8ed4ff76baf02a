#pragma once

// Displays, screens and captured images.
#include "platform/types/Geometry.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace dorvex::platform {

struct ScreenInfo {
    Rect frame;
    Rect visibleFrame;
    std::optional<uint32_t> displayId; // "NSScreenNumber"
};

struct DisplayCountResult {
    int32_t code = -1; // 0 on success
    uint32_t count = 0;
};

struct DisplayListResult {
    int32_t code = -1;                // 0 on success
    std::vector<uint32_t> displayIds; // at most the capacity asked for
};

// A captured image: 8-bit RGBA pixels, row-major from the top row, width * height * 4 bytes.
// Bindings hand out raw pixels; the driver encodes them.
struct Image {
    size_t width = 0;
    size_t height = 0;
    std::vector<uint8_t> pixels;
};

} // namespace dorvex::platform
