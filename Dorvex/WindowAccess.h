#pragma once

// Window-server and accessibility reads that the window targeting rules need, and the two jobs
// built on them: proving that a window id names an accessibility window of the app the
// controller named (resolveOwnedWindow), and turning a read action's app or window selector
// into a read target or the failure that answers it (resolveAXReadTarget).
//
// Every function runs on the request thread, calls the platform synchronously and never
// throws: a failed read becomes an absent value or an empty list, and the targeting rules turn
// what is missing into a refusal.
#include "Dorvex/ActionResults.h"
#include "DorvexCore/WindowTarget.h"
#include "platform/Platform.h"
#include "platform/types/Json.h"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace dorvex {

// A window proven to belong to its owner.
struct OwnedAXWindow {
    int32_t pid = 0;
    platform::Element window; // the window or sheet element
};

using OwnedWindowResolution = std::variant<OwnedAXWindow, WindowTargetRefusal>;

// What a read action reads: a whole app (the reader picks a window itself) or one window.
struct AXApplicationTarget {
    int32_t pid = 0;
    platform::Element application;
};
struct AXWindowTarget {
    int32_t pid = 0;
    int64_t windowId = 0;
    platform::Element window;
};
using AXReadTarget = std::variant<AXApplicationTarget, AXWindowTarget>;

// A read target, or the failure that answers the action.
struct AXReadResolution {
    std::variant<AXReadTarget, Failure> value;

    const AXReadTarget* target() const { return std::get_if<AXReadTarget>(&value); }
    const Failure* failure() const { return std::get_if<Failure>(&value); }
};

// The first running app with the bundle id when one is given (not trimmed, non-empty), else
// the frontmost app.
std::optional<platform::RunningApplication> runningApp(platform::Workspace& workspace,
                                                       const std::optional<std::string>& bundleId);

// The app element's "AXWindows"; empty on any error or mistyped value.
std::vector<platform::Element> axWindows(platform::Accessibility& ax,
                                         const platform::Element& application);

// axWindows, then the "AXSheet" children of each window in order: window indices stay put.
std::vector<platform::Element> axWindowsAndSheets(platform::Accessibility& ax,
                                                  const platform::Element& application);

// Rows with a window number, as listings; nothing in gives nothing out.
std::vector<WindowServerListing>
windowServerListings(const std::optional<std::vector<platform::WindowRow>>& rows);

// The owner of a window, sampled now; absent for ids outside 0..4294967295, unknown windows
// and owners outside the signed 32-bit pid range. Asks for the single window first and for
// the full list only when that misses.
std::optional<WindowOwner> windowServerOwner(platform::Platform& platform, int64_t windowId);

// The window server's windows of one owner, front to back, with frames and on-screen flags.
std::vector<WindowServerWindow> windowServerWindows(platform::WindowServer& windowServer,
                                                    int64_t ownedBy);

// The element's window number from the private function: nothing when the platform lacks the
// function, the call fails or the number is 0.
std::optional<int64_t> axWindowNumber(platform::Accessibility& ax,
                                      const platform::Element& element);

// One candidate per element, same order: the private window number when the platform has it
// and reports a non-zero one, and the accessibility frame.
std::vector<AXWindowCandidate> axWindowCandidates(platform::Accessibility& ax,
                                                  const std::vector<platform::Element>& elements);

// The accessibility window (or sheet) of windowId, proven to belong to the app the selectors
// name and to have kept its owner while it was matched; or why not.
OwnedWindowResolution resolveOwnedWindow(platform::Platform& platform, int64_t windowId,
                                         std::optional<int64_t> appPid,
                                         const std::optional<std::string>& appBundleId);

// The window id of each of an app's top-level windows (pass axWindows, without sheets), only
// where the match would give the same window back; reads the window list once.
std::vector<std::optional<int64_t>> axWindowIds(platform::Platform& platform, int32_t pid,
                                                const std::vector<platform::Element>& windows);

// An "invalid_input" failure when "appPid" or "windowId" is given (and not null) but is not a
// whole number, such as "abc", 12.5 or true: a selector the controller got wrong must not
// quietly widen a read to the frontmost app or narrow it to a neighbouring id.
std::optional<Failure> malformedSelectorFailure(const Json& action);

// Reads "appBundleId", "appPid" and "windowId" from a read action and resolves them to a
// target, or to one of the failures "app_not_running", "invalid_input" (a malformed selector,
// or the pid and the bundle id name different apps) and "window_not_found".
AXReadResolution resolveAXReadTarget(platform::Platform& platform, const Json& action);

} // namespace dorvex
