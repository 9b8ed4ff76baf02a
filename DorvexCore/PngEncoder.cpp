#include "DorvexCore/PngEncoder.h"

namespace dorvex::png {

// Placeholder until the libpng encoder lands.
std::optional<std::vector<uint8_t>> encodeRgba(size_t, size_t, const std::vector<uint8_t>&) {
    return std::nullopt;
}

} // namespace dorvex::png
