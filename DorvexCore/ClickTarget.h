#pragma once

// The rules that prove a click lands in the window the controller captured: which roles are
// top-level windows, how far up a hit element's ancestry to look for one, when two frames are
// the same window, a window's rounded corners, and when a window of the same app below would
// take the click. Pure: element reads are injected accessors.
#include "platform/types/Geometry.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace dorvex::ClickTarget {

inline constexpr std::array<std::string_view, 3> topLevelRoles{"AXWindow", "AXSheet", "AXDrawer"};
inline constexpr int maxAncestorDepth = 64;
inline constexpr double cornerRadius = 16;

// What an element says about its window: its window number and its frame, each if known.
struct WindowReading {
    std::optional<int64_t> number;
    std::optional<platform::Rect> frame;
};

bool hitElementIsTopLevel(const std::optional<std::string>& role);

// Origins and sizes (normalized) each within 1 point; NaN never matches.
bool sameFrame(const platform::Rect& a, const platform::Rect& b);

// Minimum edges inclusive, maximum edges exclusive, negative sizes normalized; NaN is outside.
bool contains(const platform::Rect& rect, platform::Point point);

// Whether the point is in the part of a corner that a rounded corner of the radius (at most
// half the width and half the height) cuts away.
bool inCornerRegion(platform::Point point, const platform::Rect& rect, double radius);

// Whether a same-app window below the target would take the click: only when there is one;
// then always in the target's rounded corners, else when the hit is not in the target (the
// deferred test runs at most once).
bool sameAppWindowTakesClick(platform::Point point, const platform::Rect& targetFrame,
                             bool sameAppWindowBelow, const std::function<bool()>& hitInTarget);

// Whether a top-level reading names the target: by window number when it has one, else by
// frame, else not.
bool readingIsTarget(const WindowReading& reading, int64_t windowId,
                     const platform::Rect& targetFrame);

// Whether the hit element belongs to the target window: the nearest top-level element among
// the hit and at most maxAncestorDepth ancestors decides; without one, the hit's own top-level
// attribute does. Accessors: role(e) -> optional<string>, parent(e) and topLevelAttribute(e)
// -> optional<Element>, window(e) -> WindowReading.
template <class Element, class Role, class Parent, class TopLevel, class Window>
bool hitIsInTarget(const Element& hit, int64_t windowId, const platform::Rect& targetFrame,
                   Role&& role, Parent&& parent, TopLevel&& topLevelAttribute, Window&& window) {
    std::optional<Element> current = hit;
    for (int depth = 0; current && depth <= maxAncestorDepth; ++depth) {
        if (hitElementIsTopLevel(role(*current))) {
            return readingIsTarget(window(*current), windowId, targetFrame);
        }
        current = parent(*current);
    }
    std::optional<Element> top = topLevelAttribute(hit);
    if (!top) return false;
    return readingIsTarget(window(*top), windowId, targetFrame);
}

} // namespace dorvex::ClickTarget
