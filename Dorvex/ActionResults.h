#pragma once

// The action result envelope, and every failure an action answers, by name. Handlers build
// their envelopes through their ActionContext; no failure is spelled out anywhere else.
#include "platform/types/Json.h"

#include <cstdint>
#include <string>

namespace dorvex {

// Which platform mechanism served an action ("pathUsed").
enum class ActionPath { ax, observer, screenCapture, appleScript, cgEvent, none };

const char* wireName(ActionPath path);

// "status", "error.code", "error.message" and "error.retryable" of a failure envelope.
struct Failure {
    std::string status;
    std::string code;
    std::string message;
    bool retryable = false;
};

// The action being answered: its trimmed type and the mechanism its entry uses.
struct ActionContext {
    std::string actionType;
    ActionPath path = ActionPath::none;

    // {"ok": true, "status": "ok", "actionType", "pathUsed", "summary", "result"}
    Json success(const std::string& summary, Json result) const;
    // {"ok": false, "status", "actionType", "pathUsed", "error": {code, message, retryable}}
    Json failure(const Failure& failure) const;
};

namespace failures {

// Shared by every action.
Failure invalidInput(std::string message);
Failure notImplemented(const std::string& actionType);
Failure axError(int32_t code, const std::string& operation);

// Apps, windows and elements.
Failure appNotRunning();
Failure windowNotFound(std::string refusal);
Failure windowsQueryFailed();
Failure elementNotFound();
Failure appInventoryTimeout(std::string message);

// Displays and captures.
Failure windowBoundsUnavailable();
Failure captureFailed();
Failure displayQueryFailed();
Failure monitorNotFound(int64_t monitorId);
Failure captureDirectoryFailed();
Failure encodeFailed();

// UI event subscriptions.
Failure tooManySubscriptions();
Failure subscriptionNotFound();

// Scripts.
Failure targetAppNotRunning(const std::string& bundleId);
Failure requestAlreadyRunning(const std::string& id);
Failure driverStopping();
Failure scriptFileFailed();
Failure scriptCancelled();
Failure scriptTimedOut();
Failure interpreterFailed(const std::string& standardError);
// The interpreter was never started (or stopped at once): `reason` is the runner's own text.
Failure scriptResourcesExhausted(const std::string& reason);
Failure interpreterNotStarted(const std::string& reason);

// Synthesized input.
Failure modeRequired();
Failure invalidMode(const std::string& mode);
Failure invalidKey();
Failure policyBlocked();
Failure unsupportedKey(const std::string& key);
Failure targetMissing(std::string refusal);
Failure malformedExpectedFrontmostPid();
Failure keystrokeNotPosted();
Failure textNotPosted();
Failure clickNotPosted();
Failure invalidText();
Failure invalidCoordinates();
Failure staleScreenshot();
Failure targetOccluded(const std::string& reason);
Failure pointOffDisplay();
Failure cursorNotAtPoint();

} // namespace failures
} // namespace dorvex
