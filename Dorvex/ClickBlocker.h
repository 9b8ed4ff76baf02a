#pragma once

// Whether a click at a point of a window would land in that window: the window server's
// stacking order, the accessibility hit test and the element's ancestry, with the system
// overlays (the Dock, Notification Center, window-server shields) and the host's own shields
// that let clicks through. Runs on the request thread; every unreadable answer becomes a
// reason or a missing value, nothing throws.
#include "platform/Platform.h"

#include <cstdint>
#include <optional>
#include <string>

namespace dorvex {

// What the system would deliver a click at a point to: a process (above 0) and its element.
struct ClickHit {
    int32_t pid = 0;
    platform::Element element;
};

// The element at the point, asked through the system-wide element with a 1-second messaging
// time-out (set back to the default afterwards).
std::optional<ClickHit> hitTest(platform::Accessibility& ax, platform::Point point);

// Whether the hit element belongs to the window, each element read with a 1-second time-out.
bool hitIsInWindow(platform::Accessibility& ax, const platform::Element& hit, int64_t windowId,
                   const platform::Rect& frame);

// The front-most visible on-screen row of the process that holds the point.
std::optional<platform::WindowRow> onScreenWindow(platform::WindowServer& windowServer, int32_t pid,
                                                  platform::Point point);

// Whether a visible on-screen window of the owner below the window holds the point; nothing
// when the order cannot be read.
std::optional<bool> sameOwnerWindowBelow(platform::WindowServer& windowServer, uint32_t windowId,
                                         int32_t ownerPid, platform::Point point);

// Whether the process runs the window server's executable.
bool isWindowServer(platform::Workspace& workspace, int32_t pid);

// Whether the point (global, y down) lies outside the display's visible frame; true when the
// screens or the display cannot be found.
bool isOutsideVisibleFrame(platform::Displays& displays, platform::Point point, uint32_t displayId);

// Why a click at the global point would not reach the window, or nothing when it would. The
// host's rows at or above the screen-saver level (its shields) never block.
std::optional<std::string> clickBlocker(platform::Platform& platform, platform::Point point,
                                        int64_t windowId, std::optional<int64_t> hostPid);

} // namespace dorvex
