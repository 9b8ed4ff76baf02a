#include "Dorvex/WindowAccess.h"

#include "Dorvex/Elements.h"
#include "DorvexCore/Coercions.h"
#include "DorvexCore/WindowRows.h"

#include <cmath>
#include <limits>

namespace dorvex {
namespace {

using platform::Accessibility;
using platform::AXAttributeResult;
using platform::Element;
using platform::Platform;
using platform::WindowListOption;

constexpr int64_t highestWindowId = std::numeric_limits<uint32_t>::max();

std::optional<int32_t> asPid(std::optional<int64_t> value) {
    if (!value || *value < std::numeric_limits<int32_t>::min() ||
        *value > std::numeric_limits<int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<int32_t>(*value);
}

// The elements of a list attribute; anything else, or an error, gives none.
std::vector<Element> elementList(Accessibility& ax, const Element& element,
                                 const std::string& attribute) {
    AXAttributeResult read = ax.copyAttributeValue(element, attribute);
    const platform::AXValueList* list =
        read.code == platform::axerr::success ? read.value.list() : nullptr;
    if (list == nullptr) return {};
    std::vector<Element> elements;
    for (const platform::AXValue& item : *list) {
        const Element* child = item.element();
        if (child == nullptr || !*child) return {};
        elements.push_back(*child);
    }
    return elements;
}

bool isSheet(Accessibility& ax, const Element& element) {
    AXAttributeResult role = ax.copyAttributeValue(element, "AXRole");
    const std::string* text = role.code == platform::axerr::success ? role.value.string() : nullptr;
    return text != nullptr && *text == "AXSheet";
}

// The first window whose own number is the id. The match takes it whatever the other windows,
// sheets and frames are, so those are read only when there is none.
std::optional<size_t> numberedWindow(Accessibility& ax, const std::vector<Element>& windows,
                                     int64_t windowId) {
    for (size_t i = 0; i < windows.size(); ++i) {
        if (axWindowNumber(ax, windows[i]) == windowId) return i;
    }
    return std::nullopt;
}

std::vector<Element> sheetsOf(Accessibility& ax, const Element& window) {
    std::vector<Element> sheets;
    for (const Element& child : elementList(ax, window, "AXChildren")) {
        if (isSheet(ax, child)) sheets.push_back(child);
    }
    return sheets;
}

AXReadResolution applicationTarget(Platform& platform, int32_t pid) {
    return {AXReadTarget{
        AXApplicationTarget{pid, platform.accessibility.createApplicationElement(pid)}}};
}

// Only "appPid" (and perhaps "appBundleId") names the app: both must name the same one.
AXReadResolution appByPid(Platform& platform, int64_t appPid,
                          const std::optional<std::string>& appBundleId) {
    const std::optional<int32_t> pid = asPid(appPid);
    // A pid below 1 names no app, whatever the workspace makes of it.
    std::optional<platform::RunningApplication> app =
        pid && *pid >= 1 ? platform.workspace.runningApplicationWithPid(*pid) : std::nullopt;
    if (!app) return {failures::appNotRunning()};
    const WindowOwner owner{*pid, app->bundleIdentifier, app->localizedName, std::nullopt};
    if (std::optional<std::string> conflict =
            WindowTarget::appSelectorConflict(*pid, appBundleId, owner)) {
        return {failures::invalidInput(*conflict)};
    }
    return applicationTarget(platform, *pid);
}

bool isWholeNumber(const Json& value) {
    if (value.is_number_integer()) return true; // unsigned ones included
    if (value.is_number_float()) {
        const double number = value.get<double>();
        return std::isfinite(number) && std::trunc(number) == number;
    }
    return value.is_string() && intValue(&value).has_value();
}

} // namespace

std::optional<int64_t> axWindowNumber(Accessibility& ax, const Element& element) {
    if (!ax.hasWindowNumberFunction()) return std::nullopt;
    platform::AXWindowNumberResult number = ax.elementWindowNumber(element);
    if (number.code != platform::axerr::success || number.windowNumber == 0) return std::nullopt;
    return static_cast<int64_t>(number.windowNumber);
}

std::optional<Failure> malformedSelectorFailure(const Json& action) {
    struct Selector {
        const char* key;
        const char* nextStep;
    } selectors[] = {
        {"windowId", "List windows and retry with a windowId from the list."},
        {"appPid", "Retry with the pid of a running app."},
    };
    for (const Selector& selector : selectors) {
        const Json* value = field(action, selector.key);
        if (value == nullptr || value->is_null() || isWholeNumber(*value)) continue;
        return failures::invalidInput(std::string(selector.key) + " must be a whole number. " +
                                      selector.nextStep);
    }
    return std::nullopt;
}

std::optional<platform::RunningApplication> runningApp(platform::Workspace& workspace,
                                                       const std::optional<std::string>& bundleId) {
    if (bundleId && !bundleId->empty()) {
        std::vector<platform::RunningApplication> apps =
            workspace.runningApplicationsWithBundleId(*bundleId);
        if (apps.empty()) return std::nullopt;
        return apps.front();
    }
    return workspace.frontmostApplication();
}

std::vector<Element> axWindows(Accessibility& ax, const Element& application) {
    return elementList(ax, application, "AXWindows");
}

std::vector<Element> axWindowsAndSheets(Accessibility& ax, const Element& application) {
    return WindowTarget::windowsThenSheets(
        axWindows(ax, application), [&ax](const Element& window) { return sheetsOf(ax, window); });
}

std::vector<WindowServerListing>
windowServerListings(const std::optional<std::vector<platform::WindowRow>>& rows) {
    std::vector<WindowServerListing> listings;
    if (!rows) return listings;
    for (const platform::WindowRow& row : *rows) {
        std::optional<int64_t> windowId = WindowRows::integer(row, WindowRows::number);
        if (!windowId) continue;
        listings.push_back({*windowId, WindowRows::integer(row, WindowRows::ownerPid),
                            WindowRows::string(row, WindowRows::ownerName)});
    }
    return listings;
}

std::optional<WindowOwner> windowServerOwner(Platform& platform, int64_t windowId) {
    if (windowId < 0 || windowId > highestWindowId) return std::nullopt;
    const std::optional<WindowServerListing> row = WindowTarget::listing(
        windowId, {[&] {
                       return windowServerListings(platform.windowServer.copyWindowInfo(
                           WindowListOption::includingWindow, static_cast<uint32_t>(windowId)));
                   },
                   [&] {
                       return windowServerListings(
                           platform.windowServer.copyWindowInfo(WindowListOption::all, 0));
                   }});
    const std::optional<int32_t> pid = row ? asPid(row->ownerPid) : std::nullopt;
    if (!pid) return std::nullopt;
    WindowOwner owner{*pid, std::nullopt, row->ownerName, std::nullopt};
    if (std::optional<platform::RunningApplication> app =
            platform.workspace.runningApplicationWithPid(*pid)) {
        owner.bundleId = app->bundleIdentifier;
        if (app->localizedName) owner.name = app->localizedName;
        owner.launchDate = app->launchDate;
    }
    return owner;
}

std::vector<WindowServerWindow> windowServerWindows(platform::WindowServer& windowServer,
                                                    int64_t ownedBy) {
    std::vector<WindowServerWindow> windows;
    std::optional<std::vector<platform::WindowRow>> rows =
        windowServer.copyWindowInfo(WindowListOption::all, 0);
    if (!rows) return windows;
    for (const platform::WindowRow& row : *rows) {
        std::optional<int64_t> windowId = WindowRows::integer(row, WindowRows::number);
        if (!windowId || WindowRows::integer(row, WindowRows::ownerPid) != ownedBy) continue;
        windows.push_back(
            {*windowId, WindowRows::frame(row), WindowRows::flag(row, WindowRows::isOnScreen)});
    }
    return windows;
}

std::vector<AXWindowCandidate> axWindowCandidates(Accessibility& ax,
                                                  const std::vector<Element>& elements) {
    std::vector<AXWindowCandidate> candidates;
    candidates.reserve(elements.size());
    for (const Element& element : elements) {
        candidates.push_back({axWindowNumber(ax, element), axFrame(ax, element)});
    }
    return candidates;
}

OwnedWindowResolution resolveOwnedWindow(Platform& platform, int64_t windowId,
                                         std::optional<int64_t> appPid,
                                         const std::optional<std::string>& appBundleId) {
    WindowTarget::OwnerCheck check = WindowTarget::checkOwner(
        windowId, appPid, appBundleId, windowServerOwner(platform, windowId));
    if (auto* refusal = std::get_if<WindowTargetRefusal>(&check)) return *refusal;
    const WindowOwner owner = std::get<WindowOwner>(check);
    const auto pid = static_cast<int32_t>(owner.pid); // checkOwner keeps pids within 32 bits

    Accessibility& ax = platform.accessibility;
    std::vector<Element> elements = axWindows(ax, ax.createApplicationElement(pid));
    std::optional<size_t> index = numberedWindow(ax, elements, windowId);
    if (!index) {
        // Sheets after all windows, each window's in order, so window indices stay put.
        const size_t windowCount = elements.size();
        for (size_t i = 0; i < windowCount; ++i) {
            for (Element& sheet : sheetsOf(ax, elements[i]))
                elements.push_back(std::move(sheet));
        }
        const WindowTargetMatch match =
            WindowTarget::matchWindow(windowId, windowServerWindows(platform.windowServer, pid),
                                      axWindowCandidates(ax, elements));
        if (const WindowTargetRefusal* refusal = match.refusal()) return *refusal;
        index = static_cast<size_t>(*match.index());
    }

    if (std::optional<WindowTargetRefusal> changed = WindowTarget::ownerChangedRefusal(
            windowId, owner, windowServerOwner(platform, windowId))) {
        return *changed;
    }
    return OwnedAXWindow{pid, elements[*index]};
}

std::vector<std::optional<int64_t>> axWindowIds(Platform& platform, int32_t pid,
                                                const std::vector<Element>& windows) {
    const std::vector<AXWindowCandidate> candidates =
        axWindowCandidates(platform.accessibility, windows);
    const std::vector<WindowServerWindow> ownerWindows =
        windowServerWindows(platform.windowServer, pid);
    std::vector<std::optional<int64_t>> ids;
    ids.reserve(windows.size());
    for (size_t i = 0; i < windows.size(); ++i) {
        ids.push_back(WindowTarget::identify(static_cast<int64_t>(i), ownerWindows, candidates));
    }
    return ids;
}

AXReadResolution resolveAXReadTarget(Platform& platform, const Json& action) {
    if (std::optional<Failure> malformed = malformedSelectorFailure(action)) {
        return {std::move(*malformed)};
    }
    const std::optional<std::string> appBundleId = stringValue(field(action, "appBundleId"));
    const std::optional<int64_t> appPid = intValue(field(action, "appPid"));
    const std::optional<int64_t> windowId = intValue(field(action, "windowId"));

    if (!windowId && !appPid) {
        std::optional<platform::RunningApplication> app =
            runningApp(platform.workspace, appBundleId);
        if (!app) return {failures::appNotRunning()};
        return applicationTarget(platform, app->pid);
    }
    if (!windowId) return appByPid(platform, *appPid, appBundleId);

    OwnedWindowResolution owned = resolveOwnedWindow(platform, *windowId, appPid, appBundleId);
    if (const auto* refusal = std::get_if<WindowTargetRefusal>(&owned)) {
        return {failures::windowNotFound(refusal->message)};
    }
    OwnedAXWindow& window = std::get<OwnedAXWindow>(owned);
    return {AXReadTarget{AXWindowTarget{window.pid, *windowId, std::move(window.window)}}};
}

} // namespace dorvex
