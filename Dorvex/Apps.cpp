// "desktop_list_apps" over the process-wide app inventory.
#include "Dorvex/Apps.h"

#include "Dorvex/ActionHandlers.h"

#include <algorithm>
#include <chrono>
#include <functional>

namespace dorvex {
namespace {

using Inventory = BoundedReadOutcome<std::vector<RunningAppRecord>>;

// A stuck read is waited for at most one more time-out, and then read once more, so a read
// that never returns holds the loop for about twice the time-out, never longer.
Inventory afterStuck(AppInventory& inventory, int64_t timeoutMs,
                     const std::function<std::vector<RunningAppRecord>()>& read) {
    if (!inventory.waitWhileRunningFor(
            std::chrono::milliseconds(std::max<int64_t>(timeoutMs, 0)))) {
        return Inventory::timedOut();
    }
    Inventory again = inventory.run(timeoutMs, read);
    // Nothing else starts reads, so only a time-out or a finished read can come back here.
    if (again.kind != Inventory::Kind::finished) return Inventory::timedOut();
    return again;
}

} // namespace

std::vector<RunningAppRecord> readRunningApps(platform::Workspace& workspace) {
    return runningAppRecords(workspace.runningApplications());
}

Json handleListApps(Driver& driver, const ActionContext& context, const Json&) {
    AppInventory& inventory = driver.shared.appInventory;
    const int64_t timeoutMs = driver.shared.settings.appInventoryTimeoutMs;
    // The platform outlives every read: it is destroyed only when the process ends.
    const std::function<std::vector<RunningAppRecord>()> read =
        [&workspace = driver.platform.workspace] { return readRunningApps(workspace); };
    Inventory outcome = inventory.run(timeoutMs, read);
    if (outcome.kind == Inventory::Kind::stuck) outcome = afterStuck(inventory, timeoutMs, read);

    switch (outcome.kind) {
    case Inventory::Kind::finished: {
        Json apps = Json::array();
        for (const RunningAppRecord& record : *outcome.value)
            apps.push_back(record.json());
        const std::string summary = "Found " + std::to_string(apps.size()) + " running apps.";
        return context.success(summary, Json{{"apps", std::move(apps)}});
    }
    case Inventory::Kind::busy:
        return context.failure(failures::appInventoryTimeout(
            "macOS has not finished listing the running apps for an earlier request."));
    case Inventory::Kind::timedOut:
    case Inventory::Kind::stuck:
        break;
    }
    return context.failure(
        failures::appInventoryTimeout("macOS did not list the running apps within " +
                                      std::to_string(timeoutMs / 1000) + " seconds."));
}

} // namespace dorvex
