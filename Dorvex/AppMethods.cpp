// "system.appState", "app.launch" and "system.runningApps".
#include "Dorvex/Apps.h"
#include "Dorvex/AutomationTargets.h"
#include "Dorvex/MethodHandlers.h"
#include "DorvexCore/AppLaunch.h"
#include "DorvexCore/Coercions.h"
#include "DorvexCore/DriverError.h"
#include "DorvexOS/ProcessRunner.h"

#include <chrono>
#include <memory>
#include <mutex>

namespace dorvex {
namespace {

std::string requiredBundleId(const DriverRequest& request) {
    std::optional<std::string> bundleId = stringValue(field(request.params, "bundleId"));
    if (!bundleId) throw DriverError::invalidParams("bundleId is required");
    return *bundleId;
}

std::optional<int32_t> firstRunningPid(platform::Workspace& workspace,
                                       const std::string& bundleId) {
    const std::vector<platform::RunningApplication> running =
        workspace.runningApplicationsWithBundleId(bundleId);
    if (running.empty()) return std::nullopt;
    return running.front().pid;
}

// What the open completion hands to the waiting handler. The completion may run on any thread,
// at any time, even after the handler answered: once the handler has taken the slots they are
// closed, and a later completion leaves them alone.
class LaunchSlots {
public:
    void deliver(const platform::OpenApplicationResult& result) {
        {
            std::lock_guard guard(lock_);
            if (closed_) return;
            if (result.app) delivered_.pid = result.app->pid;
            delivered_.error = result.error;
        }
        arrived_.signal();
    }

    AppLaunch::Delivered waitAndClose(std::chrono::milliseconds wait) {
        arrived_.waitUntil(std::chrono::steady_clock::now() + wait);
        std::lock_guard guard(lock_);
        closed_ = true;
        return delivered_;
    }

private:
    std::mutex lock_;
    bool closed_ = false;
    AppLaunch::Delivered delivered_;
    Semaphore arrived_;
};

} // namespace

Json handleAppState(Driver& driver, const DriverRequest& request) {
    const std::string bundleId = requiredBundleId(request);
    const std::optional<int32_t> pid = firstRunningPid(driver.platform.workspace, bundleId);
    Json result{{"bundleId", bundleId}, {"running", pid.has_value()}};
    if (pid) result["pid"] = *pid;
    return result;
}

Json handleAppLaunch(Driver& driver, const DriverRequest& request) {
    const std::string bundleId = requiredBundleId(request);
    platform::Workspace& workspace = driver.platform.workspace;
    const std::optional<std::string> url = workspace.urlForApplication(bundleId);
    if (!url) {
        return Json{{"ok", false},
                    {"bundleId", bundleId},
                    {"error", "Application URL not found for " + bundleId}};
    }
    const bool activate = boolValue(field(request.params, "activate"), true);
    const int64_t waitMs = AppLaunch::waitMs(field(request.params, "waitForLaunchMs"));
    auto slots = std::make_shared<LaunchSlots>();
    workspace.openApplication(*url, activate, [slots](platform::OpenApplicationResult result) {
        slots->deliver(result);
    });
    const AppLaunch::Delivered delivered = slots->waitAndClose(std::chrono::milliseconds(waitMs));
    return AppLaunch::result(bundleId, activate, delivered,
                             [&] { return firstRunningPid(workspace, bundleId); });
}

Json handleRunningApps(Driver& driver, const DriverRequest&) {
    const std::optional<platform::RunningApplication> frontmost =
        driver.platform.workspace.frontmostApplication();
    const AppInventoryRead outcome = readAppInventory(driver);
    // Without the list there is nothing true to answer; an empty list would say no app runs.
    if (outcome.kind != AppInventoryRead::Kind::finished) {
        throw DriverError::unsupported(
            appInventoryUnfinishedMessage(outcome, driver.shared.settings.appInventoryTimeoutMs));
    }
    Json apps = Json::array();
    for (const platform::RunningApplication& app : *outcome.value) {
        if (app.activationPolicy != platform::ActivationPolicy::regular) continue;
        if (!app.bundleIdentifier) continue;
        apps.push_back(Json{
            {"bundleId", *app.bundleIdentifier},
            {"label", app.localizedName.value_or(*app.bundleIdentifier)},
            {"isActive", frontmost.has_value() && frontmost->pid == app.pid},
            {"scriptability", AppScriptability::wireName(scriptabilityOfBundle(app.bundleURL))}});
    }
    return Json{{"apps", std::move(apps)}};
}

} // namespace dorvex
