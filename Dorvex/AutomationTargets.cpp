// "system.automationTargetInfo" and "system.requestAutomationPermission".
#include "Dorvex/AutomationTargets.h"

#include "Dorvex/MethodHandlers.h"
#include "Dorvex/Permissions.h"
#include "DorvexCore/Coercions.h"
#include "DorvexCore/DriverError.h"
#include "DorvexOS/BundleFiles.h"
#include "DorvexOS/ProcessRunner.h"

#include <vector>

namespace dorvex {
namespace {

// What is known about a target before any permission is asked for.
struct AutomationTarget {
    std::string bundleId;
    std::optional<platform::RunningApplication> firstRunning;
    std::optional<std::string> bundlePath;
    AppScriptability::Value scriptability = AppScriptability::Value::unknown;
};

std::string requiredBundleId(const DriverRequest& request) {
    std::optional<std::string> bundleId = stringValue(field(request.params, "bundleId"));
    if (!bundleId) throw DriverError::invalidParams("bundleId is required");
    return *bundleId;
}

// The running instance's bundle first, else where the workspace says the app is installed.
AutomationTarget locate(Driver& driver, const std::string& bundleId) {
    AutomationTarget target{bundleId, std::nullopt, std::nullopt};
    platform::Workspace& workspace = driver.platform.workspace;
    const std::vector<platform::RunningApplication> running =
        workspace.runningApplicationsWithBundleId(bundleId);
    if (!running.empty()) target.firstRunning = running.front();
    std::optional<std::string> url;
    if (target.firstRunning) url = target.firstRunning->bundleURL;
    if (!url) url = workspace.urlForApplication(bundleId);
    if (url) target.bundlePath = AppScriptability::filePathOfURL(*url);
    target.scriptability = AppScriptability::read(target.bundlePath, systemBundleFiles());
    return target;
}

// A path decoded from a URL may hold bytes that are not UTF-8; the answer must stay writable.
std::string pathText(const std::string& path) {
    return ProcessRunner::decodeUTF8(path);
}

Json describe(const AutomationTarget& target) {
    return Json{{"bundleId", target.bundleId},
                {"running", target.firstRunning.has_value()},
                {"scriptability", AppScriptability::wireName(target.scriptability)}};
}

std::optional<std::string> errorCodeAfterPrompt(const AutomationTarget& target,
                                                const AutomationPermissionOutcome& prior,
                                                const AutomationPermissionOutcome& current) {
    if (current.status == PermissionStatus::granted) return std::nullopt;
    if (target.scriptability == AppScriptability::Value::notScriptable) return "not_scriptable";
    if (current.osStatus == eventNotPermittedStatus ||
        (prior.status == PermissionStatus::granted &&
         current.status == PermissionStatus::notGranted)) {
        return "prompt_denied";
    }
    return std::nullopt;
}

} // namespace

AppScriptability::Value scriptabilityOfBundle(const std::optional<std::string>& bundleURL) {
    std::optional<std::string> path;
    if (bundleURL) path = AppScriptability::filePathOfURL(*bundleURL);
    return AppScriptability::read(path, systemBundleFiles());
}

Json handleAutomationTargetInfo(Driver& driver, const DriverRequest& request) {
    const AutomationTarget target = locate(driver, requiredBundleId(request));
    Json result = describe(target);
    if (target.bundlePath) result["bundleURL"] = pathText(*target.bundlePath);
    if (target.firstRunning) {
        result["pid"] = target.firstRunning->pid;
        if (target.firstRunning->localizedName) {
            result["label"] = *target.firstRunning->localizedName;
        }
    }
    return result;
}

Json handleRequestAutomationPermission(Driver& driver, const DriverRequest& request) {
    const std::string bundleId = requiredBundleId(request);
    const AutomationPermissionOutcome prior = automationPermissionOutcome(driver, bundleId, false);
    const AutomationTarget target = locate(driver, bundleId);
    Json result{{"bundleId", bundleId}};
    if (!target.firstRunning) {
        result["promptAttempted"] = false;
        result["running"] = false;
        result["scriptability"] = AppScriptability::wireName(target.scriptability);
        result["priorStatus"] = wireName(prior.status);
        result["currentStatus"] = wireName(prior.status);
        if (target.bundlePath) result["bundleURL"] = pathText(*target.bundlePath);
        result["errorCode"] = "target_not_running";
        return result;
    }
    const AutomationPermissionOutcome current = automationPermissionOutcome(driver, bundleId, true);
    result["promptAttempted"] = true;
    result["running"] = true;
    result["scriptability"] = AppScriptability::wireName(target.scriptability);
    result["priorStatus"] = wireName(prior.status);
    result["currentStatus"] = wireName(current.status);
    result["osStatus"] = current.osStatus;
    if (target.bundlePath) result["bundleURL"] = pathText(*target.bundlePath);
    if (auto code = errorCodeAfterPrompt(target, prior, current)) result["errorCode"] = *code;
    return result;
}

} // namespace dorvex
