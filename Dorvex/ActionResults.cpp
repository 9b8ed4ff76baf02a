#include "Dorvex/ActionResults.h"

#include "DorvexCore/DriverProtocol.h"

namespace dorvex {

const char* wireName(ActionPath path) {
    switch (path) {
    case ActionPath::ax:
        return "ax";
    case ActionPath::observer:
        return "observer";
    case ActionPath::screenCapture:
        return "screen_capture";
    case ActionPath::appleScript:
        return "applescript";
    case ActionPath::cgEvent:
        return "cgevent";
    case ActionPath::none:
        return "none";
    }
    return "none";
}

Json ActionContext::success(const std::string& summary, Json result) const {
    // Built key by key: an initializer list makes an array of each pair first.
    Json answer = Json::object();
    answer["ok"] = true;
    answer["status"] = "ok";
    answer["actionType"] = actionType;
    answer["pathUsed"] = wireName(path);
    answer["summary"] = summary;
    answer["result"] = std::move(result);
    return answer;
}

Json ActionContext::failure(const Failure& failure) const {
    return Json{
        {"ok", false},
        {"status", failure.status},
        {"actionType", actionType},
        {"pathUsed", wireName(path)},
        {"error",
         {{"code", failure.code}, {"message", failure.message}, {"retryable", failure.retryable}}}};
}

namespace failures {

Failure invalidInput(std::string message) {
    return {"invalid_params", "invalid_input", std::move(message), false};
}

Failure notImplemented(const std::string& actionType) {
    return {"not_implemented", "unsupported_action",
            "Action " + actionType + " is not implemented.", false};
}

Failure axError(int32_t code, const std::string& operation) {
    DriverAXErrorMapping mapping = DriverProtocol::mapAXError(code, operation);
    return {mapping.status, mapping.code, mapping.message, mapping.retryable};
}

Failure appNotRunning() {
    return {"semantic_unavailable", "app_not_running", "Target app is not running.", false};
}

Failure windowNotFound(std::string refusal) {
    return {"semantic_unavailable", "window_not_found", std::move(refusal), true};
}

Failure windowsQueryFailed() {
    return {"execution_failed", "windows_query_failed", "Unable to query window list.", false};
}

Failure elementNotFound() {
    return {"semantic_unavailable", "element_not_found",
            "Element path could not be resolved: its window may have closed, or the path is out "
            "of date. Read the UI tree again.",
            true};
}

Failure appInventoryTimeout(std::string message) {
    return {"timeout", "app_inventory_timeout", std::move(message), true};
}

Failure windowBoundsUnavailable() {
    return {"execution_failed", "window_not_found", "Window bounds unavailable.", false};
}

Failure captureFailed() {
    return {"execution_failed", "capture_failed", "Failed to capture screen image.", false};
}

Failure displayQueryFailed() {
    return {"execution_failed", "display_query_failed", "Unable to query displays.", false};
}

Failure monitorNotFound(int64_t monitorId) {
    return {"invalid_request", "monitor_not_found",
            "No display has id " + std::to_string(monitorId) + "; nothing was captured.", false};
}

Failure captureDirectoryFailed() {
    return {"execution_failed", "io_failed", "Failed to create capture directory.", false};
}

Failure encodeFailed() {
    return {"execution_failed", "encode_failed", "Failed to encode capture as PNG.", false};
}

Failure tooManySubscriptions() {
    return {"execution_failed", "too_many_subscriptions", "Subscription limit reached.", false};
}

Failure subscriptionNotFound() {
    return {"invalid_params", "subscription_not_found", "subscriptionId is missing or expired.",
            false};
}

Failure targetAppNotRunning(const std::string& bundleId) {
    return {"target_app_not_running", "target_app_not_running",
            "Target app " + bundleId + " is not running.", true};
}

Failure requestAlreadyRunning(const std::string& id) {
    return invalidInput("Request " + id + " is already running.");
}

Failure driverStopping() {
    return {"execution_failed", "cancelled",
            "The desktop driver is stopping; the AppleScript was not started.", true};
}

Failure scriptFileFailed() {
    return {"execution_failed", "io_failed", "Failed to create AppleScript file.", false};
}

Failure scriptCancelled() {
    return {"execution_failed", "cancelled",
            "AppleScript execution was cancelled; the script and its child processes were "
            "stopped.",
            false};
}

Failure scriptTimedOut() {
    return {"execution_failed", "timeout", "AppleScript execution timed out.", true};
}

Failure interpreterFailed(const std::string& standardError) {
    return {"execution_failed", "osascript_failed",
            standardError.empty() ? "osascript failed." : standardError, true};
}

Failure scriptResourcesExhausted(const std::string& reason) {
    return {"execution_failed", "resources_exhausted",
            "The AppleScript was not run: the system ran out of resources (" + reason +
                "). Try again when fewer scripts or processes are running.",
            true};
}

Failure interpreterNotStarted(const std::string& reason) {
    return {"execution_failed", "interpreter_not_started",
            "The AppleScript interpreter could not be started (" + reason + ").", false};
}

Failure modeRequired() {
    return invalidInput("mode is required.");
}

Failure invalidMode(const std::string& mode) {
    return {"invalid_params", "invalid_mode", "Unsupported input mode " + mode + ".", false};
}

Failure invalidKey() {
    return {"invalid_params", "invalid_key", "key is required for keystroke mode.", false};
}

Failure policyBlocked() {
    return {"execution_failed", "policy_blocked", "Guarded fallback policy blocked this shortcut.",
            false};
}

Failure unsupportedKey(const std::string& key) {
    return {"execution_failed", "unsupported_key", "Unsupported key " + key + ".", false};
}

Failure targetMissing(std::string refusal) {
    return {"execution_failed", "target_missing", std::move(refusal), false};
}

Failure malformedExpectedFrontmostPid() {
    return invalidInput("expectedFrontmostPid must be a whole number. Nothing was typed; retry "
                        "with the pid of the app that must be in front.");
}

Failure keystrokeNotPosted() {
    return {"execution_failed", "event_post_failed", "Failed to post keystroke event.", true};
}

Failure textNotPosted() {
    return {"execution_failed", "event_post_failed", "Failed to post text input.", true};
}

Failure clickNotPosted() {
    return {"execution_failed", "event_post_failed", "Failed to post mouse click.", true};
}

Failure invalidText() {
    return {"invalid_params", "invalid_text", "text is required for text mode.", false};
}

Failure invalidCoordinates() {
    return {"invalid_params", "invalid_coordinates", "x and y are required for mouse_click mode.",
            false};
}

Failure staleScreenshot() {
    return {"invalid_params", "stale_screenshot",
            "Window resized or point outside window; capture again.", false};
}

Failure targetOccluded(const std::string& reason) {
    return {"execution_failed", "target_occluded",
            "Target window is not reachable at this point (" + reason +
                "); bring it to the front, then capture again.",
            false};
}

Failure pointOffDisplay() {
    return {"execution_failed", "point_off_display",
            "The click point is outside every display (for example, on a part of the window that "
            "is off screen), so nothing was clicked. Retrying cannot reach it: click a visible "
            "part of the window, or move the window fully on screen, then capture again.",
            false};
}

Failure cursorNotAtPoint() {
    return {"execution_failed", "cursor_not_at_point",
            "The cursor did not reach the click point, so nothing was pressed (the mouse may be in "
            "use). Capture again, then retry.",
            true};
}

} // namespace failures
} // namespace dorvex
