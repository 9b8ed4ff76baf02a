#include "DorvexCore/ElementBounds.h"

#include <cmath>

namespace dorvex::ElementBounds {

std::optional<Frame> frame(const platform::AXValue& position, const platform::AXValue& size) {
    const platform::Point* origin = position.point();
    const platform::Size* extent = size.size();
    if (origin == nullptr || extent == nullptr) return std::nullopt;
    Frame result{origin->x, origin->y, extent->width, extent->height};
    if (!std::isfinite(result.x) || !std::isfinite(result.y) || !std::isfinite(result.width) ||
        !std::isfinite(result.height)) {
        return std::nullopt;
    }
    return result;
}

std::optional<Frame>
read(const std::function<platform::AXValue(const std::string&)>& readAttribute) {
    platform::AXValue position = readAttribute("AXPosition");
    platform::AXValue size = readAttribute("AXSize");
    return frame(position, size);
}

std::optional<Json> field(const std::optional<Frame>& frame) {
    // Written so that NaN fails both tests.
    if (!frame || !(frame->width > 0) || !(frame->height > 0)) return std::nullopt;
    return Json{
        {"x", frame->x}, {"y", frame->y}, {"width", frame->width}, {"height", frame->height}};
}

} // namespace dorvex::ElementBounds
