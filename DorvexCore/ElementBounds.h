#pragma once

// The frame rules of an element: which position and size values make a frame, and which
// frames are worth reporting as a node's "bounds".
#include "platform/types/AX.h"
#include "platform/types/Geometry.h"
#include "platform/types/Json.h"

#include <functional>
#include <optional>
#include <string>

namespace dorvex::ElementBounds {

// Origin and size in global screen points.
using Frame = platform::Rect;

// A frame from raw "AXPosition" and "AXSize" values: only a point and a size, in that order,
// with four finite numbers. Zero and negative sizes pass.
std::optional<Frame> frame(const platform::AXValue& position, const platform::AXValue& size);

// Reads "AXPosition", then "AXSize", through the callable (a failed read gives no value).
std::optional<Frame>
read(const std::function<platform::AXValue(const std::string&)>& readAttribute);

// The "bounds" object of a node: only for a frame with a positive width and height.
std::optional<Json> field(const std::optional<Frame>& frame);

} // namespace dorvex::ElementBounds
