// "desktop_list_apps" over the process-wide app inventory.
#include "Dorvex/Apps.h"

#include "Dorvex/ActionHandlers.h"
#include "DorvexCore/RunningApps.h"

#include <algorithm>
#include <chrono>
#include <functional>

namespace dorvex {
namespace {

using Apps = std::vector<platform::RunningApplication>;

// A stuck read is waited for at most one more time-out, and then read once more, so a read
// that never returns holds the loop for about twice the time-out, never longer.
AppInventoryRead afterStuck(AppInventory& inventory, int64_t timeoutMs,
                            const std::function<Apps()>& read) {
    if (!inventory.waitWhileRunningFor(
            std::chrono::milliseconds(std::max<int64_t>(timeoutMs, 0)))) {
        return AppInventoryRead::timedOut();
    }
    AppInventoryRead again = inventory.run(timeoutMs, read);
    // Nothing else starts reads, so only a time-out or a finished read can come back here.
    if (again.kind != AppInventoryRead::Kind::finished) return AppInventoryRead::timedOut();
    return again;
}

} // namespace

AppInventoryRead readAppInventory(Driver& driver) {
    AppInventory& inventory = driver.shared.appInventory;
    const int64_t timeoutMs = driver.shared.settings.appInventoryTimeoutMs;
    // The platform outlives every read: it is destroyed only when the process ends.
    const std::function<Apps()> read = [&workspace = driver.platform.workspace] {
        return workspace.runningApplications();
    };
    AppInventoryRead outcome = inventory.run(timeoutMs, read);
    if (outcome.kind == AppInventoryRead::Kind::stuck) {
        outcome = afterStuck(inventory, timeoutMs, read);
    }
    return outcome;
}

std::string appInventoryUnfinishedMessage(const AppInventoryRead& outcome, int64_t timeoutMs) {
    if (outcome.kind == AppInventoryRead::Kind::busy) {
        return "macOS has not finished listing the running apps for an earlier request.";
    }
    return "macOS did not list the running apps within " + std::to_string(timeoutMs / 1000) +
           " seconds.";
}

Json handleListApps(Driver& driver, const ActionContext& context, const Json&) {
    const AppInventoryRead outcome = readAppInventory(driver);
    if (outcome.kind != AppInventoryRead::Kind::finished) {
        return context.failure(failures::appInventoryTimeout(
            appInventoryUnfinishedMessage(outcome, driver.shared.settings.appInventoryTimeoutMs)));
    }
    Json apps = Json::array();
    for (const RunningAppRecord& record : runningAppRecords(*outcome.value))
        apps.push_back(record.json());
    const std::string summary = "Found " + std::to_string(apps.size()) + " running apps.";
    return context.success(summary, Json{{"apps", std::move(apps)}});
}

} // namespace dorvex
