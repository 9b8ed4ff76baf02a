#include "platform/macos/MacosTables.h"

#include <limits>

namespace dorvex::platform::macos {

void unpremultiplyRGBA(std::vector<uint8_t>& pixels) {
    const size_t whole = pixels.size() - pixels.size() % 4;
    for (size_t i = 0; i < whole; i += 4) {
        const unsigned alpha = pixels[i + 3];
        if (alpha == 0 || alpha == 255) continue;
        for (size_t channel = 0; channel < 3; ++channel) {
            const unsigned straight = (pixels[i + channel] * 255u + alpha / 2) / alpha;
            pixels[i + channel] = static_cast<uint8_t>(straight > 255 ? 255 : straight);
        }
    }
}

std::optional<size_t> rgbaByteCount(size_t width, size_t height) {
    constexpr size_t limit = std::numeric_limits<size_t>::max() / 4;
    if (width != 0 && height > limit / width) return std::nullopt;
    return width * height * 4;
}

} // namespace dorvex::platform::macos
