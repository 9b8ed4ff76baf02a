#include "Dorvex/Actions.h"
#include "Dorvex/MethodHandlers.h"
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
    return handleAutomationExecute(driver, request.params);
}

std::optional<Json> handleCancel(Driver&, const DriverRequest& request) {
    std::optional<std::string> requestId = stringValue(field(request.params, "requestId"));
    if (!requestId) throw DriverError::invalidParams("requestId is required.");
    // No script run can be out yet, so there is nothing to cancel.
    return Json{{"cancelled", false}};
}

} // namespace dorvex
