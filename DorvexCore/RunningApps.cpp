#include "DorvexCore/RunningApps.h"

namespace dorvex {

Json RunningAppRecord::json() const {
    return Json{{"name", name ? Json(*name) : Json(nullptr)},
                {"bundleId", bundleId},
                {"pid", pid},
                {"isActive", isActive},
                {"isHidden", isHidden}};
}

std::vector<RunningAppRecord>
runningAppRecords(const std::vector<platform::RunningApplication>& apps) {
    std::vector<RunningAppRecord> records;
    for (const platform::RunningApplication& app : apps) {
        // Helpers and daemons without a bundle are not apps a controller can name.
        if (!app.bundleIdentifier) continue;
        records.push_back(
            {app.localizedName, *app.bundleIdentifier, app.pid, app.isActive, app.isHidden});
    }
    return records;
}

} // namespace dorvex
