#include "Dorvex/Scripts.h"

#include "Dorvex/ActionHandlers.h"
#include "DorvexCore/Coercions.h"
#include "DorvexCore/Text.h"

#include <algorithm>
#include <memory>
#include <optional>

namespace dorvex {
namespace {

// The script exactly as given, when it is a JSON string holding more than blanks.
std::optional<std::string> scriptOf(const Json& action) {
    const Json* script = field(action, "script");
    if (script == nullptr || !script->is_string()) return std::nullopt;
    const std::string& text = script->get_ref<const std::string&>();
    if (text::trimWhitespaceAndNewlines(text).empty()) return std::nullopt;
    return text;
}

// The refusal of a start that did not happen, or nothing when the run started.
std::optional<Failure> refusalOf(ScriptRunStart start, const std::string& id) {
    switch (start) {
    case ScriptRunStart::started:
        return std::nullopt;
    case ScriptRunStart::alreadyRunning:
        return failures::requestAlreadyRunning(id);
    case ScriptRunStart::stopping:
        break;
    }
    return failures::driverStopping();
}

// Standard error cut at the kept maximum says so at its end.
std::string withCutNote(const std::string& standardError, uint64_t droppedBytes) {
    if (droppedBytes == 0) return standardError;
    return standardError + "\n[standard error cut: " + std::to_string(droppedBytes) +
           " more bytes were dropped]";
}

} // namespace

int64_t appleScriptTimeoutMs(const Json* timeout) {
    std::optional<int64_t> ms = intValue(timeout);
    if (!ms) return defaultAppleScriptTimeoutMs;
    return std::clamp(*ms, minAppleScriptTimeoutMs, maxAppleScriptTimeoutMs);
}

void startAppleScript(Driver& driver, const ActionContext& context, const Json& action,
                      Reply& reply) {
    std::optional<std::string> targetBundleId = stringValue(field(action, "targetBundleId"));
    if (!targetBundleId) {
        return std::move(reply).result(
            context.failure(failures::invalidInput("targetBundleId is required.")));
    }
    std::optional<std::string> script = scriptOf(action);
    if (!script) {
        return std::move(reply).result(
            context.failure(failures::invalidInput("script is required.")));
    }
    if (driver.platform.workspace.runningApplicationsWithBundleId(*targetBundleId).empty()) {
        return std::move(reply).result(
            context.failure(failures::targetAppNotRunning(*targetBundleId)));
    }
    const int64_t timeoutMs = appleScriptTimeoutMs(field(action, "timeout"));
    const std::string id = reply.id();
    // The registry may copy its completion; the copies share the one reply, which the run's
    // thread answers exactly once.
    auto later = std::make_shared<Reply>(std::move(reply));
    ScriptRunStart start = driver.shared.scripts->start(
        id, *script, timeoutMs,
        [later, context, bundleId = *targetBundleId](const ScriptRunResult& result) {
            std::move(*later).result(appleScriptResponse(result, context, bundleId));
        });
    if (std::optional<Failure> refusal = refusalOf(start, id)) {
        std::move(*later).result(context.failure(*refusal));
    }
}

Json appleScriptResponse(const ScriptRunResult& result, const ActionContext& context,
                         const std::string& targetBundleId) {
    if (!result.finished) return context.failure(failures::scriptFileFailed());
    const ProcessOutcome& outcome = *result.finished;
    if (outcome.cancelled) return context.failure(failures::scriptCancelled());
    if (outcome.startError) {
        return context.failure(isResourceShortage(*outcome.startError)
                                   ? failures::scriptResourcesExhausted(outcome.stderrText)
                                   : failures::interpreterNotStarted(outcome.stderrText));
    }
    // Also an interpreter that could not be reaped.
    if (!outcome.completed) return context.failure(failures::scriptTimedOut());
    if (outcome.exitCode != 0) {
        return context.failure(failures::interpreterFailed(
            withCutNote(outcome.stderrText, outcome.stderrDroppedBytes)));
    }
    Json answer{{"targetBundleId", targetBundleId}, {"stdout", outcome.stdoutText}};
    if (outcome.stdoutDroppedBytes != 0) {
        answer["stdoutTruncated"] = true;
        answer["stdoutDroppedBytes"] = outcome.stdoutDroppedBytes;
    }
    return context.success("AppleScript executed successfully.", std::move(answer));
}

} // namespace dorvex
