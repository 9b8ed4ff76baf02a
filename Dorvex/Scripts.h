#pragma once

// "desktop_run_applescript" and "automation.cancel": script runs whose answers are written
// later, by the run's own thread, for the request that started them.
#include "Dorvex/Driver.h"
#include "DorvexCore/Json.h"
#include "DorvexCore/ScriptRuns.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace dorvex {

namespace Shared {
// The process-wide registry of script runs, made on first use with the interpreter that
// interpreterPath names then (later calls do not ask), and the user's temporary directory.
std::shared_ptr<ScriptRuns> scripts(const std::function<std::string()>& interpreterPath);
} // namespace Shared

// The registry, made with the platform's interpreter if this is its first use.
std::shared_ptr<ScriptRuns> scriptsOf(Driver& driver);

inline constexpr int64_t defaultAppleScriptTimeoutMs = 30000;
inline constexpr int64_t minAppleScriptTimeoutMs = 1000;
inline constexpr int64_t maxAppleScriptTimeoutMs = 300000;

// The action's "timeout": absent gives the default, anything else is clamped into range.
int64_t appleScriptTimeoutMs(const Json* timeout);

// Checks the action and starts the run. Returns the failure envelope to write now, or
// nothing when a run was started: that run writes the request's answer itself.
std::optional<Json> startAppleScript(Driver& driver, const std::string& id,
                                     const std::string& actionType, const Json& action);

// The envelope that answers a finished run.
Json appleScriptResponse(const ScriptRunResult& result, const std::string& actionType,
                         const std::string& targetBundleId);

} // namespace dorvex
