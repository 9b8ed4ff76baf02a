#include "Dorvex/Actions.h"

#include "Dorvex/ActionHandlers.h"
#include "DorvexCore/Coercions.h"

#include <exception>
#include <string_view>

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

Json makeSuccess(const std::string& actionType, ActionPath pathUsed, const std::string& summary,
                 Json result) {
    return Json{{"ok", true},
                {"status", "ok"},
                {"actionType", actionType},
                {"pathUsed", wireName(pathUsed)},
                {"summary", summary},
                {"result", std::move(result)}};
}

Json makeFailure(const std::string& actionType, ActionPath pathUsed, const std::string& status,
                 const std::string& code, const std::string& message, bool retryable) {
    return Json{{"ok", false},
                {"status", status},
                {"actionType", actionType},
                {"pathUsed", wireName(pathUsed)},
                {"error", {{"code", code}, {"message", message}, {"retryable", retryable}}}};
}

namespace {

using ActionHandler = Json (*)(Driver&, const std::string& actionType, const Json& action);

struct ActionEntry {
    std::string_view actionType;
    ActionHandler handler;
};

// One line per action type. Types that are not here answer "not_implemented".
constexpr ActionEntry actionTable[] = {
    {"desktop_list_apps", handleListApps},
    {"desktop_list_windows", handleListWindows},
    {"desktop_get_ui_tree", handleGetUiTree},
    {"desktop_find_elements", handleFindElements},
    {"desktop_invoke_element_action", handleInvokeElementAction},
    {"desktop_set_element_value", handleSetElementValue},
    {"desktop_subscribe_ui_events", handleSubscribeUIEvents},
    {"desktop_get_ui_events", handleGetUIEvents},
    {"desktop_list_monitors", handleListMonitors},
    {"desktop_capture_screen", handleCaptureScreen},
};

} // namespace

Json handleAutomationExecute(Driver& driver, const Json& params) {
    const Json* action = field(params, "action");
    std::optional<std::string> actionType =
        action && action->is_object() ? stringValue(field(*action, "actionType")) : std::nullopt;
    if (!actionType) {
        return makeFailure("unknown", ActionPath::none, "invalid_params", "invalid_input",
                           "action.actionType is required.", false);
    }
    for (const ActionEntry& entry : actionTable) {
        if (entry.actionType == *actionType) return entry.handler(driver, *actionType, *action);
    }
    return makeFailure(*actionType, ActionPath::none, "not_implemented", "unsupported_action",
                       "Action " + *actionType + " is not implemented.", false);
}

} // namespace dorvex
