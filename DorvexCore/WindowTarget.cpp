#include "DorvexCore/WindowTarget.h"

#include "DorvexCore/Text.h"

#include <cmath>
#include <limits>

namespace dorvex::WindowTarget {
namespace {

constexpr int64_t highestPid = std::numeric_limits<int32_t>::max();

// Origin at the minimum corner, size non-negative: the same rectangle however it was given.
platform::Rect normalized(platform::Rect rect) {
    if (rect.width < 0) {
        rect.x += rect.width;
        rect.width = -rect.width;
    }
    if (rect.height < 0) {
        rect.y += rect.height;
        rect.height = -rect.height;
    }
    return rect;
}

// Written so that a NaN on either side makes it false.
bool within1(double a, double b) {
    return std::fabs(a - b) <= 1.0;
}

// The selector trimmed; nothing when blank or absent, so blanks never refuse.
std::optional<std::string> trimmedSelector(const std::optional<std::string>& selector) {
    if (!selector) return std::nullopt;
    std::string trimmed = text::trimWhitespaceAndNewlines(*selector);
    if (trimmed.empty()) return std::nullopt;
    return trimmed;
}

WindowTargetMatch refuse(int64_t windowId, const std::string& reason) {
    return WindowTargetMatch::refused(refusal(windowId, reason));
}

const WindowServerWindow* findWindow(int64_t windowId,
                                     const std::vector<WindowServerWindow>& ownerWindows) {
    for (const WindowServerWindow& window : ownerWindows) {
        if (window.windowId == windowId) return &window;
    }
    return nullptr;
}

bool anotherWindowHasFrame(const WindowServerWindow& target,
                           const std::vector<WindowServerWindow>& ownerWindows) {
    for (const WindowServerWindow& other : ownerWindows) {
        if (other.windowId != target.windowId && other.frame &&
            framesAgree(*other.frame, *target.frame)) {
            return true;
        }
    }
    return false;
}

// Candidates without a window number whose frame agrees with the target's.
std::vector<int64_t> frameMatches(const platform::Rect& frame,
                                  const std::vector<AXWindowCandidate>& axWindows) {
    std::vector<int64_t> indices;
    for (size_t i = 0; i < axWindows.size(); ++i) {
        const AXWindowCandidate& candidate = axWindows[i];
        if (!candidate.windowNumber && candidate.frame && framesAgree(*candidate.frame, frame)) {
            indices.push_back(static_cast<int64_t>(i));
        }
    }
    return indices;
}

} // namespace

bool framesAgree(const platform::Rect& a, const platform::Rect& b) {
    const platform::Rect p = normalized(a);
    const platform::Rect q = normalized(b);
    return within1(p.x, q.x) && within1(p.y, q.y) && within1(p.width, q.width) &&
           within1(p.height, q.height);
}

WindowTargetRefusal refusal(int64_t windowId, const std::string& reason) {
    return {"Window " + std::to_string(windowId) + " could not be read (window_not_found): " +
            reason + ". Nothing was read from another app. " +
            "List windows again and retry with a current windowId."};
}

bool names(const std::string& selector, const WindowOwner& owner) {
    const std::string wanted = text::lowercased(selector);
    return (owner.bundleId && text::lowercased(*owner.bundleId) == wanted) ||
           (owner.name && text::lowercased(*owner.name) == wanted);
}

OwnerCheck checkOwner(int64_t windowId, std::optional<int64_t> appPid,
                      const std::optional<std::string>& appBundleId,
                      const std::optional<WindowOwner>& owner) {
    if (!owner || owner->pid < 1 || owner->pid > highestPid) {
        return refusal(windowId, "no such window exists; it may have closed");
    }
    if (appPid && *appPid != owner->pid) {
        return refusal(windowId, "it belongs to process " + std::to_string(owner->pid) +
                                     ", not appPid " + std::to_string(*appPid));
    }
    const std::optional<std::string> selector = trimmedSelector(appBundleId);
    if (!selector || names(*selector, *owner)) return *owner;
    const std::string label = owner->bundleId ? *owner->bundleId
                              : owner->name   ? *owner->name
                                              : "process " + std::to_string(owner->pid);
    return refusal(windowId, "it belongs to " + label + ", not " + *selector);
}

std::optional<WindowServerListing> listing(int64_t of, const std::vector<ListingLookup>& lookups) {
    for (const ListingLookup& lookup : lookups) {
        for (WindowServerListing& row : lookup()) {
            if (row.windowId == of) return std::move(row);
        }
    }
    return std::nullopt;
}

std::optional<std::string> appSelectorConflict(int64_t appPid,
                                               const std::optional<std::string>& appBundleId,
                                               const WindowOwner& app) {
    const std::optional<std::string> selector = trimmedSelector(appBundleId);
    if (!selector || names(*selector, app)) return std::nullopt;
    const std::string label = app.bundleId ? *app.bundleId : app.name ? *app.name : "another app";
    return "appPid " + std::to_string(appPid) + " is " + label + ", not " + *selector +
           ". Name one app, then retry.";
}

std::optional<WindowTargetRefusal> ownerChangedRefusal(int64_t windowId, const WindowOwner& sampled,
                                                       const std::optional<WindowOwner>& current) {
    // The display name may change with the language; the pid, bundle and launch may not.
    if (!current || current->pid != sampled.pid || current->bundleId != sampled.bundleId ||
        current->launchDate != sampled.launchDate) {
        return refusal(windowId, "its owner changed while it was being resolved");
    }
    return std::nullopt;
}

WindowTargetMatch matchWindow(int64_t windowId, const std::vector<WindowServerWindow>& ownerWindows,
                              const std::vector<AXWindowCandidate>& axWindows) {
    if (axWindows.empty()) return refuse(windowId, "its app exposes no accessibility windows");
    for (size_t i = 0; i < axWindows.size(); ++i) {
        if (axWindows[i].windowNumber == windowId) {
            return WindowTargetMatch::window(static_cast<int64_t>(i));
        }
    }
    const WindowServerWindow* target = findWindow(windowId, ownerWindows);
    if (!target || !target->frame) {
        return refuse(windowId, "the Window Server no longer lists it");
    }
    if (!target->onScreen) {
        return refuse(windowId, "it is not on screen (minimized, hidden or on another Space) and "
                                "its accessibility window could not be identified; restore it "
                                "or switch to its Space first");
    }
    if (anotherWindowHasFrame(*target, ownerWindows)) {
        return refuse(windowId, "another window of its app has the same frame");
    }
    const std::vector<int64_t> indices = frameMatches(*target->frame, axWindows);
    if (indices.size() == 1) return WindowTargetMatch::window(indices.front());
    if (indices.empty()) {
        return refuse(
            windowId,
            "its app's accessibility windows do not include it (it may not be ready yet)");
    }
    return refuse(windowId, "several of its app's accessibility windows have its frame");
}

std::optional<int64_t> identify(int64_t index, const std::vector<WindowServerWindow>& ownerWindows,
                                const std::vector<AXWindowCandidate>& axWindows) {
    if (index < 0 || index >= static_cast<int64_t>(axWindows.size())) return std::nullopt;
    const AXWindowCandidate& candidate = axWindows[static_cast<size_t>(index)];
    if (candidate.windowNumber) return candidate.windowNumber;
    if (!candidate.frame) return std::nullopt;
    const WindowServerWindow* found = nullptr;
    for (const WindowServerWindow& window : ownerWindows) {
        if (!window.onScreen || !window.frame || !framesAgree(*window.frame, *candidate.frame)) {
            continue;
        }
        if (found) return std::nullopt; // several windows have this frame
        found = &window;
    }
    if (!found) return std::nullopt;
    // Accept only an answer the forward match would give back for this same index.
    if (matchWindow(found->windowId, ownerWindows, axWindows) != WindowTargetMatch::window(index)) {
        return std::nullopt;
    }
    return found->windowId;
}

WindowListOwnerScope
listOwnerScope(std::optional<int64_t> windowFilter, std::optional<int32_t> appPid,
               const std::optional<std::string>& appBundleId,
               const std::function<std::vector<int32_t>(const std::string&)>& runningPids,
               const std::function<std::optional<int32_t>()>& frontmostPid) {
    if (appPid) return WindowListOwnerScope::ownedBy({*appPid});
    if (windowFilter) return WindowListOwnerScope::unfiltered();
    if (appBundleId && !appBundleId->empty()) {
        const std::vector<int32_t> pids = runningPids(*appBundleId);
        return WindowListOwnerScope::ownedBy({pids.begin(), pids.end()});
    }
    if (std::optional<int32_t> pid = frontmostPid()) return WindowListOwnerScope::ownedBy({*pid});
    return WindowListOwnerScope::unfiltered();
}

} // namespace dorvex::WindowTarget
