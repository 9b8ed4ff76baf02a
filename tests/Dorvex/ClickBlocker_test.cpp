// The click blocker over simulated desktops: every reason it gives, and every overlay it passes
// over, with the hit test, window lists and screens answered by the simulated desktop.
#include "Dorvex/ClickBlocker.h"
#include "platform/sim/SimDesktop.h"
#include "support/Scenarios.h"

#include <gtest/gtest.h>
#include <memory>

namespace dorvex {
namespace {

using platform::Point;
using testing::rect;
using testing::serverWindow;

constexpr int64_t report = 701;
constexpr int32_t hostPid = 4000;

Json element(const std::string& id, const std::string& role, Json frame) {
    Json node{{"id", id}, {"role", role}};
    if (!frame.is_null()) node["frame"] = frame;
    return node;
}

Json axWindow(const std::string& id, int64_t number, std::vector<Json> children) {
    return Json{{"id", id},
                {"role", "AXWindow"},
                {"windowNumber", number},
                {"children", Json(std::move(children))}};
}

Json app(int64_t pid, const std::string& bundleId, const std::string& name,
         Json accessibility = Json::object()) {
    return Json{{"pid", pid},
                {"bundleId", bundleId},
                {"name", name},
                {"accessibility", std::move(accessibility)}};
}

// A full-display overlay row (1440 × 900) that lets clicks through except in its hit areas;
// without them (null) it takes every click, as a shield does.
Json overlay(int64_t number, Json ownerPid, const std::string& ownerName, int64_t layer,
             Json hitAreas = Json::array()) {
    Json row{{"number", number},
             {"ownerName", ownerName},
             {"bounds", rect(0, 0, 1440, 900)},
             {"layer", layer},
             {"alpha", 1},
             {"onScreen", true}};
    if (!hitAreas.is_null()) row["hitAreas"] = std::move(hitAreas);
    if (!ownerPid.is_null()) row["ownerPid"] = ownerPid;
    return row;
}

// One 1440 × 900 display whose visible frame leaves out the menu bar and a 70-point Dock.
// Preview (620): report 701 at (100, 100, 800, 780) in front of its inspector 702 at
// (600, 90, 500, 500), which holds the report's top-right rounded corner. Notes (630): window
// 705 behind both at (200, 200, 300, 300). The Dock (90), Notification Center (95), a menu
// agent without windows (97), the controller's host (4000), and the window server (88, a
// process). Tests put overlays in front and force hits.
Json blockerDesktop() {
    Json preview = app(
        620, "com.apple.Preview", "Preview",
        {{"windows",
          {axWindow("reportWindow", 701, {element("page", "AXTextField", rect(120, 130, 80, 24))}),
           axWindow("inspectorWindow", 702,
                    {element("inspectorText", "AXStaticText", rect(920, 300, 120, 20))})}}});
    Json notes =
        app(630, "com.apple.Notes", "Notes", {{"windows", {axWindow("notesWindow", 705, {})}}});
    Json agent = app(97, "com.example.MenuAgent", "Menu Agent",
                     {{"children", {element("agentItem", "AXMenuBarItem", nullptr)}}});
    Json host = app(hostPid, "com.example.Host", "Automation Host",
                    {{"children", {element("hostPanel", "AXGroup", nullptr)}}});
    return Json{{"displays",
                 {{{"id", 1},
                   {"bounds", rect(0, 0, 1440, 900)},
                   {"visibleFrame", rect(0, 25, 1440, 805)},
                   {"main", true}}}},
                {"processes",
                 {{{"pid", 88},
                   {"executablePath",
                    "/System/Library/PrivateFrameworks/SkyLight.framework/Resources/WindowServer"}},
                  {{"pid", 89}, {"executablePath", "/usr/local/bin/WindowServer"}}}},
                {"apps",
                 {app(90, "com.apple.dock", "Dock"),
                  app(95, "com.apple.notificationcenterui", "Notification Center"), agent, host,
                  preview, notes}},
                {"windows",
                 {serverWindow(701, 620, "Preview", rect(100, 100, 800, 780)),
                  serverWindow(702, 620, "Preview", rect(600, 90, 500, 500)),
                  serverWindow(705, 630, "Notes", rect(200, 200, 300, 300))}}};
}

// Forces the hit test at the point to an element, or to fail.
void forceHit(Json& scenario, Point point, Json elementOrError) {
    Json region{{"rect", rect(point.x - 1, point.y - 1, 2, 2)}};
    if (elementOrError.is_string()) {
        region["element"] = elementOrError;
    } else {
        region["error"] = elementOrError;
    }
    scenario["hitTest"].push_back(region);
}

void inFront(Json& scenario, Json row) {
    scenario["windows"].insert(scenario["windows"].begin(), std::move(row));
}

struct Blocked {
    std::unique_ptr<platform::sim::SimDesktop> desktop;
    std::optional<std::string> reason;
};

Blocked blockerOn(const Json& scenario, Point point, int64_t windowId = report,
                  std::optional<int64_t> host = std::nullopt) {
    platform::sim::SimOptions options;
    options.scenarioText = scenario.dump();
    Blocked blocked{std::make_unique<platform::sim::SimDesktop>(options), std::nullopt};
    EXPECT_EQ(blocked.desktop->lastLoadError(), std::nullopt);
    platform::Platform platform = blocked.desktop->facets();
    blocked.reason = clickBlocker(platform, point, windowId, host);
    return blocked;
}

const Point inReport{300, 600}; // in the report only, inside the visible frame
const Point inDock{300, 860};   // in the report, over the Dock

TEST(ClickBlocker, AWindowThatIsNotOnScreenIsRefusedBeforeAnythingElse) {
    Json hidden = blockerDesktop();
    hidden["windows"][0]["onScreen"] = false;
    Json noFlag = blockerDesktop();
    noFlag["windows"][0]["rawKeys"] = {{"kCGWindowIsOnscreen", nullptr}};
    struct Case {
        const char* name;
        Json scenario;
        int64_t windowId;
    } cases[] = {
        {"row says off screen", hidden, report},
        {"row without the on-screen key", noFlag, report},
        {"no such window", blockerDesktop(), 999},
        {"negative id", blockerDesktop(), -1},
        {"id beyond 32 bits", blockerDesktop(), 4294967296LL + report},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Blocked blocked = blockerOn(c.scenario, inReport, c.windowId);
        EXPECT_EQ(blocked.reason, "the window is not on screen");
        Json calls = blocked.desktop->stats()["calls"];
        EXPECT_LE(calls.value("copyWindowInfo", 0), 1);
        EXPECT_FALSE(calls.contains("copyElementAtPosition"));
    }
}

TEST(ClickBlocker, RowsInFrontOfThePointCover) {
    Json transparent{
        {"number", 80}, {"ownerPid", 555}, {"ownerName", "Veil"}, {"bounds", rect(0, 0, 1440, 900)},
        {"layer", 0},   {"alpha", 0},      {"onScreen", true}};
    Json translucent = transparent;
    translucent["alpha"] = 0.5;
    Json unnamed = translucent;
    unnamed.erase("ownerName");
    Json belowNormal = translucent;
    belowNormal["layer"] = -1;
    Json aside = translucent;
    aside["bounds"] = rect(0, 0, 100, 100);
    Json notesInFront = serverWindow(703, 630, "Notes", rect(250, 550, 200, 200));
    Json shield = overlay(60, hostPid, "Automation Host", 1000, nullptr);
    Json lowShield = overlay(60, hostPid, "Automation Host", 999, nullptr);
    struct Case {
        const char* name;
        Json row;
        std::optional<int64_t> host;
        std::optional<std::string> reason;
    } cases[] = {
        {"a transparent row", transparent, std::nullopt, std::nullopt},
        {"the same row half opaque", translucent, std::nullopt, "covered by Veil"},
        {"a covering row without an owner name", unnamed, std::nullopt, "covered by another app"},
        {"a row below the normal layer", belowNormal, std::nullopt, std::nullopt},
        {"a row beside the point", aside, std::nullopt, std::nullopt},
        {"another app's window, which takes the hit", notesInFront, std::nullopt,
         "covered by Notes"},
        {"the host's shield at the screen-saver level", shield, hostPid, std::nullopt},
        {"the host's shield one level lower", lowShield, hostPid, "covered by Automation Host"},
        {"the shield without the host named", shield, std::nullopt, "covered by Automation Host"},
        {"a host pid beyond 32 bits is not the host", shield, 4294967296LL + hostPid,
         "covered by Automation Host"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Json scenario = blockerDesktop();
        inFront(scenario, c.row);
        EXPECT_EQ(blockerOn(scenario, inReport, report, c.host).reason, c.reason);
    }
    Json unordered = blockerDesktop();
    unordered["faults"] = {{"windowList", {18}}};
    EXPECT_EQ(blockerOn(unordered, inReport).reason, "the window order is unavailable");
}

TEST(ClickBlocker, SystemOverlaysAreJudgedByOwnerLayerAndDisplay) {
    const Json dockStrip = Json::array({rect(0, 830, 1440, 70)});
    Json dock = overlay(50, 90, "Dock", 20, dockStrip);
    Json highDock = overlay(50, 90, "Dock", 26, dockStrip);
    Json shortDock = dock;
    shortDock["bounds"] = rect(0, 0, 1440, 899);
    Json notificationCenter = overlay(55, 95, "Notification Center", 23);
    Json serverShield = overlay(56, 88, "Window Server", 21);
    Json strangerShield = overlay(56, 89, "Window Server", 21);
    Json appShield = overlay(56, 630, "Notes", 21);
    Json ownerless = overlay(56, nullptr, "Nobody", 21);
    const Json noHit = -25204;
    struct Case {
        const char* name;
        Json row;
        Point point;
        Json hit; // null: the hit test answers by itself
        std::optional<int64_t> host;
        std::optional<std::string> reason;
    } cases[] = {
        {"the Dock, inside the visible frame", dock, inReport, noHit, std::nullopt, std::nullopt},
        {"the Dock, over the Dock", dock, inDock, noHit, std::nullopt, "covered by Dock"},
        {"the Dock takes the hit over the Dock", dock, inDock, nullptr, std::nullopt,
         "covered by Dock"},
        {"the Dock above layer 25", highDock, inReport, noHit, std::nullopt, "covered by Dock"},
        {"the Dock short of the whole display", shortDock, inReport, noHit, std::nullopt,
         "covered by Dock"},
        {"Notification Center, hit in no window", notificationCenter, inReport, "agentItem",
         std::nullopt, std::nullopt},
        {"Notification Center, no hit", notificationCenter, inReport, noHit, std::nullopt,
         "covered by Notification Center"},
        {"Notification Center, hit in the host", notificationCenter, inReport, "hostPanel", hostPid,
         "covered by Notification Center"},
        {"the window server's shield", serverShield, inReport, noHit, std::nullopt, std::nullopt},
        {"a process named WindowServer elsewhere", strangerShield, inReport, noHit, std::nullopt,
         "covered by Window Server"},
        {"an app's full-display window", appShield, inReport, noHit, std::nullopt,
         "covered by Notes"},
        {"an overlay without an owner", ownerless, inReport, noHit, std::nullopt,
         "covered by Nobody"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Json scenario = blockerDesktop();
        inFront(scenario, c.row);
        if (!c.hit.is_null()) forceHit(scenario, c.point, c.hit);
        EXPECT_EQ(blockerOn(scenario, c.point, report, c.host).reason, c.reason);
    }
    // An overlay wider than the displays, at a point off every display, is not passed over.
    Json scenario = blockerDesktop();
    Json wide = dock;
    wide["bounds"] = rect(0, 0, 2000, 900);
    inFront(scenario, wide);
    scenario["windows"][1]["bounds"] = rect(100, 100, 1800, 780);
    forceHit(scenario, {1600, 400}, noHit);
    EXPECT_EQ(blockerOn(scenario, {1600, 400}).reason, "covered by Dock");
}

TEST(ClickBlocker, AHitInAnotherAppOrAnotherWindowOfTheSameApp) {
    const Point corner{898, 102}; // the report's top-right rounded corner, over the inspector
    const Point overBoth{700, 300};
    const Point bottomLeftCorner{101, 879}; // a corner with nothing of Preview's below
    Json unnamed = blockerDesktop();
    unnamed["windows"][0]["rawKeys"] = {{"kCGWindowOwnerName", nullptr}};
    Json frameless = blockerDesktop();
    frameless["windows"][0]["rawKeys"] = {{"kCGWindowBounds", nullptr}};
    Json noOrderBelow = blockerDesktop();
    noOrderBelow["faults"] = {{"windowList", {20}}};
    struct Case {
        const char* name;
        Json scenario;
        Point point;
        Json hit;
        std::optional<std::string> reason;
    } cases[] = {
        {"in the report, over the inspector", blockerDesktop(), overBoth, nullptr, std::nullopt},
        {"in the report, nothing below", blockerDesktop(), inReport, nullptr, std::nullopt},
        {"in the rounded corner over the inspector", blockerDesktop(), corner, nullptr,
         "the click would reach another Preview window"},
        {"the same without an owner name", unnamed, corner, nullptr,
         "the click would reach another window of the same app"},
        {"a corner with nothing of the app below", blockerDesktop(), bottomLeftCorner, nullptr,
         std::nullopt},
        {"the hit lands in the inspector", blockerDesktop(), overBoth, "inspectorText",
         "the click would reach another Preview window"},
        {"the target's frame cannot be read", frameless, overBoth, nullptr,
         "the window order is unavailable"},
        {"the order below cannot be read", noOrderBelow, overBoth, nullptr,
         "the window order is unavailable"},
        {"a hit in Notes, whose window is behind", blockerDesktop(), Point{300, 300}, "notesWindow",
         "the click would reach Notes"},
        {"a hit in an agent without windows", blockerDesktop(), inReport, "agentItem",
         std::nullopt},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.hit.is_null()) forceHit(c.scenario, c.point, c.hit);
        EXPECT_EQ(blockerOn(c.scenario, c.point).reason, c.reason);
    }
}

TEST(ClickBlocker, BoundsEveryAccessibilityCallWithOneSecond) {
    Blocked blocked = blockerOn(blockerDesktop(), {700, 300});
    ASSERT_EQ(blocked.reason, std::nullopt);
    std::vector<platform::sim::SimMessagingTimeout> timeouts = blocked.desktop->messagingTimeouts();
    ASSERT_GE(timeouts.size(), 3u);
    EXPECT_EQ(timeouts[0].target, "systemWide");
    EXPECT_EQ(timeouts[0].seconds, 1);
    EXPECT_EQ(timeouts[1].target, "systemWide");
    EXPECT_EQ(timeouts[1].seconds, 0) << "set back before the hit element is read";
    for (size_t i = 2; i < timeouts.size(); ++i) {
        EXPECT_EQ(timeouts[i].seconds, 1) << timeouts[i].target;
    }
    EXPECT_EQ(timeouts.back().target, "620/AXWindow/") << "up to the window";

    // A failed hit test still puts the default back.
    Json scenario = blockerDesktop();
    forceHit(scenario, {700, 300}, -25204);
    Blocked failed = blockerOn(scenario, {700, 300});
    ASSERT_EQ(failed.desktop->messagingTimeouts().size(), 2u);
    EXPECT_EQ(failed.desktop->messagingTimeouts()[1].seconds, 0);
}

} // namespace
} // namespace dorvex
