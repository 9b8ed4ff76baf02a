#include "DorvexCore/ClickTarget.h"

#include "DorvexCore/WindowTarget.h"

#include <algorithm>

namespace dorvex::ClickTarget {

bool hitElementIsTopLevel(const std::optional<std::string>& role) {
    return role &&
           std::find(topLevelRoles.begin(), topLevelRoles.end(), *role) != topLevelRoles.end();
}

bool sameFrame(const platform::Rect& a, const platform::Rect& b) {
    return WindowTarget::framesAgree(a, b);
}

bool contains(const platform::Rect& rect, platform::Point point) {
    const double minX = std::min(rect.x, rect.x + rect.width);
    const double maxX = std::max(rect.x, rect.x + rect.width);
    const double minY = std::min(rect.y, rect.y + rect.height);
    const double maxY = std::max(rect.y, rect.y + rect.height);
    return point.x >= minX && point.x < maxX && point.y >= minY && point.y < maxY;
}

bool inCornerRegion(platform::Point point, const platform::Rect& rect, double radius) {
    if (!contains(rect, point)) return false;
    const double minX = std::min(rect.x, rect.x + rect.width);
    const double maxX = std::max(rect.x, rect.x + rect.width);
    const double minY = std::min(rect.y, rect.y + rect.height);
    const double maxY = std::max(rect.y, rect.y + rect.height);
    const double rho = std::min({radius, (maxX - minX) / 2, (maxY - minY) / 2});
    double cx = 0;
    if (point.x < minX + rho) {
        cx = minX + rho;
    } else if (point.x > maxX - rho) {
        cx = maxX - rho;
    } else {
        return false;
    }
    double cy = 0;
    if (point.y < minY + rho) {
        cy = minY + rho;
    } else if (point.y > maxY - rho) {
        cy = maxY - rho;
    } else {
        return false;
    }
    const double dx = point.x - cx;
    const double dy = point.y - cy;
    return dx * dx + dy * dy > rho * rho;
}

bool sameAppWindowTakesClick(platform::Point point, const platform::Rect& targetFrame,
                             bool sameAppWindowBelow, const std::function<bool()>& hitInTarget) {
    if (!sameAppWindowBelow) return false;
    if (inCornerRegion(point, targetFrame, cornerRadius)) return true;
    return !hitInTarget();
}

bool readingIsTarget(const WindowReading& reading, int64_t windowId,
                     const platform::Rect& targetFrame) {
    if (reading.number) return *reading.number == windowId;
    if (reading.frame) return sameFrame(*reading.frame, targetFrame);
    return false;
}

} // namespace dorvex::ClickTarget
