#include "Dorvex/ClickBlocker.h"

#include "Dorvex/Elements.h"
#include "Dorvex/WindowAccess.h"
#include "DorvexCore/ClickTarget.h"
#include "DorvexCore/WindowRows.h"

#include <algorithm>
#include <cfloat>
#include <limits>
#include <vector>

namespace dorvex {
namespace {

using platform::Element;
using platform::Point;
using platform::Rect;
using platform::WindowListOption;
using platform::WindowRow;

constexpr double axTimeoutSeconds = 1.0;
constexpr double defaultTimeout = 0; // the system's own
constexpr int32_t screenSaverLevelKey = 13;
constexpr int64_t overlayLayerLowest = 20;
constexpr int64_t overlayLayerHighest = 25;

const char* const notOnScreen = "the window is not on screen";
const char* const orderUnavailable = "the window order is unavailable";

// Another window in front of the target at the point.
struct CoveringCandidate {
    const WindowRow* row = nullptr;
    Rect frame;
    int64_t layer = 0;
    std::optional<int32_t> ownerPid;
};

std::string owner(const WindowRow& row) {
    return WindowRows::string(row, WindowRows::ownerName).value_or("another app");
}

bool transparent(const WindowRow& row) {
    std::optional<double> alpha = WindowRows::realNumber(row, WindowRows::alpha);
    return alpha && *alpha <= 0;
}

bool rowHolds(const WindowRow& row, int32_t pid, Point point) {
    if (WindowRows::ownerPid32(row) != pid || transparent(row)) return false;
    std::optional<Rect> frame = WindowRows::frame(row);
    return frame && ClickTarget::contains(*frame, point);
}

// The hit test takes single-precision coordinates; clamp so the conversion stays defined.
float single(double value) {
    if (value != value) return std::numeric_limits<float>::quiet_NaN();
    return static_cast<float>(
        std::clamp(value, -static_cast<double>(FLT_MAX), static_cast<double>(FLT_MAX)));
}

// An element attribute that must be an element; it gets the 1-second time-out too.
std::optional<Element> elementAttribute(platform::Accessibility& ax, const Element& element,
                                        const char* attribute) {
    platform::AXAttributeResult read = ax.copyAttributeValue(element, attribute);
    const Element* value = read.code == platform::axerr::success ? read.value.element() : nullptr;
    if (value == nullptr || !*value) return std::nullopt;
    ax.setMessagingTimeout(*value, axTimeoutSeconds);
    return *value;
}

bool coversRect(const Rect& outer, const Rect& inner) {
    const double outerMinX = std::min(outer.x, outer.x + outer.width);
    const double outerMaxX = std::max(outer.x, outer.x + outer.width);
    const double outerMinY = std::min(outer.y, outer.y + outer.height);
    const double outerMaxY = std::max(outer.y, outer.y + outer.height);
    const double innerMinX = std::min(inner.x, inner.x + inner.width);
    const double innerMaxX = std::max(inner.x, inner.x + inner.width);
    const double innerMinY = std::min(inner.y, inner.y + inner.height);
    const double innerMaxY = std::max(inner.y, inner.y + inner.height);
    return innerMinX >= outerMinX && innerMaxX <= outerMaxX && innerMinY >= outerMinY &&
           innerMaxY <= outerMaxY;
}

std::vector<CoveringCandidate> coveringCandidates(const std::vector<WindowRow>& above, Point point,
                                                  std::optional<int64_t> hostPid,
                                                  int32_t shieldLevel) {
    std::vector<CoveringCandidate> candidates;
    for (const WindowRow& row : above) {
        const int64_t layer = WindowRows::integer(row, WindowRows::layer).value_or(0);
        if (layer < 0 || transparent(row)) continue;
        std::optional<Rect> frame = WindowRows::frame(row);
        if (!frame || !ClickTarget::contains(*frame, point)) continue;
        std::optional<int32_t> ownerPid = WindowRows::ownerPid32(row);
        const bool hostShield =
            hostPid && ownerPid && *ownerPid == *hostPid && layer >= shieldLevel;
        if (hostShield) continue;
        candidates.push_back({&row, *frame, layer, ownerPid});
    }
    return candidates;
}

// System overlays that cover a whole display yet let clicks through: the Dock's (except over
// the Dock itself), Notification Center's when the hit belongs to no window there, and the
// window server's own.
bool passedOver(platform::Platform& platform, const CoveringCandidate& candidate, Point point,
                bool unattributed) {
    if (!candidate.ownerPid || candidate.layer < overlayLayerLowest ||
        candidate.layer > overlayLayerHighest) {
        return false;
    }
    std::vector<uint32_t> displays = platform.displays.displaysWithPoint(point);
    if (displays.empty()) return false;
    const uint32_t display = displays.front();
    if (!coversRect(candidate.frame, platform.displays.displayBounds(display))) return false;
    std::optional<platform::RunningApplication> app =
        platform.workspace.runningApplicationWithPid(*candidate.ownerPid);
    if (app && app->bundleIdentifier) {
        if (*app->bundleIdentifier == "com.apple.notificationcenterui") return unattributed;
        if (*app->bundleIdentifier == "com.apple.dock") {
            return !isOutsideVisibleFrame(platform.displays, point, display);
        }
        return false;
    }
    return isWindowServer(platform.workspace, *candidate.ownerPid);
}

// The hit belongs to the target's own app: it still misses when a window of that app below
// takes the click.
std::optional<std::string> sameAppVerdict(platform::Platform& platform, const WindowRow& target,
                                          const ClickHit& hit, Point point, int64_t windowId) {
    std::optional<Rect> targetFrame = WindowRows::frame(target);
    if (!targetFrame) return orderUnavailable;
    std::optional<bool> below = sameOwnerWindowBelow(
        platform.windowServer, static_cast<uint32_t>(windowId), hit.pid, point);
    if (!below) return orderUnavailable;
    const bool elsewhere = ClickTarget::sameAppWindowTakesClick(point, *targetFrame, *below, [&] {
        return hitIsInWindow(platform.accessibility, hit.element, windowId, *targetFrame);
    });
    if (!elsewhere) return std::nullopt;
    if (std::optional<std::string> name = WindowRows::string(target, WindowRows::ownerName)) {
        return "the click would reach another " + *name + " window";
    }
    return "the click would reach another window of the same app";
}

} // namespace

std::optional<ClickHit> hitTest(platform::Accessibility& ax, Point point) {
    Element systemWide = ax.createSystemWideElement();
    ax.setMessagingTimeout(systemWide, axTimeoutSeconds);
    platform::AXElementResult found =
        ax.copyElementAtPosition(systemWide, Point{single(point.x), single(point.y)});
    std::optional<ClickHit> hit;
    if (found.code == platform::axerr::success && found.element) {
        platform::AXPidResult pid = ax.elementPid(found.element);
        if (pid.code == platform::axerr::success && pid.pid > 0) {
            hit = ClickHit{pid.pid, found.element};
        }
    }
    ax.setMessagingTimeout(systemWide, defaultTimeout);
    return hit;
}

bool hitIsInWindow(platform::Accessibility& ax, const Element& hit, int64_t windowId,
                   const Rect& frame) {
    ax.setMessagingTimeout(hit, axTimeoutSeconds);
    return ClickTarget::hitIsInTarget(
        hit, windowId, frame, [&](const Element& e) { return axString(ax, e, "AXRole"); },
        [&](const Element& e) { return elementAttribute(ax, e, "AXParent"); },
        [&](const Element& e) { return elementAttribute(ax, e, "AXTopLevelUIElement"); },
        [&](const Element& e) {
            return ClickTarget::WindowReading{axWindowNumber(ax, e), axFrame(ax, e)};
        });
}

std::optional<WindowRow> onScreenWindow(platform::WindowServer& windowServer, int32_t pid,
                                        Point point) {
    std::optional<std::vector<WindowRow>> rows =
        windowServer.copyWindowInfo(WindowListOption::onScreenOnly, 0);
    if (!rows) return std::nullopt;
    for (const WindowRow& row : *rows) {
        if (rowHolds(row, pid, point)) return row;
    }
    return std::nullopt;
}

std::optional<bool> sameOwnerWindowBelow(platform::WindowServer& windowServer, uint32_t windowId,
                                         int32_t ownerPid, Point point) {
    std::optional<std::vector<WindowRow>> rows =
        windowServer.copyWindowInfo(WindowListOption::onScreenBelowWithoutDesktop, windowId);
    if (!rows) return std::nullopt;
    return std::any_of(rows->begin(), rows->end(),
                       [&](const WindowRow& row) { return rowHolds(row, ownerPid, point); });
}

bool isWindowServer(platform::Workspace& workspace, int32_t pid) {
    std::optional<std::string> path = workspace.processExecutablePath(pid);
    return path && !path->empty() && path->starts_with("/System/Library/") &&
           path->ends_with("/WindowServer");
}

bool isOutsideVisibleFrame(platform::Displays& displays, Point point, uint32_t displayId) {
    std::vector<platform::ScreenInfo> screens = displays.screens();
    if (screens.empty()) return true;
    auto screen = std::find_if(screens.begin(), screens.end(), [&](const auto& candidate) {
        return candidate.displayId == displayId;
    });
    if (screen == screens.end()) return true;
    // Screens count y upwards from the primary screen's bottom edge.
    const Rect& primary = screens.front().frame;
    const double primaryTop = std::max(primary.y, primary.y + primary.height);
    return !ClickTarget::contains(screen->visibleFrame, Point{point.x, primaryTop - point.y});
}

std::optional<std::string> clickBlocker(platform::Platform& platform, Point point, int64_t windowId,
                                        std::optional<int64_t> hostPid) {
    if (windowId < 0 || windowId > std::numeric_limits<uint32_t>::max()) return notOnScreen;
    const auto relativeTo = static_cast<uint32_t>(windowId);
    platform::WindowServer& windowServer = platform.windowServer;
    std::optional<std::vector<WindowRow>> own =
        windowServer.copyWindowInfo(WindowListOption::includingWindow, relativeTo);
    if (!own || own->empty() || !WindowRows::flag(own->front(), WindowRows::isOnScreen)) {
        return notOnScreen;
    }
    const WindowRow& target = own->front();
    const std::optional<int32_t> targetOwner = WindowRows::ownerPid32(target);
    std::optional<std::vector<WindowRow>> above =
        windowServer.copyWindowInfo(WindowListOption::onScreenAboveWithoutDesktop, relativeTo);
    if (!above) return orderUnavailable;
    const std::vector<CoveringCandidate> candidates = coveringCandidates(
        *above, point, hostPid, windowServer.windowLevelForKey(screenSaverLevelKey));

    bool unattributed = false;
    if (std::optional<ClickHit> hit = hitTest(platform.accessibility, point)) {
        for (const CoveringCandidate& candidate : candidates) {
            if (candidate.ownerPid == hit->pid) return "covered by " + owner(*candidate.row);
        }
        if (targetOwner == hit->pid) return sameAppVerdict(platform, target, *hit, point, windowId);
        if (!hostPid || *hostPid != hit->pid) {
            if (std::optional<WindowRow> row = onScreenWindow(windowServer, hit->pid, point)) {
                return "the click would reach " + owner(*row);
            }
            unattributed = true;
        }
    }
    for (const CoveringCandidate& candidate : candidates) {
        if (!passedOver(platform, candidate, point, unattributed)) {
            return "covered by " + owner(*candidate.row);
        }
    }
    return std::nullopt;
}

} // namespace dorvex
