#include "Dorvex/Scripts.h"

#include "Dorvex/Actions.h"
#include "Dorvex/Output.h"
#include "DorvexCore/Coercions.h"
#include "DorvexCore/Text.h"

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <system_error>

namespace dorvex {
namespace {

std::filesystem::path userTemporaryDirectory() {
    std::error_code error;
    std::filesystem::path directory = std::filesystem::temp_directory_path(error);
    return error ? std::filesystem::path("/tmp") : directory;
}

Json failure(const std::string& actionType, const std::string& status, const std::string& code,
             const std::string& message, bool retryable) {
    return makeFailure(actionType, ActionPath::appleScript, status, code, message, retryable);
}

// The script exactly as given, when it is a JSON string holding more than blanks.
std::optional<std::string> scriptOf(const Json& action) {
    const Json* script = field(action, "script");
    if (script == nullptr || !script->is_string()) return std::nullopt;
    const std::string& text = script->get_ref<const std::string&>();
    if (text::trimWhitespaceAndNewlines(text).empty()) return std::nullopt;
    return text;
}

Json answerForStart(ScriptRunStart start, const std::string& id, const std::string& actionType) {
    if (start == ScriptRunStart::alreadyRunning) {
        return failure(actionType, "invalid_params", "invalid_input",
                       "Request " + id + " is already running.", false);
    }
    return failure(actionType, "execution_failed", "cancelled",
                   "The desktop driver is stopping; the AppleScript was not started.", true);
}

} // namespace

std::shared_ptr<ScriptRuns> Shared::scripts(const std::function<std::string()>& interpreterPath) {
    // Held by shared pointer so that a thread still using it while the process exits keeps
    // it alive past the static destructors.
    static std::once_flag once;
    static std::shared_ptr<ScriptRuns> registry;
    std::call_once(once, [&] {
        registry = std::make_shared<ScriptRuns>(interpreterPath(), userTemporaryDirectory());
    });
    return registry;
}

std::shared_ptr<ScriptRuns> scriptsOf(Driver& driver) {
    return Shared::scripts([&driver] { return driver.platform.scriptInterpreterPath(); });
}

int64_t appleScriptTimeoutMs(const Json* timeout) {
    std::optional<int64_t> ms = intValue(timeout);
    if (!ms) return defaultAppleScriptTimeoutMs;
    return std::clamp(*ms, minAppleScriptTimeoutMs, maxAppleScriptTimeoutMs);
}

std::optional<Json> startAppleScript(Driver& driver, const std::string& id,
                                     const std::string& actionType, const Json& action) {
    std::optional<std::string> targetBundleId = stringValue(field(action, "targetBundleId"));
    if (!targetBundleId) {
        return failure(actionType, "invalid_params", "invalid_input", "targetBundleId is required.",
                       false);
    }
    std::optional<std::string> script = scriptOf(action);
    if (!script) {
        return failure(actionType, "invalid_params", "invalid_input", "script is required.", false);
    }
    if (driver.platform.runningApplicationsWithBundleId(*targetBundleId).empty()) {
        return failure(actionType, "target_app_not_running", "target_app_not_running",
                       "Target app " + *targetBundleId + " is not running.", true);
    }
    const int64_t timeoutMs = appleScriptTimeoutMs(field(action, "timeout"));
    auto completion = [id, actionType, bundleId = *targetBundleId](const ScriptRunResult& result) {
        writeResponse(id, appleScriptResponse(result, actionType, bundleId));
    };
    ScriptRunStart start = scriptsOf(driver)->start(id, *script, timeoutMs, completion);
    if (start == ScriptRunStart::started) return std::nullopt;
    return answerForStart(start, id, actionType);
}

Json appleScriptResponse(const ScriptRunResult& result, const std::string& actionType,
                         const std::string& targetBundleId) {
    if (!result.finished) {
        return failure(actionType, "execution_failed", "io_failed",
                       "Failed to create AppleScript file.", false);
    }
    const ProcessOutcome& outcome = *result.finished;
    if (outcome.cancelled) {
        return failure(
            actionType, "execution_failed", "cancelled",
            "AppleScript execution was cancelled; the script and its child processes were stopped.",
            false);
    }
    if (!outcome.completed) {
        // Also an interpreter that could not be started or reaped.
        return failure(actionType, "execution_failed", "timeout",
                       "AppleScript execution timed out.", true);
    }
    if (outcome.exitCode != 0) {
        return failure(actionType, "execution_failed", "osascript_failed",
                       outcome.stderrText.empty() ? "osascript failed." : outcome.stderrText, true);
    }
    return makeSuccess(actionType, ActionPath::appleScript, "AppleScript executed successfully.",
                       Json{{"targetBundleId", targetBundleId}, {"stdout", outcome.stdoutText}});
}

} // namespace dorvex
