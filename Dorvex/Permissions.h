#pragma once

// The permission checks the permission and automation-target methods share.
#include "Dorvex/Driver.h"
#include "DorvexCore/Permissions.h"

#include <string>

namespace dorvex {

// The Apple Events check against the first running instance of the bundle id; the system may
// ask the user only when `prompt` is true.
AutomationPermissionOutcome
automationPermissionOutcome(Driver& driver, const std::string& targetBundleId, bool prompt);

} // namespace dorvex
