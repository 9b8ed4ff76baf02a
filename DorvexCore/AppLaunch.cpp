#include "DorvexCore/AppLaunch.h"

#include "DorvexCore/Coercions.h"

#include <algorithm>

namespace dorvex::AppLaunch {

int64_t waitMs(const Json* value) {
    std::optional<int64_t> asked = intValue(value);
    if (!asked) return defaultWaitMs;
    return std::clamp(*asked, minimumWaitMs, maximumWaitMs);
}

Json result(const std::string& bundleId, bool activate, const Delivered& delivered,
            const std::function<std::optional<int32_t>()>& runningPid) {
    auto failed = [&](std::string message) {
        return Json{{"ok", false}, {"bundleId", bundleId}, {"error", std::move(message)}};
    };
    auto launched = [&](int32_t pid) {
        return Json{{"ok", true}, {"bundleId", bundleId}, {"pid", pid}, {"activated", activate}};
    };
    if (delivered.error) return failed(*delivered.error);
    if (delivered.pid) return launched(*delivered.pid);
    if (std::optional<int32_t> pid = runningPid()) return launched(*pid);
    return failed("Launch timed out for " + bundleId);
}

} // namespace dorvex::AppLaunch
