#pragma once

// The rules that tie a controller's window id to its owner and to one accessibility window.
// Pure: the window server's rows, the accessibility candidates and the owners come in as
// arguments or callables, so nothing here touches the operating system.
#include "platform/types/Geometry.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

namespace dorvex {

// The process that owns a window, as sampled at one moment.
struct WindowOwner {
    int64_t pid = 0;
    std::optional<std::string> bundleId;
    std::optional<std::string> name;
    std::optional<double> launchDate; // seconds since 1970, compared exactly
    friend bool operator==(const WindowOwner&, const WindowOwner&) = default;
};

// The window server's view of one window of a known owner.
struct WindowServerWindow {
    int64_t windowId = 0;
    std::optional<platform::Rect> frame;
    bool onScreen = false;
    friend bool operator==(const WindowServerWindow&, const WindowServerWindow&) = default;
};

// One accessibility window (or sheet) of the owning app, in the app's order.
struct AXWindowCandidate {
    std::optional<int64_t> windowNumber; // absent when the accessibility layer gives none
    std::optional<platform::Rect> frame;
    friend bool operator==(const AXWindowCandidate&, const AXWindowCandidate&) = default;
};

// One row of a window-server listing, used to find a window's owner.
struct WindowServerListing {
    int64_t windowId = 0;
    std::optional<int64_t> ownerPid;
    std::optional<std::string> ownerName;
    friend bool operator==(const WindowServerListing&, const WindowServerListing&) = default;
};

struct WindowTargetRefusal {
    std::string message;
    friend bool operator==(const WindowTargetRefusal&, const WindowTargetRefusal&) = default;
};

// Either the index of the matching accessibility candidate, or a refusal.
struct WindowTargetMatch {
    std::variant<int64_t, WindowTargetRefusal> value;

    static WindowTargetMatch window(int64_t index) { return {index}; }
    static WindowTargetMatch refused(WindowTargetRefusal refusal) { return {std::move(refusal)}; }
    const int64_t* index() const { return std::get_if<int64_t>(&value); }
    const WindowTargetRefusal* refusal() const { return std::get_if<WindowTargetRefusal>(&value); }
    friend bool operator==(const WindowTargetMatch&, const WindowTargetMatch&) = default;
};

// Which owners a window listing keeps: a set of pids, or everyone.
struct WindowListOwnerScope {
    std::optional<std::set<int32_t>> owners; // absent: unfiltered

    static WindowListOwnerScope unfiltered() { return {}; }
    static WindowListOwnerScope ownedBy(std::set<int32_t> pids) { return {std::move(pids)}; }
    bool isUnfiltered() const { return !owners.has_value(); }
    bool keeps(int32_t pid) const { return !owners || owners->contains(pid); }
    friend bool operator==(const WindowListOwnerScope&, const WindowListOwnerScope&) = default;
};

namespace WindowTarget {

// The accepted owner, or why it was refused.
using OwnerCheck = std::variant<WindowOwner, WindowTargetRefusal>;
using ListingLookup = std::function<std::vector<WindowServerListing>()>;

// Two frames agree when their normalized origin and size each differ by at most 1.0 point.
// Anything involving NaN disagrees.
bool framesAgree(const platform::Rect& a, const platform::Rect& b);

// The one message shape of every window refusal.
WindowTargetRefusal refusal(int64_t windowId, const std::string& reason);

// Whether a selector names the owner, by bundle id or by name, ignoring case.
bool names(const std::string& selector, const WindowOwner& owner);

// Proves the sampled owner exists and agrees with the controller's app selectors.
OwnerCheck checkOwner(int64_t windowId, std::optional<int64_t> appPid,
                      const std::optional<std::string>& appBundleId,
                      const std::optional<WindowOwner>& owner);

// The first row for the window from the lookups, called in order and only until one hits.
std::optional<WindowServerListing> listing(int64_t of, const std::vector<ListingLookup>& lookups);

// Without a window: a message when the pid and the bundle selector name different apps.
std::optional<std::string> appSelectorConflict(int64_t appPid,
                                               const std::optional<std::string>& appBundleId,
                                               const WindowOwner& app);

// Refuses when the owner read after matching is not the one sampled before it.
std::optional<WindowTargetRefusal> ownerChangedRefusal(int64_t windowId, const WindowOwner& sampled,
                                                       const std::optional<WindowOwner>& current);

// Which accessibility candidate is the window: by window number, else by a unique frame.
WindowTargetMatch matchWindow(int64_t windowId, const std::vector<WindowServerWindow>& ownerWindows,
                              const std::vector<AXWindowCandidate>& axWindows);

// The items, then the sheets of each item in order, so window indices stay put.
template <typename Item, typename Sheets>
std::vector<Item> windowsThenSheets(const std::vector<Item>& items, Sheets&& sheets) {
    std::vector<Item> result = items;
    for (const Item& item : items) {
        for (auto& sheet : sheets(item))
            result.push_back(std::move(sheet));
    }
    return result;
}

// The window id of the candidate at index, only when matchWindow would give that index back.
std::optional<int64_t> identify(int64_t index, const std::vector<WindowServerWindow>& ownerWindows,
                                const std::vector<AXWindowCandidate>& axWindows);

// Which owners a window listing keeps for the given selectors.
WindowListOwnerScope
listOwnerScope(std::optional<int64_t> windowFilter, std::optional<int32_t> appPid,
               const std::optional<std::string>& appBundleId,
               const std::function<std::vector<int32_t>(const std::string&)>& runningPids,
               const std::function<std::optional<int32_t>()>& frontmostPid);

} // namespace WindowTarget
} // namespace dorvex
