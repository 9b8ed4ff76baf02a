#pragma once

// PNG encoding of screen images, tuned for flat UI content.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace dorvex::png {

// Encodes 8-bit RGBA pixels, row-major, width * height * 4 bytes. Nothing on bad sizes or
// when the encoder fails.
std::optional<std::vector<uint8_t>> encodeRgba(size_t width, size_t height,
                                               const std::vector<uint8_t>& rgba);

} // namespace dorvex::png
