#include "Dorvex/UiTree.h"

#include "Dorvex/ActionHandlers.h"
#include "Dorvex/Elements.h"
#include "Dorvex/WindowAccess.h"
#include "DorvexCore/Coercions.h"
#include "DorvexCore/RawJson.h"
#include "DorvexCore/Text.h"
#include "DorvexOS/Memory.h"

#include <algorithm>
#include <variant>
#include <vector>

namespace dorvex {
namespace {

constexpr int64_t defaultTreeDepth = 6;
constexpr int64_t deepestTree = 20;
constexpr int64_t defaultSearchLimit = 20;
constexpr int64_t largestSearchLimit = 100;
constexpr int64_t searchDepth = 12;
// A walk that visited more elements than this hands the memory it freed back to the system.
constexpr int64_t largeWalk = 5'000;

// What a walk cut short by the request's visit budget adds to its summary.
std::string cutTreeSummary(int64_t visits) {
    return " The tree was cut short after " + std::to_string(visits) +
           " elements; read it with a smaller maxDepth.";
}
std::string cutSearchSummary(int64_t visits) {
    return " The search stopped after " + std::to_string(visits) +
           " elements; the elements beyond them were not searched.";
}

int64_t clampedInt(const Json& action, const char* key, int64_t fallback, int64_t highest) {
    return std::clamp<int64_t>(intValue(field(action, key)).value_or(fallback), 1, highest);
}

bool passes(const std::optional<std::string>& attribute, const std::optional<std::string>& filter) {
    if (!filter) return true;
    return attribute && text::containsIgnoringCase(*attribute, *filter);
}

bool matches(const ElementReads& reads, const ElementFilters& filters) {
    return passes(reads.role, filters.role) && passes(reads.title, filters.title) &&
           passes(reads.identifier, filters.identifier);
}

std::string windowSummary(int64_t windowId) {
    return "UI tree collected for window " + std::to_string(windowId) + ".";
}

// Where a tree starts: the element, the path its nodes extend (if any) and what to say.
struct TreeRoot {
    platform::Element element;
    std::optional<ElementPath> path;
    std::string summary;
};

TreeRoot treeRoot(platform::Platform& platform, const AXReadTarget& target) {
    if (const auto* window = std::get_if<AXWindowTarget>(&target)) {
        return {window->window, ElementPath{window->pid, window->windowId, {}, std::nullopt},
                windowSummary(window->windowId)};
    }
    const auto& app = std::get<AXApplicationTarget>(target);
    std::vector<platform::Element> windows = axWindows(platform.accessibility, app.application);
    if (windows.empty()) {
        return {app.application, ElementPath{app.pid, std::nullopt, {}, std::nullopt},
                "UI tree collected for app root."};
    }
    std::optional<int64_t> windowId = axWindowIds(platform, app.pid, windows).front();
    if (!windowId) {
        // Without a window id no path could be proven later, so none is handed out.
        return {windows.front(), std::nullopt,
                "UI tree collected for the app's front window; its window id could not be read, "
                "so its elements have no paths. List windows and read it by windowId."};
    }
    return {windows.front(), ElementPath{app.pid, *windowId, {}, std::nullopt},
            windowSummary(*windowId)};
}

struct SearchRoot {
    platform::Element element;
    ElementPath path;
};

std::vector<SearchRoot> searchRoots(platform::Platform& platform, const AXReadTarget& target) {
    if (const auto* window = std::get_if<AXWindowTarget>(&target)) {
        return {{window->window, ElementPath{window->pid, window->windowId, {}, std::nullopt}}};
    }
    const auto& app = std::get<AXApplicationTarget>(target);
    std::vector<platform::Element> windows = axWindows(platform.accessibility, app.application);
    if (windows.empty()) {
        return {{app.application, ElementPath{app.pid, std::nullopt, {}, std::nullopt}}};
    }
    std::vector<std::optional<int64_t>> ids = axWindowIds(platform, app.pid, windows);
    std::vector<SearchRoot> roots;
    for (size_t i = 0; i < windows.size() && i < ids.size(); ++i) {
        // A window without an id could not be proven when its elements are acted on.
        if (ids[i]) roots.push_back({windows[i], ElementPath{app.pid, *ids[i], {}, std::nullopt}});
    }
    return roots;
}

int32_t targetPid(const AXReadTarget& target) {
    return std::visit([](const auto& t) { return t.pid; }, target);
}

} // namespace

void collectElements(TreeWalk& walk, const platform::Element& element, int32_t pid,
                     const ElementPath& path, int64_t maxDepth, int64_t currentDepth,
                     const ElementFilters& filters, SearchMatches& into, size_t limit,
                     bool insideSecureField) {
    if (into.count >= limit) return;
    const bool descend = currentDepth < maxDepth;
    ElementReads reads = readElement(walk.ax, element);
    if (matches(reads, filters)) {
        reads.value = nodeValue(walk, element, reads, insideSecureField);
        if (into.count > 0) into.text += ',';
        writeFlatNode(reads, pid, path, into.text);
        ++into.count;
    }
    if (!descend) return;
    const std::vector<platform::Element> children = reads.takeChildren();
    walk.branch.push_back(element);
    for (size_t i = 0; i < children.size() && into.count < limit && walk.budget.take(); ++i) {
        // An element met again below itself was searched already, with all it holds.
        if (walk.repeats(children[i])) continue;
        collectElements(walk, children[i], pid, path.child(static_cast<int64_t>(i)), maxDepth,
                        currentDepth + 1, filters, into, limit,
                        insideSecureField || reads.secureField);
    }
    walk.branch.pop_back();
}

Json handleGetUiTree(Driver& driver, const ActionContext& context, const Json& action) {
    AXReadResolution resolution = resolveAXReadTarget(driver.platform, action);
    if (const Failure* failure = resolution.failure()) return context.failure(*failure);
    const AXReadTarget& target = *resolution.target();
    const int64_t maxDepth = clampedInt(action, "maxDepth", defaultTreeDepth, deepestTree);
    TreeRoot root = treeRoot(driver.platform, target);
    const int32_t pid = targetPid(target);
    ElementTree tree = readElementTree(driver.platform.accessibility, root.element, pid, root.path,
                                       0, maxDepth, driver.walkVisits);
    if (tree.visits > largeWalk) memory::releaseFree();
    Json result = Json{{"pid", pid}, {"tree", RawJson::raw(tree.text)}};
    if (!tree.cut) return context.success(root.summary, std::move(result));
    result["truncated"] = true;
    return context.success(root.summary + cutTreeSummary(driver.walkVisits), std::move(result));
}

Json handleFindElements(Driver& driver, const ActionContext& context, const Json& action) {
    AXReadResolution resolution = resolveAXReadTarget(driver.platform, action);
    if (const Failure* failure = resolution.failure()) return context.failure(*failure);
    const AXReadTarget& target = *resolution.target();
    const ElementFilters filters{stringValue(field(action, "role")),
                                 stringValue(field(action, "title")),
                                 stringValue(field(action, "identifier"))};
    const auto limit =
        static_cast<size_t>(clampedInt(action, "limit", defaultSearchLimit, largestSearchLimit));
    const int32_t pid = targetPid(target);
    SearchMatches matches;
    TreeWalk walk(driver.platform.accessibility, driver.walkVisits);
    for (const SearchRoot& root : searchRoots(driver.platform, target)) {
        if (matches.count >= limit || !walk.budget.take()) break;
        collectElements(walk, root.element, pid, root.path, searchDepth, 0, filters, matches,
                        limit);
    }
    if (walk.budget.used() > largeWalk) memory::releaseFree();
    std::string summary = "Found " + std::to_string(matches.count) + " matching elements.";
    Json result = Json{{"matches", RawJson::raw("[" + matches.text + "]")}};
    if (walk.budget.exhausted()) {
        result["truncated"] = true;
        summary += cutSearchSummary(driver.walkVisits);
    }
    return context.success(summary, std::move(result));
}

} // namespace dorvex
