#include "platform/linux/LinuxDesktop.h"

#include "platform/linux/MakeLinuxPlatform.h"

#include <algorithm>

namespace dorvex::platform::linux_desktop {

std::unique_ptr<Binding> makeLinuxPlatform() {
    return std::make_unique<LinuxDesktop>();
}

LinuxDesktop::LinuxDesktop() : atspi_([this](Point point) { return x_.windowAt(point); }) {}

// --- Accessibility: AT-SPI answers; windows carry no numbers there, so they match by frame.

Element LinuxDesktop::createApplicationElement(int32_t pid) {
    return atspi_.createApplicationElement(pid);
}
Element LinuxDesktop::createSystemWideElement() {
    return atspi_.createSystemWideElement();
}
AXElementResult LinuxDesktop::copyElementAtPosition(const Element& root, Point point) {
    return atspi_.copyElementAtPosition(root, point);
}
AXPidResult LinuxDesktop::elementPid(const Element& element) {
    return atspi_.elementPid(element);
}
int32_t LinuxDesktop::setMessagingTimeout(const Element& element, double seconds) {
    return atspi_.setMessagingTimeout(element, seconds);
}
AXAttributeResult LinuxDesktop::copyAttributeValue(const Element& element,
                                                   const std::string& attribute) {
    return atspi_.copyAttributeValue(element, attribute);
}
AXAttributesResult
LinuxDesktop::copyMultipleAttributeValues(const Element& element,
                                          const std::vector<std::string>& attributes) {
    return atspi_.copyMultipleAttributeValues(element, attributes);
}
AXNamesResult LinuxDesktop::copyAttributeNames(const Element& element) {
    return atspi_.copyAttributeNames(element);
}
int32_t LinuxDesktop::performAction(const Element& element, const std::string& action) {
    return atspi_.performAction(element, action);
}
int32_t LinuxDesktop::setStringAttribute(const Element& element, const std::string& attribute,
                                         const std::string& value) {
    return atspi_.setStringAttribute(element, attribute, value);
}
bool LinuxDesktop::sameElement(const Element& a, const Element& b) {
    return atspi_.sameElement(a, b);
}
AXWindowNumberResult LinuxDesktop::elementWindowNumber(const Element&) {
    return {axerr::notImplemented, 0};
}

// --- Window server ------------------------------------------------------------------------

std::optional<std::vector<WindowRow>> LinuxDesktop::copyWindowInfo(WindowListOption option,
                                                                   uint32_t relativeToWindow) {
    return x_.rows(static_cast<uint32_t>(option), relativeToWindow);
}

int32_t LinuxDesktop::windowLevelForKey(int32_t key) {
    // The screen-saver level key: above everything an app may put up on X.
    constexpr int32_t screenSaverKey = 13;
    constexpr int32_t screenSaverLevel = 1000;
    return key == screenSaverKey ? screenSaverLevel : 0;
}

// --- Displays -----------------------------------------------------------------------------

std::optional<Monitor> LinuxDesktop::monitor(uint32_t displayId) {
    for (const Monitor& monitor : x_.monitors()) {
        if (monitor.id == displayId) return monitor;
    }
    return std::nullopt;
}

DisplayCountResult LinuxDesktop::activeDisplayCount() {
    if (!x_.connected()) return {};
    return {0, static_cast<uint32_t>(x_.monitors().size())};
}

DisplayListResult LinuxDesktop::activeDisplayList(uint32_t capacity) {
    if (!x_.connected()) return {};
    DisplayListResult result{0, {}};
    for (const Monitor& monitor : x_.monitors()) {
        if (result.displayIds.size() >= capacity) break;
        result.displayIds.push_back(monitor.id);
    }
    return result;
}

Rect LinuxDesktop::displayBounds(uint32_t displayId) {
    std::optional<Monitor> found = monitor(displayId);
    return found ? found->bounds : Rect{};
}

uint32_t LinuxDesktop::mainDisplayId() {
    std::vector<Monitor> monitors = x_.monitors();
    return monitors.empty() ? 0 : monitors.front().id;
}

std::vector<uint32_t> LinuxDesktop::displaysWithPoint(Point point) {
    std::vector<uint32_t> ids;
    for (const Monitor& monitor : x_.monitors()) {
        const Rect& b = monitor.bounds;
        if (point.x >= b.x && point.y >= b.y && point.x < b.x + b.width &&
            point.y < b.y + b.height) {
            ids.push_back(monitor.id);
        }
    }
    return ids;
}

// X draws in pixels: a point is a pixel.
std::optional<Size> LinuxDesktop::displayModePixelSize(uint32_t displayId) {
    std::optional<Monitor> found = monitor(displayId);
    if (!found) return std::nullopt;
    return Size{found->bounds.width, found->bounds.height};
}

Size LinuxDesktop::displayPixelsFallback(uint32_t displayId) {
    return displayModePixelSize(displayId).value_or(Size{});
}

std::vector<ScreenInfo> LinuxDesktop::screens() {
    // Screens count from the bottom left of the first (primary) one; no panel is subtracted.
    std::vector<ScreenInfo> screens;
    std::vector<Monitor> monitors = x_.monitors();
    if (monitors.empty()) return screens;
    const double primaryBottom = monitors.front().bounds.y + monitors.front().bounds.height;
    for (const Monitor& monitor : monitors) {
        const Rect& b = monitor.bounds;
        const Rect frame{b.x, primaryBottom - (b.y + b.height), b.width, b.height};
        screens.push_back({frame, frame, monitor.id});
    }
    return screens;
}

std::optional<Image> LinuxDesktop::createDisplayImage(uint32_t displayId) {
    return x_.captureDisplay(displayId);
}

std::optional<Image> LinuxDesktop::createWindowImage(uint32_t windowId) {
    return x_.captureWindow(windowId);
}

// --- Permissions: X and AT-SPI have no privacy gates; what is reachable is granted. ---------

bool LinuxDesktop::isProcessTrusted() {
    return atspi_.reachable();
}
bool LinuxDesktop::isProcessTrustedWithPrompt() {
    return atspi_.reachable();
}
bool LinuxDesktop::preflightScreenCaptureAccess() {
    return x_.connected();
}
bool LinuxDesktop::requestScreenCaptureAccess() {
    return x_.connected();
}
bool LinuxDesktop::preflightListenEventAccess() {
    return x_.connected();
}
bool LinuxDesktop::requestListenEventAccess() {
    return x_.connected();
}
bool LinuxDesktop::preflightPostEventAccess() {
    return x_.connected();
}
bool LinuxDesktop::requestPostEventAccess() {
    return x_.connected();
}
int32_t LinuxDesktop::determinePermissionToAutomate(int32_t, bool) {
    return 0;
}

} // namespace dorvex::platform::linux_desktop
