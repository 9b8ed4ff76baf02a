#include "platform/sim/SimWindowList.h"

#include "platform/sim/SimElementTree.h"
#include "platform/sim/SimJsonReader.h"

#include <algorithm>
#include <limits>

namespace dorvex::platform::sim {
namespace {

constexpr uint32_t onScreenOnlyBit = 1;
constexpr uint32_t aboveBit = 2;
constexpr uint32_t belowBit = 4;
constexpr uint32_t includingBit = 8;
constexpr uint32_t excludeDesktopBit = 16;

Json boundsDictionary(const Rect& rect) {
    return Json{{"X", rect.x}, {"Y", rect.y}, {"Width", rect.width}, {"Height", rect.height}};
}

std::optional<size_t> indexOf(const std::vector<SimWindow>& windows, uint32_t number) {
    for (size_t i = 0; i < windows.size(); ++i) {
        if (windows[i].number == number) return i;
    }
    return std::nullopt;
}

// Above and below are relative to one window; the answer always holds on-screen windows only.
std::vector<size_t> relativeIndices(const std::vector<SimWindow>& windows, uint32_t option,
                                    size_t relative) {
    std::vector<size_t> picked;
    for (size_t i = 0; i < windows.size(); ++i) {
        bool wanted = (i < relative && (option & aboveBit)) ||
                      (i > relative && (option & belowBit)) ||
                      (i == relative && (option & includingBit));
        if (wanted && windows[i].isOnScreen()) picked.push_back(i);
    }
    return picked;
}

} // namespace

SimWindow parseWindow(const Json& value, const std::string& path) {
    ObjectReader reader(value, path);
    SimWindow window;
    if (auto number = reader.integer("number", 0, std::numeric_limits<uint32_t>::max())) {
        window.number = static_cast<uint32_t>(*number);
    }
    window.ownerPid = reader.integer("ownerPid", std::numeric_limits<int64_t>::min(),
                                     std::numeric_limits<int64_t>::max());
    window.ownerName = reader.string("ownerName");
    window.title = reader.string("title");
    window.bounds = reader.rect("bounds");
    window.layer = reader.integer("layer", std::numeric_limits<int32_t>::min(),
                                  std::numeric_limits<int32_t>::max());
    window.alpha = reader.number("alpha");
    window.onScreen = reader.boolean("onScreen");
    window.desktopElement = reader.boolean("desktopElement").value_or(false);
    if (const Json* areas = reader.array("hitAreas")) {
        window.hitAreas.emplace();
        for (size_t i = 0; i < areas->size(); ++i) {
            window.hitAreas->push_back(
                readRect((*areas)[i], reader.pathOf("hitAreas") + "[" + std::to_string(i) + "]"));
        }
    }
    if (const Json* raw = reader.object("rawKeys")) window.rawKeys = *raw;
    window.contentImage = reader.string("contentImage");
    reader.finish();
    return window;
}

WindowRow windowRow(const SimWindow& window) {
    WindowRow row = Json::object();
    if (window.number) row["kCGWindowNumber"] = *window.number;
    if (window.ownerPid) row["kCGWindowOwnerPID"] = *window.ownerPid;
    if (window.layer) row["kCGWindowLayer"] = *window.layer;
    if (window.alpha) row["kCGWindowAlpha"] = *window.alpha;
    if (window.onScreen) row["kCGWindowIsOnscreen"] = *window.onScreen;
    if (window.ownerName) row["kCGWindowOwnerName"] = *window.ownerName;
    if (window.title) row["kCGWindowName"] = *window.title;
    if (window.bounds) row["kCGWindowBounds"] = boundsDictionary(*window.bounds);
    for (const auto& [key, value] : window.rawKeys.items()) {
        if (value.is_null()) {
            row.erase(key);
        } else {
            row[key] = value;
        }
    }
    return row;
}

std::vector<WindowRow> windowList(const std::vector<SimWindow>& windows, uint32_t option,
                                  uint32_t relativeToWindow) {
    std::vector<size_t> picked;
    if (option & (aboveBit | belowBit)) {
        std::optional<size_t> relative = indexOf(windows, relativeToWindow);
        if (!relative) return {};
        picked = relativeIndices(windows, option, *relative);
    } else if (option & includingBit) {
        if (std::optional<size_t> only = indexOf(windows, relativeToWindow)) picked = {*only};
    } else {
        for (size_t i = 0; i < windows.size(); ++i) {
            if (!(option & onScreenOnlyBit) || windows[i].isOnScreen()) picked.push_back(i);
        }
    }
    std::vector<WindowRow> rows;
    for (size_t i : picked) {
        if ((option & excludeDesktopBit) && windows[i].desktopElement) continue;
        rows.push_back(windowRow(windows[i]));
    }
    return rows;
}

const SimWindow* findWindow(const std::vector<SimWindow>& windows, uint32_t number) {
    std::optional<size_t> index = indexOf(windows, number);
    return index ? &windows[*index] : nullptr;
}

const SimWindow* windowAt(const std::vector<SimWindow>& windows, Point point,
                          std::optional<int32_t> ownerPid) {
    for (const SimWindow& window : windows) {
        if (!window.isVisible() || !window.bounds || !contains(*window.bounds, point)) continue;
        if (ownerPid && window.ownerPid != *ownerPid) continue;
        if (window.hitAreas &&
            std::none_of(window.hitAreas->begin(), window.hitAreas->end(),
                         [&](const Rect& area) { return contains(area, point); })) {
            continue;
        }
        return &window;
    }
    return nullptr;
}

} // namespace dorvex::platform::sim
