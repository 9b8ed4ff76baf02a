#pragma once

// Method handlers: each takes the request and answers a result object, or throws DriverError
// for bad parameters, which the dispatcher turns into a JSON-RPC error.
#include "Dorvex/Driver.h"
#include "DorvexCore/DriverProtocol.h"
#include "platform/types/Json.h"

namespace dorvex {

Json handlePing(Driver& driver, const DriverRequest& request);
Json handleCapabilities(Driver& driver, const DriverRequest& request);
Json handleCancel(Driver& driver, const DriverRequest& request);

Json handleAppState(Driver& driver, const DriverRequest& request);
Json handleRunningApps(Driver& driver, const DriverRequest& request);
Json handleAppLaunch(Driver& driver, const DriverRequest& request);

Json handleAutomationTargetInfo(Driver& driver, const DriverRequest& request);
Json handleRequestAutomationPermission(Driver& driver, const DriverRequest& request);

Json handlePermissionsStatus(Driver& driver, const DriverRequest& request);
Json handlePermissionsRequest(Driver& driver, const DriverRequest& request);
Json handleOpenSettings(Driver& driver, const DriverRequest& request);

} // namespace dorvex
