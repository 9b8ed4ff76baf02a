#include "DorvexCore/WindowTarget.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace dorvex::WindowTarget {
namespace {

using platform::Rect;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

std::string refusedWith(int64_t windowId, const std::string& reason) {
    return "Window " + std::to_string(windowId) +
           " could not be read (window_not_found): " + reason +
           ". Nothing was read from another app. " +
           "List windows again and retry with a current windowId.";
}

WindowOwner pidOnly(int64_t pid) {
    return {pid, std::nullopt, std::nullopt, std::nullopt};
}

const char* const noSuchWindow = "no such window exists; it may have closed";
const char* const noAXWindows = "its app exposes no accessibility windows";
const char* const notListed = "the Window Server no longer lists it";
const char* const offScreen =
    "it is not on screen (minimized, hidden or on another Space) and its accessibility window "
    "could not be identified; restore it or switch to its Space first";
const char* const sameFrame = "another window of its app has the same frame";
const char* const notIncluded =
    "its app's accessibility windows do not include it (it may not be ready yet)";
const char* const severalFrames = "several of its app's accessibility windows have its frame";

TEST(WindowTargetFrames, AgreeWithinOnePointAfterNormalizing) {
    const Rect base{100, 200, 300, 400};
    struct Case {
        const char* name;
        Rect other;
        bool agrees;
    } cases[] = {
        {"identical", base, true},
        {"x exactly 1.0", {101, 200, 300, 400}, true},
        {"x 1.5", {101.5, 200, 300, 400}, false},
        {"y exactly -1.0", {100, 199, 300, 400}, true},
        {"y 1.5", {100, 198.5, 300, 400}, false},
        {"width exactly 1.0", {100, 200, 301, 400}, true},
        {"width 1.5", {100, 200, 301.5, 400}, false},
        {"height exactly 1.0", {100, 200, 300, 399}, true},
        {"height 1.5", {100, 200, 300, 401.5}, false},
        {"all four off by 1.0", {99, 201, 299, 401}, true},
        {"negative width, same area", {400, 200, -300, 400}, true},
        {"negative height, same area", {100, 600, 300, -400}, true},
        {"negative width without moving origin", {100, 200, -300, 400}, false},
        {"NaN x", {nan, 200, 300, 400}, false},
        {"NaN height", {100, 200, 300, nan}, false},
        {"infinite width", {100, 200, inf, 400}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(framesAgree(base, c.other), c.agrees) << c.name;
        EXPECT_EQ(framesAgree(c.other, base), c.agrees) << c.name << " (swapped)";
    }
    EXPECT_FALSE(framesAgree({inf, 0, 1, 1}, {inf, 0, 1, 1})) << "inf - inf is NaN";
}

TEST(WindowTargetRefusal, MessageNamesWindowReasonAndNextStep) {
    EXPECT_EQ(refusal(42, "because").message,
              "Window 42 could not be read (window_not_found): because. Nothing was read from "
              "another app. List windows again and retry with a current windowId.");
    EXPECT_EQ(refusal(-1, "x").message, refusedWith(-1, "x"));
    EXPECT_EQ(refusal(4294967296, "x").message, refusedWith(4294967296, "x"));
}

TEST(WindowTargetNames, ComparesBundleAndNameIgnoringCase) {
    const WindowOwner full{7, "com.apple.TextEdit", "TextEdit", std::nullopt};
    const WindowOwner unnamed{7, std::nullopt, std::nullopt, std::nullopt};
    const WindowOwner umlaut{7, std::nullopt, "\xC3\x84pfel", std::nullopt}; // Äpfel
    struct Case {
        const char* selector;
        const WindowOwner& owner;
        bool names;
    } cases[] = {
        {"com.apple.textedit", full, true},
        {"COM.APPLE.TEXTEDIT", full, true},
        {"textedit", full, true},
        {"com.apple.Text", full, false},
        {" textedit", full, false}, // callers trim; names does not
        {"", unnamed, false},
        {"anything", unnamed, false},
        {"\xC3\xA4PFEL", umlaut, true}, // äPFEL
    };
    for (const Case& c : cases)
        EXPECT_EQ(names(c.selector, c.owner), c.names) << c.selector;
}

TEST(WindowTargetOwner, AcceptsOrRefusesWithReason) {
    const WindowOwner textEdit{501, "com.apple.TextEdit", "TextEdit", 1000.0};
    const WindowOwner exited{502, std::nullopt, "Ghost", std::nullopt};
    const WindowOwner anonymous{503, std::nullopt, std::nullopt, std::nullopt};
    struct Case {
        const char* name;
        std::optional<int64_t> appPid;
        std::optional<std::string> appBundleId;
        std::optional<WindowOwner> owner;
        const char* reason; // nullptr: accepted
    } cases[] = {
        {"no owner", std::nullopt, std::nullopt, std::nullopt, noSuchWindow},
        {"pid 0", std::nullopt, std::nullopt, pidOnly(0), noSuchWindow},
        {"pid -1", std::nullopt, std::nullopt, pidOnly(-1), noSuchWindow},
        {"pid 2^31", std::nullopt, std::nullopt, pidOnly(2147483648), noSuchWindow},
        {"pid 2^31 - 1", std::nullopt, std::nullopt, pidOnly(2147483647), nullptr},
        {"no selectors", std::nullopt, std::nullopt, textEdit, nullptr},
        {"pid agrees", 501, std::nullopt, textEdit, nullptr},
        {"pid differs", 9, std::nullopt, textEdit, "it belongs to process 501, not appPid 9"},
        {"pid wins over matching bundle", 9, "com.apple.TextEdit", textEdit,
         "it belongs to process 501, not appPid 9"},
        {"pid 2^32 never equals", 4294967296 + 501, std::nullopt, textEdit,
         "it belongs to process 501, not appPid 4294967797"},
        {"both agree", 501, "com.apple.textedit", textEdit, nullptr},
        {"bundle in capitals", std::nullopt, "COM.APPLE.TEXTEDIT", textEdit, nullptr},
        {"bundle padded", std::nullopt, " \tcom.apple.TextEdit\n", textEdit, nullptr},
        {"display name", std::nullopt, "textedit", textEdit, nullptr},
        {"blank bundle counts as absent", std::nullopt, " \r\n ", textEdit, nullptr},
        {"empty bundle counts as absent", 501, "", textEdit, nullptr},
        {"bundle differs, labelled by bundle", std::nullopt, " com.apple.Safari ", textEdit,
         "it belongs to com.apple.TextEdit, not com.apple.Safari"},
        {"exited owner passes a pid selector", 502, std::nullopt, exited, nullptr},
        {"exited owner named by window-server name", std::nullopt, "ghost", exited, nullptr},
        {"exited owner labelled by name", std::nullopt, "com.x", exited,
         "it belongs to Ghost, not com.x"},
        {"anonymous owner labelled by pid", std::nullopt, "com.x", anonymous,
         "it belongs to process 503, not com.x"},
    };
    for (const Case& c : cases) {
        const OwnerCheck result = checkOwner(77, c.appPid, c.appBundleId, c.owner);
        if (c.reason == nullptr) {
            ASSERT_TRUE(std::holds_alternative<WindowOwner>(result)) << c.name;
            EXPECT_EQ(std::get<WindowOwner>(result), *c.owner) << c.name;
        } else {
            ASSERT_TRUE(std::holds_alternative<WindowTargetRefusal>(result)) << c.name;
            EXPECT_EQ(std::get<WindowTargetRefusal>(result).message, refusedWith(77, c.reason))
                << c.name;
        }
    }
}

TEST(WindowTargetListing, StopsAtTheFirstLookupThatHasTheWindow) {
    int singleCalls = 0;
    int fullCalls = 0;
    auto single = [&](std::vector<WindowServerListing> rows) {
        return [&singleCalls, rows] {
            ++singleCalls;
            return rows;
        };
    };
    auto full = [&fullCalls] {
        ++fullCalls;
        return std::vector<WindowServerListing>{{5, 10, "A"}, {6, 11, "B"}, {6, 12, "C"}};
    };

    EXPECT_EQ(listing(6, {single({{6, 20, "S"}}), full}), (WindowServerListing{6, 20, "S"}));
    EXPECT_EQ(fullCalls, 0) << "the full list is read only when the single lookup misses";

    EXPECT_EQ(listing(6, {single({{5, 20, "S"}}), full}), (WindowServerListing{6, 11, "B"}))
        << "first matching row of the full list";
    EXPECT_EQ(fullCalls, 1);

    EXPECT_EQ(listing(9, {single({}), full}), std::nullopt);
    EXPECT_EQ(singleCalls, 3);
    EXPECT_EQ(fullCalls, 2);
    EXPECT_EQ(listing(9, {}), std::nullopt);
}

TEST(WindowTargetAppSelector, ConflictOnlyWhenBundleNamesAnotherApp) {
    const WindowOwner textEdit{501, "com.apple.TextEdit", "TextEdit", std::nullopt};
    const WindowOwner named{502, std::nullopt, "Tool", std::nullopt};
    const WindowOwner anonymous{503, std::nullopt, std::nullopt, std::nullopt};
    struct Case {
        int64_t appPid;
        std::optional<std::string> appBundleId;
        const WindowOwner& app;
        std::optional<std::string> conflict;
    } cases[] = {
        {501, std::nullopt, textEdit, std::nullopt},
        {501, "   ", textEdit, std::nullopt},
        {501, "COM.apple.textedit", textEdit, std::nullopt},
        {501, "TextEdit", textEdit, std::nullopt},
        {501, " com.apple.Safari ", textEdit,
         "appPid 501 is com.apple.TextEdit, not com.apple.Safari. Name one app, then retry."},
        {502, "com.x", named, "appPid 502 is Tool, not com.x. Name one app, then retry."},
        {503, "com.x", anonymous,
         "appPid 503 is another app, not com.x. Name one app, then retry."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(appSelectorConflict(c.appPid, c.appBundleId, c.app), c.conflict)
            << c.appBundleId.value_or("(none)");
    }
}

TEST(WindowTargetOwnerChange, RefusesOnPidBundleOrLaunchChange) {
    const WindowOwner sampled{501, "com.a", "A", 100.0};
    const std::string changed = refusedWith(8, "its owner changed while it was being resolved");
    struct Case {
        const char* name;
        std::optional<WindowOwner> current;
        bool refused;
    } cases[] = {
        {"same", sampled, false},
        {"only the name changed", WindowOwner{501, "com.a", "Renamed", 100.0}, false},
        {"gone", std::nullopt, true},
        {"pid", WindowOwner{502, "com.a", "A", 100.0}, true},
        {"bundle", WindowOwner{501, "com.b", "A", 100.0}, true},
        {"bundle lost", WindowOwner{501, std::nullopt, "A", 100.0}, true},
        {"relaunched", WindowOwner{501, "com.a", "A", 100.5}, true},
        {"launch date lost", WindowOwner{501, "com.a", "A", std::nullopt}, true},
    };
    for (const Case& c : cases) {
        std::optional<WindowTargetRefusal> result = ownerChangedRefusal(8, sampled, c.current);
        EXPECT_EQ(result.has_value(), c.refused) << c.name;
        if (result) {
            EXPECT_EQ(result->message, changed) << c.name;
        }
    }
    const WindowOwner bare{501, std::nullopt, std::nullopt, std::nullopt};
    EXPECT_EQ(ownerChangedRefusal(8, bare, bare), std::nullopt) << "two absent values are equal";
    EXPECT_TRUE(ownerChangedRefusal(8, bare, WindowOwner{501, "com.a", std::nullopt, std::nullopt}))
        << "absent against present differs";
}

// The window server's windows of one app, and its accessibility windows, for the match cases.
const Rect frameA{0, 0, 800, 600};
const Rect frameB{50, 50, 400, 300};
const Rect farAway{5000, 5000, 10, 10};

struct MatchCase {
    const char* name;
    int64_t windowId;
    std::vector<WindowServerWindow> ownerWindows;
    std::vector<AXWindowCandidate> axWindows;
    std::variant<int64_t, const char*> expected; // index, or refusal reason
};

TEST(WindowTargetMatch, FollowsNumberThenUniqueFrame) {
    const MatchCase cases[] = {
        {"no accessibility windows", 10, {{10, frameA, true}}, {}, noAXWindows},
        {"number wins over a far-away frame",
         10,
         {{10, frameA, true}},
         {{std::nullopt, frameA}, {10, farAway}},
         int64_t{1}},
        {"number wins while off screen and unlisted", 10, {}, {{10, std::nullopt}}, int64_t{0}},
        {"earlier of two numbered candidates wins",
         10,
         {{10, frameA, true}},
         {{11, frameA}, {10, frameB}, {10, frameA}},
         int64_t{1}},
        {"not listed", 10, {{11, frameA, true}}, {{std::nullopt, frameA}}, notListed},
        {"listed without a frame",
         10,
         {{10, std::nullopt, true}},
         {{std::nullopt, frameA}},
         notListed},
        {"off screen even with one frame match",
         10,
         {{10, frameA, false}},
         {{std::nullopt, frameA}},
         offScreen},
        {"sibling with the same frame, on screen",
         10,
         {{10, frameA, true}, {11, frameA, true}},
         {{std::nullopt, frameA}},
         sameFrame},
        {"sibling with the same frame, off screen",
         10,
         {{11, {{0.5, 0, 800, 600}}, false}, {10, frameA, true}},
         {{std::nullopt, frameA}},
         sameFrame},
        {"sibling without a frame does not block",
         10,
         {{10, frameA, true}, {11, std::nullopt, true}},
         {{std::nullopt, frameA}},
         int64_t{0}},
        {"unique frame match by position",
         10,
         {{10, frameB, true}, {11, frameA, true}},
         {{std::nullopt, frameA}, {std::nullopt, {{51, 49, 401, 299}}}},
         int64_t{1}},
        {"frame off by 1.5 does not match",
         10,
         {{10, frameA, true}},
         {{std::nullopt, {{1.5, 0, 800, 600}}}},
         notIncluded},
        {"numbered candidate with the frame is never collected",
         10,
         {{10, frameA, true}},
         {{12, frameA}},
         notIncluded},
        {"candidate without a frame is skipped",
         10,
         {{10, frameA, true}},
         {{std::nullopt, std::nullopt}, {std::nullopt, frameA}},
         int64_t{1}},
        {"two candidates with the frame",
         10,
         {{10, frameA, true}},
         {{std::nullopt, frameA}, {std::nullopt, frameA}},
         severalFrames},
    };
    for (const MatchCase& c : cases) {
        const WindowTargetMatch result = matchWindow(c.windowId, c.ownerWindows, c.axWindows);
        if (const int64_t* index = std::get_if<int64_t>(&c.expected)) {
            EXPECT_EQ(result, WindowTargetMatch::window(*index)) << c.name;
        } else {
            ASSERT_NE(result.refusal(), nullptr) << c.name;
            EXPECT_EQ(result.refusal()->message,
                      refusedWith(c.windowId, std::get<const char*>(c.expected)))
                << c.name;
        }
    }
}

TEST(WindowTargetSheets, WindowsKeepTheirIndicesAndSheetsFollowInOrder) {
    const std::vector<std::string> windows{"A", "B", "C"};
    auto sheetsOf = [](const std::string& window) {
        if (window == "A") return std::vector<std::string>{"S1", "S1b"};
        if (window == "B") return std::vector<std::string>{"S2"};
        return std::vector<std::string>{};
    };
    EXPECT_EQ(windowsThenSheets(windows, sheetsOf),
              (std::vector<std::string>{"A", "B", "C", "S1", "S1b", "S2"}));
    EXPECT_EQ(windowsThenSheets(std::vector<std::string>{}, sheetsOf), std::vector<std::string>{});
}

TEST(WindowTargetIdentify, GivesOnlyIdsTheForwardMatchConfirms) {
    struct Case {
        const char* name;
        int64_t index;
        std::vector<WindowServerWindow> ownerWindows;
        std::vector<AXWindowCandidate> axWindows;
        std::optional<int64_t> expected;
    } cases[] = {
        {"negative index", -1, {{10, frameA, true}}, {{std::nullopt, frameA}}, std::nullopt},
        {"index past the end", 1, {{10, frameA, true}}, {{std::nullopt, frameA}}, std::nullopt},
        {"own number", 0, {}, {{33, std::nullopt}}, 33},
        {"no frame", 0, {{10, frameA, true}}, {{std::nullopt, std::nullopt}}, std::nullopt},
        {"unique on-screen frame", 0, {{10, frameA, true}}, {{std::nullopt, frameA}}, 10},
        {"second candidate by frame",
         1,
         {{10, frameA, true}, {11, frameB, true}},
         {{std::nullopt, frameA}, {std::nullopt, frameB}},
         11},
        {"only off-screen window has the frame",
         0,
         {{10, frameA, false}},
         {{std::nullopt, frameA}},
         std::nullopt},
        {"two on-screen windows have the frame",
         0,
         {{10, frameA, true}, {11, frameA, true}},
         {{std::nullopt, frameA}},
         std::nullopt},
        {"off-screen twin blocks the forward match",
         0,
         {{10, frameA, true}, {11, frameA, false}},
         {{std::nullopt, frameA}},
         std::nullopt},
        {"another unnumbered candidate has the frame",
         0,
         {{10, frameA, true}},
         {{std::nullopt, frameA}, {std::nullopt, frameA}},
         std::nullopt},
        {"forward match picks a numbered candidate instead",
         0,
         {{10, frameA, true}},
         {{std::nullopt, frameA}, {10, farAway}},
         std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(identify(c.index, c.ownerWindows, c.axWindows), c.expected) << c.name;
    }
}

TEST(WindowTargetListScope, PidThenFilterThenBundleThenFrontmost) {
    struct Case {
        const char* name;
        std::optional<int64_t> windowFilter;
        std::optional<int32_t> appPid;
        std::optional<std::string> appBundleId;
        std::optional<int32_t> frontmost;
        WindowListOwnerScope expected;
        const char* bundleAskedFor; // nullptr: runningPids is not called
        bool frontmostAsked;
    } cases[] = {
        {"pid alone", std::nullopt, 7, std::nullopt, 9, WindowListOwnerScope::ownedBy({7}), nullptr,
         false},
        {"pid beats the rest", 3, 7, "com.a", 9, WindowListOwnerScope::ownedBy({7}), nullptr,
         false},
        {"filter with bundle is unfiltered", 3, std::nullopt, "com.a", 9,
         WindowListOwnerScope::unfiltered(), nullptr, false},
        {"bundle", std::nullopt, std::nullopt, "com.a", 9, WindowListOwnerScope::ownedBy({20, 21}),
         "com.a", false},
        {"bundle not running", std::nullopt, std::nullopt, "com.none", 9,
         WindowListOwnerScope::ownedBy({}), "com.none", false},
        {"blank bundle is looked up untrimmed", std::nullopt, std::nullopt, "  ", 9,
         WindowListOwnerScope::ownedBy({}), "  ", false},
        {"empty bundle falls to frontmost", std::nullopt, std::nullopt, "", 9,
         WindowListOwnerScope::ownedBy({9}), nullptr, true},
        {"frontmost", std::nullopt, std::nullopt, std::nullopt, 9,
         WindowListOwnerScope::ownedBy({9}), nullptr, true},
        {"nothing at all", std::nullopt, std::nullopt, std::nullopt, std::nullopt,
         WindowListOwnerScope::unfiltered(), nullptr, true},
    };
    for (const Case& c : cases) {
        std::vector<std::string> bundlesAsked;
        int frontmostCalls = 0;
        auto runningPids = [&](const std::string& bundle) {
            bundlesAsked.push_back(bundle);
            return bundle == "com.a" ? std::vector<int32_t>{21, 20, 21} : std::vector<int32_t>{};
        };
        auto frontmostPid = [&] {
            ++frontmostCalls;
            return c.frontmost;
        };
        EXPECT_EQ(
            listOwnerScope(c.windowFilter, c.appPid, c.appBundleId, runningPids, frontmostPid),
            c.expected)
            << c.name;
        EXPECT_EQ(bundlesAsked, c.bundleAskedFor ? std::vector<std::string>{c.bundleAskedFor}
                                                 : std::vector<std::string>{})
            << c.name;
        EXPECT_EQ(frontmostCalls, c.frontmostAsked ? 1 : 0) << c.name;
    }
    EXPECT_NE(WindowListOwnerScope::ownedBy({}), WindowListOwnerScope::unfiltered());
    EXPECT_FALSE(WindowListOwnerScope::ownedBy({}).keeps(1));
    EXPECT_TRUE(WindowListOwnerScope::unfiltered().keeps(1));
}

} // namespace
} // namespace dorvex::WindowTarget
