// "desktop_list_windows": the on-screen windows, front to back, narrowed by owner and window.
#include "Dorvex/ActionHandlers.h"
#include "Dorvex/WindowAccess.h"
#include "DorvexCore/Coercions.h"
#include "DorvexCore/WindowRows.h"
#include "DorvexCore/WindowTarget.h"

#include <limits>

namespace dorvex {
namespace {

std::optional<int32_t> frontmostPid(platform::Workspace& workspace) {
    std::optional<platform::RunningApplication> app = workspace.frontmostApplication();
    if (!app) return std::nullopt;
    return app->pid;
}

// A pid outside the signed 32-bit range names no process: treat it as not given.
std::optional<int32_t> pidSelector(std::optional<int64_t> value) {
    if (!value || *value < std::numeric_limits<int32_t>::min() ||
        *value > std::numeric_limits<int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<int32_t>(*value);
}

} // namespace

Json handleListWindows(Driver& driver, const ActionContext& context, const Json& action) {
    platform::Platform& platform = driver.platform;
    if (std::optional<Failure> malformed = malformedSelectorFailure(action)) {
        return context.failure(*malformed);
    }
    const std::optional<std::string> appBundleId = stringValue(field(action, "appBundleId"));
    const std::optional<int32_t> frontmost = frontmostPid(platform.workspace);
    const std::optional<int64_t> windowId = intValue(field(action, "windowId"));
    const std::optional<int32_t> appPid = pidSelector(intValue(field(action, "appPid")));

    const WindowListOwnerScope scope = WindowTarget::listOwnerScope(
        windowId, appPid, appBundleId,
        [&platform](const std::string& bundleId) {
            std::vector<int32_t> pids;
            for (const auto& app : platform.workspace.runningApplicationsWithBundleId(bundleId)) {
                pids.push_back(app.pid);
            }
            return pids;
        },
        [&platform] { return frontmostPid(platform.workspace); });

    std::optional<std::vector<platform::WindowRow>> rows =
        platform.windowServer.copyWindowInfo(platform::WindowListOption::onScreenWithoutDesktop, 0);
    std::optional<Json> windows =
        rows ? WindowRows::listRows(*rows, scope, windowId) : std::nullopt;
    if (!windows) {
        return context.failure(failures::windowsQueryFailed());
    }
    const std::string summary = "Found " + std::to_string(windows->size()) + " windows.";
    return context.success(
        summary, Json{{"windows", std::move(*windows)},
                      {"frontmostPid",
                       DriverProtocol::frontmostPidField(DriverProtocol::knownPid(frontmost))}});
}

} // namespace dorvex
