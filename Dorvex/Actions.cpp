#include "Dorvex/Actions.h"

#include "Dorvex/ActionHandlers.h"
#include "DorvexCore/Coercions.h"

#include <string>
#include <variant>

namespace dorvex {
namespace {

using AnswerNow = Json (*)(Driver&, const ActionContext&, const Json& action);
// Takes the reply when it answers later.
using Deferred = void (*)(Driver&, const ActionContext&, const Json& action, Reply& reply);

struct ActionEntry {
    std::string_view actionType;
    ActionPath path;
    std::variant<AnswerNow, Deferred> handler;
};

// One line per action type. Types that are not here answer "not_implemented".
constexpr ActionEntry actionTable[] = {
    {"desktop_list_apps", ActionPath::ax, handleListApps},
    {"desktop_list_windows", ActionPath::ax, handleListWindows},
    {"desktop_get_ui_tree", ActionPath::ax, handleGetUiTree},
    {"desktop_find_elements", ActionPath::ax, handleFindElements},
    {"desktop_invoke_element_action", ActionPath::ax, handleInvokeElementAction},
    {"desktop_set_element_value", ActionPath::ax, handleSetElementValue},
    {"desktop_subscribe_ui_events", ActionPath::observer, handleSubscribeUIEvents},
    {"desktop_get_ui_events", ActionPath::observer, handleGetUIEvents},
    {"desktop_list_monitors", ActionPath::screenCapture, handleListMonitors},
    {"desktop_capture_screen", ActionPath::screenCapture, handleCaptureScreen},
    {"desktop_send_input", ActionPath::cgEvent, handleSendInput},
    {"desktop_run_applescript", ActionPath::appleScript, Deferred{startAppleScript}},
};

const ActionEntry* findAction(std::string_view actionType) {
    for (const ActionEntry& entry : actionTable) {
        if (entry.actionType == actionType) return &entry;
    }
    return nullptr;
}

} // namespace

ActionContext actionContext(std::string_view actionType) {
    const ActionEntry* entry = findAction(actionType);
    return {std::string(actionType), entry ? entry->path : ActionPath::none};
}

void handleAutomationExecute(Driver& driver, const Json& params, Reply& reply) {
    const Json* action = field(params, "action");
    std::optional<std::string> actionType =
        action && action->is_object() ? stringValue(field(*action, "actionType")) : std::nullopt;
    if (!actionType) {
        const ActionContext unknown{"unknown", ActionPath::none};
        return std::move(reply).result(
            unknown.failure(failures::invalidInput("action.actionType is required.")));
    }
    const ActionEntry* entry = findAction(*actionType);
    if (entry == nullptr) {
        const ActionContext unlisted{*actionType, ActionPath::none};
        return std::move(reply).result(unlisted.failure(failures::notImplemented(*actionType)));
    }
    const ActionContext context{*actionType, entry->path};
    if (const auto* deferred = std::get_if<Deferred>(&entry->handler)) {
        return (*deferred)(driver, context, *action, reply);
    }
    std::move(reply).result(std::get<AnswerNow>(entry->handler)(driver, context, *action));
}

} // namespace dorvex
