#include "Dorvex/Actions.h"
#include "Dorvex/MethodHandlers.h"
#include "Dorvex/Scripts.h"
#include "DorvexCore/Coercions.h"
#include "DorvexCore/DriverError.h"

namespace dorvex {

std::optional<Json> handlePing(Driver& driver, const DriverRequest&) {
    return Json{{"ok", true}, {"platform", "darwin"}, {"timestamp", driver.nowMs()}};
}

std::optional<Json> handleCapabilities(Driver& driver, const DriverRequest&) {
    const DriverCapabilities& capabilities = driver.driverState.capabilities;
    return Json{{"protocolVersion", capabilities.protocolVersion},
                {"supportedActionTypes", capabilities.supportedActionTypes},
                {"supportsObservers", capabilities.supportsObservers},
                {"supportsScreenCapture", capabilities.supportsScreenCapture},
                {"supportsAppleEvents", capabilities.supportsAppleEvents}};
}

std::optional<Json> handleExecute(Driver& driver, const DriverRequest& request) {
    // A script run answers later, so it needs the request id: it bypasses the action table.
    static const std::string runAppleScript = "desktop_run_applescript";
    const Json* action = field(request.params, "action");
    if (action != nullptr && action->is_object() &&
        stringValue(field(*action, "actionType")) == runAppleScript) {
        return startAppleScript(driver, request.id, runAppleScript, *action);
    }
    return handleAutomationExecute(driver, request.params);
}

std::optional<Json> handleCancel(Driver& driver, const DriverRequest& request) {
    std::optional<std::string> requestId = stringValue(field(request.params, "requestId"));
    if (!requestId) throw DriverError::invalidParams("requestId is required.");
    return Json{{"cancelled", scriptsOf(driver)->cancel(*requestId)}};
}

} // namespace dorvex
