#pragma once

// "desktop_run_applescript": script runs whose answers are written later, by the run's own
// thread, through the reply of the request that started them.
#include "Dorvex/ActionResults.h"
#include "DorvexOS/ScriptRuns.h"
#include "platform/types/Json.h"

#include <cstdint>
#include <string>

namespace dorvex {

inline constexpr int64_t defaultAppleScriptTimeoutMs = 30000;
inline constexpr int64_t minAppleScriptTimeoutMs = 1000;
inline constexpr int64_t maxAppleScriptTimeoutMs = 300000;

// The action's "timeout": absent gives the default, anything else is clamped into range.
int64_t appleScriptTimeoutMs(const Json* timeout);

// The envelope that answers a finished run.
Json appleScriptResponse(const ScriptRunResult& result, const ActionContext& context,
                         const std::string& targetBundleId);

} // namespace dorvex
