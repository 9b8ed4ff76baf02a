#include "Dorvex/MethodHandlers.h"
#include "DorvexCore/Coercions.h"
#include "DorvexCore/DriverError.h"

namespace dorvex {

Json handlePing(Driver& driver, const DriverRequest&) {
    return Json{{"ok", true},
                {"platform", driver.platform.workspace.platformName()},
                {"timestamp", driver.nowMs()}};
}

Json handleCapabilities(Driver& driver, const DriverRequest&) {
    const DriverCapabilities& capabilities = driver.driverState.capabilities;
    return Json{{"protocolVersion", capabilities.protocolVersion},
                {"supportedActionTypes", capabilities.supportedActionTypes},
                {"supportsObservers", capabilities.supportsObservers},
                {"supportsScreenCapture", capabilities.supportsScreenCapture},
                {"supportsAppleEvents", capabilities.supportsAppleEvents}};
}

Json handleCancel(Driver& driver, const DriverRequest& request) {
    std::optional<std::string> requestId = stringValue(field(request.params, "requestId"));
    if (!requestId) throw DriverError::invalidParams("requestId is required.");
    return Json{{"cancelled", driver.shared.scripts->cancel(*requestId)}};
}

} // namespace dorvex
