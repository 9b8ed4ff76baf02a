// The simulated desktop's window server, displays and images.
#include "platform/sim/SimDesktop.h"
#include "platform/sim/SimRender.h"

#include <algorithm>
#include <chrono>

namespace dorvex::platform::sim {
namespace {

constexpr int32_t displayFailure = 1000; // the window server's generic failure code

} // namespace

// Window server.

std::optional<std::vector<WindowRow>> SimDesktop::copyWindowInfo(WindowListOption option,
                                                                 uint32_t relativeToWindow) {
    Call call(*this, "copyWindowInfo");
    std::lock_guard lock(mutex_);
    uint32_t bits = static_cast<uint32_t>(option);
    if (model_.faults.windowListFails(bits)) return std::nullopt;
    return windowList(model_.windows, bits, relativeToWindow);
}

int32_t SimDesktop::windowLevelForKey(int32_t key) {
    Call call(*this, "windowLevelForKey");
    std::lock_guard lock(mutex_);
    auto found = model_.windowLevels.find(key);
    return found == model_.windowLevels.end() ? 0 : found->second;
}

// Displays.

DisplayCountResult SimDesktop::activeDisplayCount() {
    Call call(*this, "activeDisplayCount");
    std::lock_guard lock(mutex_);
    if (model_.faults.displayCount) return {displayFailure, 0};
    return {0, static_cast<uint32_t>(model_.displays.size())};
}

DisplayListResult SimDesktop::activeDisplayList(uint32_t capacity) {
    Call call(*this, "activeDisplayList");
    std::lock_guard lock(mutex_);
    if (model_.faults.displayList) return {displayFailure, {}};
    DisplayListResult result{0, {}};
    for (const SimDisplay& display : model_.displays) {
        if (result.displayIds.size() == capacity) break;
        result.displayIds.push_back(display.id);
    }
    return result;
}

Rect SimDesktop::displayBounds(uint32_t displayId) {
    Call call(*this, "displayBounds");
    std::lock_guard lock(mutex_);
    const SimDisplay* display = model_.display(displayId);
    return display ? display->bounds : Rect{};
}

uint32_t SimDesktop::mainDisplayId() {
    Call call(*this, "mainDisplayId");
    std::lock_guard lock(mutex_);
    const SimDisplay* main = model_.mainDisplay();
    return main ? main->id : 0;
}

std::vector<uint32_t> SimDesktop::displaysWithPoint(Point point) {
    Call call(*this, "displaysWithPoint");
    std::lock_guard lock(mutex_);
    std::vector<uint32_t> ids;
    for (const SimDisplay& display : model_.displays) {
        if (contains(display.bounds, point)) ids.push_back(display.id);
    }
    return ids;
}

std::optional<Size> SimDesktop::displayModePixelSize(uint32_t displayId) {
    Call call(*this, "displayModePixelSize");
    std::lock_guard lock(mutex_);
    const SimDisplay* display = model_.display(displayId);
    if (!display || !display->modeReadable) return std::nullopt;
    return display->pixelSize;
}

Size SimDesktop::displayPixelsFallback(uint32_t displayId) {
    Call call(*this, "displayPixelsFallback");
    std::lock_guard lock(mutex_);
    const SimDisplay* display = model_.display(displayId);
    return display ? display->fallbackPixelSize : Size{};
}

// Screens answer in the screen list's own coordinates: origin at the bottom left of the main
// display, y upwards, the main screen first.
std::vector<ScreenInfo> SimDesktop::screens() {
    Call call(*this, "screens");
    std::lock_guard lock(mutex_);
    const SimDisplay* main = model_.mainDisplay();
    if (!main) return {};
    double top = main->bounds.y + main->bounds.height;
    auto flip = [&](const Rect& rect) {
        return Rect{rect.x, top - (rect.y + rect.height), rect.width, rect.height};
    };
    std::vector<ScreenInfo> screens{{flip(main->bounds), flip(main->visibleFrame), main->id}};
    for (const SimDisplay& display : model_.displays) {
        if (&display == main) continue;
        screens.push_back({flip(display.bounds), flip(display.visibleFrame), display.id});
    }
    return screens;
}

// Images. Rendering runs on copies, outside the lock.

std::optional<Image> SimDesktop::createDisplayImage(uint32_t displayId) {
    Call call(*this, "createDisplayImage");
    Rect bounds;
    Size pixels;
    SimPictureRef background;
    std::vector<SimWindow> windows; // pictures are shared, not copied
    {
        std::lock_guard lock(mutex_);
        const SimDisplay* display = model_.display(displayId);
        if (model_.faults.displayImage || !display) return std::nullopt;
        bounds = display->bounds;
        pixels = display->pixelSize;
        background = display->content;
        windows = model_.windows;
    }
    return renderDisplay(bounds, pixels, windows, background);
}

double SimDesktop::scaleForWindow(const SimWindow& window) const {
    const Rect& bounds = *window.bounds;
    Point centre{bounds.x + bounds.width / 2, bounds.y + bounds.height / 2};
    const SimDisplay* holder = model_.mainDisplay();
    for (const SimDisplay& display : model_.displays) {
        if (contains(display.bounds, centre)) holder = &display;
    }
    return holder ? holder->pixelSize.width / holder->bounds.width : 1.0;
}

std::optional<Image> SimDesktop::createWindowImage(uint32_t windowId) {
    Call call(*this, "createWindowImage");
    SimWindow window;
    double scale = 1;
    {
        std::lock_guard lock(mutex_);
        const SimWindow* found = findWindow(model_.windows, windowId);
        if (model_.faults.windowImage || !found || !found->bounds) return std::nullopt;
        window = *found;
        scale = scaleForWindow(window);
    }
    return renderWindow(window, scale);
}

} // namespace dorvex::platform::sim
