// "desktop_list_apps" and the process-wide app inventory.
#include "Dorvex/Apps.h"

#include "Dorvex/ActionHandlers.h"
#include "Dorvex/Actions.h"
#include "DorvexCore/Coercions.h"

#include <chrono>
#include <cstdlib>

namespace dorvex {
namespace {

using Inventory = BoundedReadOutcome<std::vector<RunningAppRecord>>;

constexpr int64_t maxBusyAnswers = 3;
constexpr double stuckAfterSeconds = 60;

Json timeoutFailure(const std::string& actionType, const std::string& message) {
    return makeFailure(actionType, ActionPath::ax, "timeout", "app_inventory_timeout", message,
                       true);
}

// A stuck read is waited for at most one more time-out, and then read once more, so a read
// that never returns holds the loop for about twice the time-out, never longer.
Inventory afterStuck(BoundedRead<std::vector<RunningAppRecord>>& inventory, int64_t timeoutMs,
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

BoundedRead<std::vector<RunningAppRecord>>& Shared::appInventory() {
    static BoundedRead<std::vector<RunningAppRecord>> inventory(maxBusyAnswers, stuckAfterSeconds);
    return inventory;
}

std::vector<RunningAppRecord> readRunningApps(platform::Platform& platform) {
    return runningAppRecords(platform.runningApplications());
}

int64_t appInventoryTimeoutFromEnvironment() {
    const char* text = std::getenv("DORVEX_APP_INVENTORY_TIMEOUT_MS");
    if (text == nullptr) return appInventoryTimeoutMs;
    const Json value(text);
    const std::optional<int64_t> ms = intValue(&value);
    if (!ms || *ms < 0 || *ms > 600'000) return appInventoryTimeoutMs;
    return *ms;
}

Json handleListApps(Driver& driver, const std::string& actionType, const Json&) {
    auto& inventory = Shared::appInventory();
    const int64_t timeoutMs = driver.appInventoryTimeoutMs;
    // The platform outlives every read: it is destroyed only when the process ends.
    const std::function<std::vector<RunningAppRecord>()> read = [&platform = driver.platform] {
        return readRunningApps(platform);
    };
    Inventory outcome = inventory.run(timeoutMs, read);
    if (outcome.kind == Inventory::Kind::stuck) outcome = afterStuck(inventory, timeoutMs, read);

    switch (outcome.kind) {
    case Inventory::Kind::finished: {
        Json apps = Json::array();
        for (const RunningAppRecord& record : *outcome.value)
            apps.push_back(record.json());
        const std::string summary = "Found " + std::to_string(apps.size()) + " running apps.";
        return makeSuccess(actionType, ActionPath::ax, summary, Json{{"apps", std::move(apps)}});
    }
    case Inventory::Kind::busy:
        return timeoutFailure(
            actionType, "macOS has not finished listing the running apps for an earlier request.");
    case Inventory::Kind::timedOut:
    case Inventory::Kind::stuck:
        break;
    }
    return timeoutFailure(actionType, "macOS did not list the running apps within " +
                                          std::to_string(timeoutMs / 1000) + " seconds.");
}

} // namespace dorvex
