#include "Dorvex/Displays.h"

#include "Dorvex/ActionHandlers.h"

#include <algorithm>

namespace dorvex {

Json desktopDisplayLayout(platform::Displays& displays) {
    Json layout = Json::array();
    platform::DisplayCountResult count = displays.activeDisplayCount();
    if (count.code != 0) return layout;
    platform::DisplayListResult list = displays.activeDisplayList(count.count);
    if (list.code != 0) return layout;
    // The list may have changed between the two calls: keep what both allow.
    std::vector<uint32_t> ids = list.displayIds;
    if (ids.size() > count.count) ids.resize(count.count);
    std::sort(ids.begin(), ids.end());
    for (uint32_t id : ids) {
        platform::Rect bounds = displays.displayBounds(id);
        std::optional<platform::Size> mode = displays.displayModePixelSize(id);
        platform::Size pixels = mode ? *mode : displays.displayPixelsFallback(id);
        layout.push_back({{"monitorId", id},
                          {"bounds",
                           {{"x", bounds.x},
                            {"y", bounds.y},
                            {"width", bounds.width},
                            {"height", bounds.height}}},
                          {"pixelWidth", static_cast<int64_t>(pixels.width)},
                          {"pixelHeight", static_cast<int64_t>(pixels.height)}});
    }
    return layout;
}

Json handleListMonitors(Driver& driver, const ActionContext& context, const Json&) {
    return context.success("Enumerated displays.", desktopDisplayLayout(driver.platform.displays));
}

} // namespace dorvex
