#pragma once

// Where an application's bundle is and whether it can be scripted.
#include "DorvexCore/AppScriptability.h"
#include "platform/types/Workspace.h"

#include <optional>
#include <string>

namespace dorvex {

// The scriptability of the bundle at a workspace location (a file URL); unknown without one.
AppScriptability::Value scriptabilityOfBundle(const std::optional<std::string>& bundleURL);

} // namespace dorvex
