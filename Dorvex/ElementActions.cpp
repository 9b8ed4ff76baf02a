#include "Dorvex/ElementActions.h"

#include "Dorvex/ActionHandlers.h"
#include "Dorvex/Elements.h"
#include "Dorvex/WindowAccess.h"
#include "DorvexCore/Coercions.h"
#include "DorvexCore/DriverProtocol.h"
#include "DorvexCore/ElementPath.h"
#include "DorvexCore/SecureField.h"
#include "DorvexCore/Text.h"

#include <variant>

namespace dorvex {
namespace {

// "elementPath" counts only as an array of strings; anything else is an empty path.
std::vector<std::string> pathTokens(const Json* value) {
    std::vector<std::string> tokens;
    if (value == nullptr || !value->is_array()) return tokens;
    for (const Json& item : *value) {
        if (!item.is_string()) return {};
        tokens.push_back(item.get<std::string>());
    }
    return tokens;
}

// The root a path is walked from, and the pid that owns it.
std::optional<ResolvedElement> pathRoot(platform::Platform& platform,
                                        const std::optional<std::string>& appBundleId,
                                        const ElementPath& path) {
    if (path.windowId) {
        OwnedWindowResolution owned =
            resolveOwnedWindow(platform, *path.windowId, path.pid, appBundleId);
        const OwnedAXWindow* window = std::get_if<OwnedAXWindow>(&owned);
        if (window == nullptr) return std::nullopt;
        return ResolvedElement{window->pid, window->window};
    }
    int32_t pid = 0;
    if (path.pid) {
        pid = static_cast<int32_t>(*path.pid); // a parsed pid lies within 1..2147483647
    } else {
        std::optional<platform::RunningApplication> app =
            runningApp(platform.workspace, appBundleId);
        if (!app) return std::nullopt;
        pid = app->pid;
    }
    platform::Element application = platform.accessibility.createApplicationElement(pid);
    // A path without a window id was handed out for an app without windows; once one
    // appears, the path no longer proves which tree it meant.
    if (!axWindows(platform.accessibility, application).empty()) return std::nullopt;
    return ResolvedElement{pid, application};
}

} // namespace

std::optional<ResolvedElement> resolveElement(platform::Platform& platform,
                                              const std::optional<std::string>& appBundleId,
                                              const std::vector<std::string>& path) {
    std::optional<ElementPath> parsed = ElementPath::parse(path);
    if (!parsed) return std::nullopt;
    std::optional<ResolvedElement> root = pathRoot(platform, appBundleId, *parsed);
    if (!root) return std::nullopt;
    platform::Accessibility& ax = platform.accessibility;
    bool insideSecureField = false;
    std::optional<platform::Element> element = parsed->resolve(
        root->element,
        [&](const platform::Element& e) {
            PathStep step = readPathStep(ax, e);
            insideSecureField = insideSecureField || step.secureField;
            return std::move(step.children);
        },
        [&](const platform::Element& e) { return axIdentity(ax, e); },
        [&](const platform::Element& a, const platform::Element& b) {
            return ax.sameElement(a, b);
        });
    if (!element) return std::nullopt;
    return ResolvedElement{root->pid, *element, insideSecureField};
}

Json handleInvokeElementAction(Driver& driver, const ActionContext& context, const Json& action) {
    const std::optional<std::string> appBundleId = stringValue(field(action, "appBundleId"));
    const std::optional<std::string> elementAction = stringValue(field(action, "elementAction"));
    const std::vector<std::string> path = pathTokens(field(action, "elementPath"));
    if (!elementAction || path.empty()) {
        return context.failure(
            failures::invalidInput("elementAction and elementPath are required."));
    }
    std::optional<ResolvedElement> resolved = resolveElement(driver.platform, appBundleId, path);
    if (!resolved) return context.failure(failures::elementNotFound());
    const int32_t code =
        driver.platform.accessibility.performAction(resolved->element, *elementAction);
    if (code != platform::axerr::success) {
        return context.failure(failures::axError(code, "AX action " + *elementAction));
    }
    Json result = Json::object();
    result["path"] = path;
    result["elementAction"] = *elementAction;
    return context.success("Executed AX action " + *elementAction + ".", std::move(result));
}

Json handleSetElementValue(Driver& driver, const ActionContext& context, const Json& action) {
    const std::optional<std::string> appBundleId = stringValue(field(action, "appBundleId"));
    const Json* value = field(action, "value");
    const std::vector<std::string> path = pathTokens(field(action, "elementPath"));
    if (value == nullptr || !value->is_string() || path.empty()) {
        return context.failure(failures::invalidInput("value and elementPath are required."));
    }
    std::optional<ResolvedElement> resolved = resolveElement(driver.platform, appBundleId, path);
    if (!resolved) return context.failure(failures::elementNotFound());
    const std::string& text = value->get_ref<const std::string&>();
    const int32_t code =
        driver.platform.accessibility.setStringAttribute(resolved->element, "AXValue", text);
    if (code != platform::axerr::success) {
        return context.failure(failures::axError(code, "set AXValue"));
    }
    // Only the length is reported, never the value, for a secure field or any other.
    Json result = {{"path", path}, {"valueLength", text::characterCount(text)}};
    if (resolved->insideSecureField ||
        secureVerdict(driver.platform.accessibility, resolved->element) ==
            SecureField::Verdict::secure) {
        result["secure"] = true;
    }
    return context.success("Updated element value.", std::move(result));
}

} // namespace dorvex
