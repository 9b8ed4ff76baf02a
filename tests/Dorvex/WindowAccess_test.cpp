#include "Dorvex/Actions.h"
#include "Dorvex/WindowAccess.h"
#include "support/FakeDesktop.h"

#include <gtest/gtest.h>

namespace dorvex {
namespace {

using platform::Element;
using platform::WindowListOption;
using testing::FakeDesktop;
using testing::FakePlatform;

std::string refusedWith(int64_t windowId, const std::string& reason) {
    return "Window " + std::to_string(windowId) +
           " could not be read (window_not_found): " + reason +
           ". Nothing was read from another app. " +
           "List windows again and retry with a current windowId.";
}

platform::RunningApplication runningApp(int32_t pid, std::optional<std::string> bundleId,
                                        std::optional<std::string> name, double launchDate) {
    platform::RunningApplication app;
    app.pid = pid;
    app.bundleIdentifier = std::move(bundleId);
    app.localizedName = std::move(name);
    app.launchDate = launchDate;
    return app;
}

Json row(int64_t number, Json ownerPid, const char* ownerName, platform::Rect frame,
         bool onScreen) {
    return Json{
        {"kCGWindowNumber", number},
        {"kCGWindowOwnerPID", ownerPid},
        {"kCGWindowOwnerName", ownerName},
        {"kCGWindowBounds",
         {{"X", frame.x}, {"Y", frame.y}, {"Width", frame.width}, {"Height", frame.height}}},
        {"kCGWindowIsOnscreen", onScreen}};
}

const platform::Rect frameA{0, 0, 800, 600};
const platform::Rect frameB{50, 50, 400, 300};
const platform::Rect frameC{100, 20, 300, 200};

// TextEdit (501) with two windows and a sheet; an exited owner; an owner beyond 32 bits.
//
//   app 501 ── w10 (number 10, frame A) ── button, child with unreadable role, sheet (frame C)
//          └── w11 (no number, frame B)
struct Desktop {
    FakeDesktop fake;
    FakePlatform fakePlatform{fake};
    platform::Platform facets = fakePlatform; // what functions over several facets take
    Element w10, w11, sheet, button, broken, app;

    Desktop() {
        fake.apps = {runningApp(501, "com.apple.TextEdit", "TextEdit", 100.0),
                     runningApp(600, "com.other.App", "Other", 5.0)};
        fake.frontmostPid = 501;
        fake.rows = {
            row(10, 501, "TextEdit", frameA, true),    row(12, 501, "TextEdit", frameC, true),
            row(11, 501, "TextEdit", frameB, true),    row(30, 777, "Ghost", frameA, true),
            row(40, 4294967297, "Huge", frameA, true), Json{{"kCGWindowOwnerPID", 501}}};
        button = fake.add({{{"AXRole", FakeDesktop::text("AXButton")}}, {}, std::nullopt});
        broken = fake.add({{}, {{"AXRole", platform::axerr::cannotComplete}}, std::nullopt});
        sheet = fake.add({{{"AXRole", FakeDesktop::text("AXSheet")},
                           {"AXPosition", FakeDesktop::point(frameC.x, frameC.y)},
                           {"AXSize", FakeDesktop::size(frameC.width, frameC.height)}},
                          {},
                          std::nullopt});
        w10 = fake.add({{{"AXRole", FakeDesktop::text("AXWindow")},
                         {"AXChildren", FakeDesktop::list({button, broken, sheet})},
                         {"AXPosition", FakeDesktop::point(5000, 5000)},
                         {"AXSize", FakeDesktop::size(1, 1)}},
                        {},
                        10});
        w11 = fake.add({{{"AXRole", FakeDesktop::text("AXWindow")},
                         {"AXPosition", FakeDesktop::point(frameB.x + 1, frameB.y)},
                         {"AXSize", FakeDesktop::size(frameB.width, frameB.height - 1)}},
                        {},
                        std::nullopt});
        app = fake.add({{{"AXWindows", FakeDesktop::list({w10, w11})}}, {}, std::nullopt});
        fake.setApplicationElement(501, app);
    }

    size_t reads(WindowListOption option) const {
        size_t count = 0;
        for (const auto& read : fake.windowListReads)
            count += read.first == option;
        return count;
    }
};

std::vector<const void*> raw(const std::vector<Element>& elements) {
    std::vector<const void*> result;
    for (const Element& element : elements)
        result.push_back(element.raw());
    return result;
}

TEST(WindowAccessOwner, SamplesOwnerFromTheCheapestListing) {
    struct Case {
        int64_t windowId;
        std::optional<WindowOwner> expected;
        size_t singleReads;
        size_t fullReads;
    } cases[] = {
        {10, WindowOwner{501, "com.apple.TextEdit", "TextEdit", 100.0}, 1, 0},
        {30, WindowOwner{777, std::nullopt, "Ghost", std::nullopt}, 1, 0},
        {40, std::nullopt, 1, 0},
        {99, std::nullopt, 1, 1},
        {-1, std::nullopt, 0, 0},
        {4294967296, std::nullopt, 0, 0},
        {INT64_MAX, std::nullopt, 0, 0},
    };
    for (const Case& c : cases) {
        Desktop desktop;
        EXPECT_EQ(windowServerOwner(desktop.facets, c.windowId), c.expected) << c.windowId;
        EXPECT_EQ(desktop.reads(WindowListOption::includingWindow), c.singleReads) << c.windowId;
        EXPECT_EQ(desktop.reads(WindowListOption::all), c.fullReads) << c.windowId;
    }
}

TEST(WindowAccessOwner, FallsBackToTheFullListAndToTheWindowServerName) {
    Desktop desktop;
    desktop.fake.missingFromSingleWindowRead = {10};
    desktop.fake.apps[0].localizedName.reset();
    EXPECT_EQ(windowServerOwner(desktop.facets, 10),
              (WindowOwner{501, "com.apple.TextEdit", "TextEdit", 100.0}));
    EXPECT_EQ(desktop.reads(WindowListOption::all), 1u);

    desktop.fake.windowListReadable = false;
    EXPECT_EQ(windowServerOwner(desktop.facets, 10), std::nullopt);
}

TEST(WindowAccessWindows, OwnerWindowsAndListingsComeFromRows) {
    Desktop desktop;
    desktop.fake.rows.push_back(Json{{"kCGWindowNumber", 13},
                                     {"kCGWindowOwnerPID", 501},
                                     {"kCGWindowBounds", "not a dictionary"}});
    EXPECT_EQ(windowServerWindows(desktop.fake, 501),
              (std::vector<WindowServerWindow>{
                  {10, frameA, true}, {12, frameC, true}, {11, frameB, true}, {13, {}, false}}));
    EXPECT_TRUE(windowServerWindows(desktop.fake, 4294967297 - 4294967296).empty())
        << "owner pids are compared whole, not cut to 32 bits";

    EXPECT_EQ(windowServerListings(std::nullopt), std::vector<WindowServerListing>{});
    const std::vector<WindowServerListing> listings = windowServerListings(
        std::vector<Json>{Json{{"kCGWindowNumber", 5}}, Json{{"kCGWindowOwnerPID", 1}},
                          row(6, "501", "A", frameA, true)});
    EXPECT_EQ(listings, (std::vector<WindowServerListing>{{5, std::nullopt, std::nullopt},
                                                          {6, std::nullopt, "A"}}));
}

TEST(WindowAccessAX, WindowsThenSheetsAndCandidates) {
    Desktop desktop;
    const std::vector<Element> all = axWindowsAndSheets(desktop.fake, desktop.app);
    EXPECT_EQ(raw(all), raw({desktop.w10, desktop.w11, desktop.sheet}));
    EXPECT_EQ(raw(axWindows(desktop.fake, desktop.app)), raw({desktop.w10, desktop.w11}));

    EXPECT_EQ(axWindowCandidates(desktop.fake, all),
              (std::vector<AXWindowCandidate>{{10, platform::Rect{5000, 5000, 1, 1}},
                                              {std::nullopt, platform::Rect{51, 50, 400, 299}},
                                              {std::nullopt, frameC}}));
    desktop.fake.windowNumberFunction = false;
    EXPECT_EQ(axWindowCandidates(desktop.fake, {desktop.w10})[0].windowNumber, std::nullopt);
    desktop.fake.windowNumberFunction = true;
    desktop.fake.node(desktop.w10).windowNumber = 0;
    EXPECT_EQ(axWindowCandidates(desktop.fake, {desktop.w10})[0].windowNumber, std::nullopt)
        << "zero is no window number";
    desktop.fake.node(desktop.w11).attributes["AXSize"] = FakeDesktop::point(1, 1);
    EXPECT_EQ(axWindowCandidates(desktop.fake, {desktop.w11})[0].frame, std::nullopt)
        << "a size must be a size value";
}

TEST(WindowAccessAX, UnreadableWindowListsGiveNoWindows) {
    Desktop desktop;
    desktop.fake.node(desktop.app).errors["AXWindows"] = platform::axerr::apiDisabled;
    EXPECT_TRUE(axWindowsAndSheets(desktop.fake, desktop.app).empty());
    desktop.fake.node(desktop.app).errors.clear();
    desktop.fake.node(desktop.app).attributes["AXWindows"] = FakeDesktop::text("AXWindow");
    EXPECT_TRUE(axWindows(desktop.fake, desktop.app).empty());
    desktop.fake.node(desktop.app).attributes["AXWindows"] = {
        platform::AXValueList{{desktop.w10}, {std::string("not an element")}}};
    EXPECT_TRUE(axWindows(desktop.fake, desktop.app).empty());
}

TEST(WindowAccessResolve, ProvesOwnershipOrRefuses) {
    struct Case {
        int64_t windowId;
        std::optional<int64_t> appPid;
        std::optional<std::string> appBundleId;
        Element Desktop::*expected; // nullptr: refused
        const char* reason;
    } cases[] = {
        {10, std::nullopt, std::nullopt, &Desktop::w10, nullptr},
        {10, 501, "TEXTEDIT", &Desktop::w10, nullptr},
        {11, std::nullopt, std::nullopt, &Desktop::w11, nullptr},
        {12, 501, std::nullopt, &Desktop::sheet, nullptr},
        {10, 600, std::nullopt, nullptr, "it belongs to process 501, not appPid 600"},
        {10, std::nullopt, "com.other.App", nullptr,
         "it belongs to com.apple.TextEdit, not com.other.App"},
        {30, 777, std::nullopt, nullptr, "its app exposes no accessibility windows"},
        {30, std::nullopt, "GHOST", nullptr, "its app exposes no accessibility windows"},
        {30, std::nullopt, "com.ghost", nullptr, "it belongs to Ghost, not com.ghost"},
        {40, std::nullopt, std::nullopt, nullptr, "no such window exists; it may have closed"},
        {0, std::nullopt, std::nullopt, nullptr, "no such window exists; it may have closed"},
        {-1, std::nullopt, std::nullopt, nullptr, "no such window exists; it may have closed"},
        {4294967296, std::nullopt, std::nullopt, nullptr,
         "no such window exists; it may have closed"},
    };
    for (const Case& c : cases) {
        Desktop desktop;
        OwnedWindowResolution result =
            resolveOwnedWindow(desktop.facets, c.windowId, c.appPid, c.appBundleId);
        if (c.expected != nullptr) {
            const auto* owned = std::get_if<OwnedAXWindow>(&result);
            ASSERT_NE(owned, nullptr) << c.windowId;
            EXPECT_EQ(owned->pid, 501);
            EXPECT_EQ(owned->window.raw(), (desktop.*c.expected).raw()) << c.windowId;
        } else {
            const auto* refusal = std::get_if<WindowTargetRefusal>(&result);
            ASSERT_NE(refusal, nullptr) << c.windowId;
            EXPECT_EQ(refusal->message, refusedWith(c.windowId, c.reason));
        }
    }
}

TEST(WindowAccessResolve, RefusesWhenTheOwnerChangesDuringTheMatch) {
    Desktop desktop;
    // The app relaunches under the same pid after the owner's windows were read (window 11
    // has no number, so it is matched by its frame among them).
    desktop.fake.onWindowListRead = [&desktop](WindowListOption option, uint32_t) {
        if (option == WindowListOption::all) desktop.fake.apps[0].launchDate = 200.0;
    };
    OwnedWindowResolution result = resolveOwnedWindow(desktop.facets, 11, 501, std::nullopt);
    ASSERT_TRUE(std::holds_alternative<WindowTargetRefusal>(result));
    EXPECT_EQ(std::get<WindowTargetRefusal>(result).message,
              refusedWith(11, "its owner changed while it was being resolved"));
    EXPECT_EQ(desktop.reads(WindowListOption::includingWindow), 2u) << "owner read twice";
    EXPECT_EQ(desktop.reads(WindowListOption::all), 1u) << "owner windows read once";
}

TEST(WindowAccessResolve, AWindowNumberedWithTheIdNeedsNoFrames) {
    Desktop desktop;
    OwnedWindowResolution result = resolveOwnedWindow(desktop.facets, 10, 501, std::nullopt);
    ASSERT_TRUE(std::holds_alternative<OwnedAXWindow>(result));
    EXPECT_EQ(std::get<OwnedAXWindow>(result).window.raw(), desktop.w10.raw());
    EXPECT_EQ(desktop.reads(WindowListOption::includingWindow), 2u) << "owner read twice";
    EXPECT_EQ(desktop.reads(WindowListOption::all), 0u) << "the owner's windows are not read";
}

TEST(WindowAccessResolve, WithoutWindowNumbersStackedTwinsAreRefused) {
    Desktop desktop;
    desktop.fake.windowNumberFunction = false;
    desktop.fake.node(desktop.w10).attributes["AXPosition"] = FakeDesktop::point(0, 0);
    desktop.fake.node(desktop.w10).attributes["AXSize"] = FakeDesktop::size(800, 600);
    OwnedWindowResolution byFrame = resolveOwnedWindow(desktop.facets, 10, std::nullopt, "");
    ASSERT_TRUE(std::holds_alternative<OwnedAXWindow>(byFrame));
    EXPECT_EQ(std::get<OwnedAXWindow>(byFrame).window.raw(), desktop.w10.raw());

    desktop.fake.node(desktop.w11).attributes["AXPosition"] = FakeDesktop::point(0, 0);
    desktop.fake.node(desktop.w11).attributes["AXSize"] = FakeDesktop::size(800, 600);
    desktop.fake.rows[2] = row(11, 501, "TextEdit", frameA, true);
    OwnedWindowResolution twins = resolveOwnedWindow(desktop.facets, 10, std::nullopt, "");
    ASSERT_TRUE(std::holds_alternative<WindowTargetRefusal>(twins));
    EXPECT_EQ(std::get<WindowTargetRefusal>(twins).message,
              refusedWith(10, "another window of its app has the same frame"));
}

TEST(WindowAccessIds, IdentifiesTopLevelWindowsWithOneListRead) {
    Desktop desktop;
    EXPECT_EQ(axWindowIds(desktop.facets, 501, {desktop.w10, desktop.w11}),
              (std::vector<std::optional<int64_t>>{10, 11}));
    EXPECT_EQ(desktop.reads(WindowListOption::all), 1u);
    desktop.fake.windowListReadable = false;
    EXPECT_EQ(axWindowIds(desktop.facets, 501, {desktop.w10, desktop.w11}),
              (std::vector<std::optional<int64_t>>{10, std::nullopt}));
}

// A resolution in one comparable form: {"app": pid}, {"window": [pid, id]}, or the failure
// envelope of a read action "desktop_x" on the accessibility path.
Json summary(const AXReadResolution& resolution) {
    if (const Failure* failure = resolution.failure()) {
        return ActionContext{"desktop_x", ActionPath::ax}.failure(*failure);
    }
    if (const auto* app = std::get_if<AXApplicationTarget>(resolution.target())) {
        return Json{{"app", app->pid}, {"element", static_cast<bool>(app->application)}};
    }
    const auto& window = std::get<AXWindowTarget>(*resolution.target());
    return Json{{"window", {window.pid, window.windowId}},
                {"element", static_cast<bool>(window.window)}};
}

Json app(int32_t pid) {
    return Json{{"app", pid}, {"element", true}};
}
Json window(int32_t pid, int64_t windowId) {
    return Json{{"window", {pid, windowId}}, {"element", true}};
}
Json failure(const char* status, const char* code, const std::string& message, bool retryable) {
    return Json{{"ok", false},
                {"status", status},
                {"actionType", "desktop_x"},
                {"pathUsed", "ax"},
                {"error", {{"code", code}, {"message", message}, {"retryable", retryable}}}};
}

TEST(WindowAccessReadTarget, ResolvesSelectorsToTargetsOrFailures) {
    const Json notRunning =
        failure("semantic_unavailable", "app_not_running", "Target app is not running.", false);
    auto notFound = [](int64_t windowId, const char* reason) {
        return failure("semantic_unavailable", "window_not_found", refusedWith(windowId, reason),
                       true);
    };
    const Json badWindowId = failure(
        "invalid_params", "invalid_input",
        "windowId must be a whole number. List windows and retry with a windowId from the list.",
        false);
    const char* const gone = "no such window exists; it may have closed";
    struct Case {
        const char* action;
        Json expected;
    } cases[] = {
        {R"({})", app(501)},
        {R"({"appBundleId":"  com.other.App "})", app(600)},
        {R"({"appBundleId":"   "})", app(501)},
        {R"({"appBundleId":"com.none"})", notRunning},
        {R"({"appPid":600})", app(600)},
        {R"({"appPid":"600"})", app(600)},
        {R"({"appPid":600,"appBundleId":"other"})", app(600)},
        {R"({"appPid":600,"appBundleId":"com.apple.TextEdit"})",
         failure("invalid_params", "invalid_input",
                 "appPid 600 is com.other.App, not com.apple.TextEdit. Name one app, then retry.",
                 false)},
        {R"({"appPid":4294967296})", notRunning},
        {R"({"appPid":4294967797})", notRunning},
        {R"({"appPid":0})", notRunning},
        {R"({"appPid":-501})", notRunning},
        {R"({"appPid":1e300})", notRunning},
        {R"({"windowId":10})", window(501, 10)},
        {R"({"windowId":12.0,"appPid":501})", window(501, 12)},
        {R"({"windowId":"11","appBundleId":"com.apple.textedit"})", window(501, 11)},
        {R"({"windowId":10,"appPid":600})",
         notFound(10, "it belongs to process 501, not appPid 600")},
        {R"({"windowId":10,"appPid":4294967797})",
         notFound(10, "it belongs to process 501, not appPid 4294967797")},
        {R"({"windowId":-1})", notFound(-1, gone)},
        {R"({"windowId":0})", notFound(0, gone)},
        {R"({"windowId":4294967296})", notFound(4294967296, gone)},
        {R"({"windowId":1e300})", notFound(INT64_MAX, gone)},
        {R"({"windowId":null})", app(501)},
        {R"({"windowId":10.5})", badWindowId},
        {R"({"windowId":"abc"})", badWindowId},
        {R"({"windowId":" 10"})", badWindowId},
        {R"({"windowId":true})", badWindowId},
        {R"({"windowId":[10]})", badWindowId},
        {R"({"appPid":"501x"})",
         failure("invalid_params", "invalid_input",
                 "appPid must be a whole number. Retry with the pid of a running app.", false)},
    };
    for (const Case& c : cases) {
        Desktop desktop;
        EXPECT_EQ(summary(resolveAXReadTarget(desktop.facets, Json::parse(c.action))), c.expected)
            << c.action;
    }
}

TEST(WindowAccessReadTarget, NoFrontmostAppIsNotRunning) {
    Desktop desktop;
    desktop.fake.frontmostPid.reset();
    EXPECT_EQ(
        summary(resolveAXReadTarget(desktop.facets, Json::object())),
        failure("semantic_unavailable", "app_not_running", "Target app is not running.", false));
}

} // namespace
} // namespace dorvex
