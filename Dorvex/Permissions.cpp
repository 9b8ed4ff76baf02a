// "permissions.status", "permissions.request" and "permissions.openSettings".
#include "Dorvex/Permissions.h"

#include "Dorvex/MethodHandlers.h"
#include "DorvexCore/Coercions.h"
#include "DorvexCore/DriverError.h"
#include "DorvexOS/FreshPermissionProbe.h"

namespace dorvex {
namespace {

// Runs the probe when the schedule allows it; one request probes at most once, however many
// screen-capture targets it names, so a hanging child costs it one time-out only.
class FreshProbe {
public:
    FreshProbe(Driver& driver, std::optional<FreshProbeSchedule::Request> request)
        : driver_(driver), request_(request) {}

    std::optional<bool> operator()() {
        if (answered_) return answer_;
        answered_ = true;
        if (!driver_.driverState.freshProbeSchedule.shouldProbe(request_, driver_.now())) {
            return answer_;
        }
        const std::optional<std::string>& executable = driver_.shared.settings.ownExecutablePath;
        if (executable) {
            answer_ = FreshPermissionProbe::screenCaptureGranted(*executable,
                                                                 FreshPermissionProbe::timeoutMs);
        }
        return answer_;
    }

private:
    Driver& driver_;
    std::optional<FreshProbeSchedule::Request> request_;
    bool answered_ = false;
    std::optional<bool> answer_;
};

PermissionReads permissionReads(Driver& driver, FreshProbe& probe) {
    platform::Permissions& permissions = driver.platform.permissions;
    return {
        [&permissions] { return permissions.isProcessTrusted(); },
        [&permissions] { return permissions.preflightScreenCaptureAccess(); },
        [&permissions] { return permissions.preflightListenEventAccess(); },
        [&permissions] { return permissions.preflightPostEventAccess(); },
        [&driver](const std::string& bundleId) {
            return automationPermissionOutcome(driver, bundleId, false).status;
        },
        [&probe] { return probe(); },
    };
}

std::vector<PermissionTarget> requestedTargets(const Json& params) {
    const Json* list = field(params, "targets");
    if (!list || !list->is_array()) return defaultPermissionTargets();
    for (const Json& target : *list) {
        if (!target.is_object()) return defaultPermissionTargets();
    }
    std::vector<PermissionTarget> targets;
    for (const Json& target : *list)
        targets.push_back(normalizeTarget(target));
    if (targets.empty()) return defaultPermissionTargets();
    return targets;
}

// Asks for the permission; true when it is granted according to the call.
bool requestPermission(Driver& driver, PermissionKind kind, bool prompt,
                       const std::optional<std::string>& targetBundleId) {
    platform::Permissions& permissions = driver.platform.permissions;
    switch (kind) {
    case PermissionKind::accessibility:
        return prompt ? permissions.isProcessTrustedWithPrompt() : permissions.isProcessTrusted();
    case PermissionKind::screenCapture: {
        if (!prompt) return permissions.preflightScreenCaptureAccess();
        const bool granted = permissions.requestScreenCaptureAccess();
        // The system grants screen capture to a process only from its next start.
        if (!granted) driver.driverState.requestedScreenCaptureWithoutGrant = true;
        return granted;
    }
    case PermissionKind::listenEvent:
        return prompt ? permissions.requestListenEventAccess()
                      : permissions.preflightListenEventAccess();
    case PermissionKind::postEvent:
        return prompt ? permissions.requestPostEventAccess()
                      : permissions.preflightPostEventAccess();
    case PermissionKind::automation:
        break;
    }
    return automationPermissionOutcome(driver, *targetBundleId, prompt).status ==
           PermissionStatus::granted;
}

} // namespace

AutomationPermissionOutcome
automationPermissionOutcome(Driver& driver, const std::string& targetBundleId, bool prompt) {
    const std::vector<platform::RunningApplication> running =
        driver.platform.workspace.runningApplicationsWithBundleId(targetBundleId);
    std::optional<int32_t> pid;
    if (!running.empty()) pid = running.front().pid;
    return automationPermissionOutcome(pid, [&](int32_t target) {
        return driver.platform.permissions.determinePermissionToAutomate(target, prompt);
    });
}

Json handlePermissionsStatus(Driver& driver, const DriverRequest& request) {
    const std::vector<PermissionTarget> targets = requestedTargets(request.params);
    FreshProbe probe(
        driver, FreshProbeSchedule::requestNamed(stringValue(field(request.params, "grantProbe"))));
    const PermissionReads reads = permissionReads(driver, probe);
    Json items = Json::array();
    for (const PermissionTarget& target : targets) {
        items.push_back(
            permissionItem(target, reads, driver.driverState.requestedScreenCaptureWithoutGrant));
    }
    return Json{{"platform", driver.platform.workspace.platformName()},
                {"supported", true},
                {"items", std::move(items)},
                {"checkedAt", driver.nowMs()}};
}

Json handlePermissionsRequest(Driver& driver, const DriverRequest& request) {
    const std::optional<PermissionKind> kind = permissionKindOf(field(request.params, "kind"));
    if (!kind) throw DriverError::invalidParams("kind is required");
    const bool prompt = boolValue(field(request.params, "prompt"), true);
    const std::optional<std::string> targetBundleId =
        stringValue(field(request.params, "targetBundleId"));
    if (*kind == PermissionKind::automation && !targetBundleId) {
        throw DriverError::invalidParams("targetBundleId is required for automation permission");
    }
    const bool ok = requestPermission(driver, *kind, prompt, targetBundleId);
    const PermissionTarget target{
        *kind, stringValue(field(request.params, "scope")).value_or(defaultScope(targetBundleId)),
        targetBundleId};
    // The status read again after the request; a request never starts the probe.
    FreshProbe noProbe(driver, std::nullopt);
    Json item = permissionItem(target, permissionReads(driver, noProbe),
                               driver.driverState.requestedScreenCaptureWithoutGrant);
    return Json{{"ok", ok}, {"item", std::move(item)}, {"requestedAt", driver.nowMs()}};
}

Json handleOpenSettings(Driver& driver, const DriverRequest& request) {
    const std::string target =
        stringValue(field(request.params, "target")).value_or("Privacy_Accessibility");
    const std::vector<std::string> urls = settingsURLs(target);
    Json opened; // null until a link opens
    for (const std::string& url : urls) {
        if (driver.platform.workspace.openURL(url)) {
            opened = url;
            break;
        }
    }
    return Json{{"ok", !opened.is_null()},
                {"target", target},
                {"openedURL", std::move(opened)},
                {"attemptedURLs", urls}};
}

} // namespace dorvex
