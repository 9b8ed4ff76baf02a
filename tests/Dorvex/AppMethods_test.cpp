// "system.appState", "app.launch" and "system.runningApps" in-process on simulated desktops.
// Launch waits are real but short: the shortest wait a launch may ask for is one second.
#include "support/InProcessDriver.h"
#include "support/SimDesktops.h"

#include <gtest/gtest.h>
#include <thread>

namespace dorvex::testing {
namespace {

using namespace std::chrono_literals;
using platform::sim::SimDesktop;
using platform::sim::testing::desktopFrom;
using Clock = std::chrono::steady_clock;

const std::string bundles = std::string(DORVEX_SOURCE_DIR) + "/examples/bundles/";

// The workspace opens apps by location, so each gets its own.
Json installed(const std::string& bundleId, Json extra = Json::object()) {
    Json app{{"bundleId", bundleId}, {"bundlePath", "/Applications/" + bundleId + ".app"}};
    app.update(extra);
    return app;
}

Json launchDesktop() {
    return Json{
        {"apps",
         {{{"pid", 501},
           {"bundleId", "com.apple.TextEdit"},
           {"name", "TextEdit"},
           {"active", true},
           {"bundlePath", bundles + "TextEdit.app"}}}},
        {"installedApps",
         {installed("com.apple.calculator", {{"pid", 900}}),
          installed("com.example.Broken", {{"launchError", "The app is damaged."}}),
          installed("com.example.Silent", {{"pid", 910}, {"launchCompletes", false}}),
          installed("com.example.Stuck", {{"launchError", "x"}, {"launchCompletes", false}}),
          installed("com.example.Late", {{"pid", 920}, {"launchDelayMs", 1500}}),
          installed("com.example.LateError",
                    {{"launchError", "Too late."}, {"launchDelayMs", 1300}})}}};
}

struct Launching {
    std::unique_ptr<SimDesktop> sim = desktopFrom(launchDesktop());
    InProcessDriver driver{sim->facets()};

    // The answer and how long it took.
    std::pair<Json, Clock::duration> launch(Json params) {
        const auto start = Clock::now();
        Json answer = driver.request("app.launch", std::move(params))["result"];
        return {answer, Clock::now() - start};
    }
};

TEST(AppState, RunningOrNot) {
    Launching l;
    EXPECT_EQ(
        l.driver.request("system.appState", Json{{"bundleId", " com.apple.TextEdit "}})["result"],
        Json::parse(R"({"bundleId":"com.apple.TextEdit","running":true,"pid":501})"));
    EXPECT_EQ(
        l.driver.request("system.appState", Json{{"bundleId", "com.apple.calculator"}})["result"],
        Json::parse(R"({"bundleId":"com.apple.calculator","running":false})"));
}

TEST(AppLaunch, LaunchesActivatesOrFailsWithTheWorkspaceError) {
    Launching l;
    EXPECT_EQ(l.launch({{"bundleId", "com.example.Nowhere"}}).first,
              Json::parse(R"({"ok":false,"bundleId":"com.example.Nowhere",
                              "error":"Application URL not found for com.example.Nowhere"})"));
    EXPECT_EQ(l.launch({{"bundleId", "com.apple.calculator"}, {"activate", "false"}}).first,
              Json::parse(R"({"ok":true,"bundleId":"com.apple.calculator","pid":900,
                              "activated":false})"));
    EXPECT_EQ(l.sim->frontmostApplication()->pid, 501);
    EXPECT_EQ(l.launch({{"bundleId", "com.apple.TextEdit"}}).first,
              Json::parse(R"({"ok":true,"bundleId":"com.apple.TextEdit","pid":501,
                              "activated":true})"));
    EXPECT_EQ(l.launch({{"bundleId", "com.example.Broken"}}).first,
              Json::parse(R"({"ok":false,"bundleId":"com.example.Broken",
                              "error":"The app is damaged."})"));
}

TEST(AppLaunch, ACompletionThatNeverComesWaitsTheClampedTimeThenLooksForTheApp) {
    Launching l;
    auto [found, tookFound] =
        l.launch({{"bundleId", "com.example.Silent"}, {"waitForLaunchMs", 0}});
    EXPECT_EQ(found, Json::parse(R"({"ok":true,"bundleId":"com.example.Silent","pid":910,
                                     "activated":true})"));
    EXPECT_GE(tookFound, 1000ms);
    EXPECT_LT(tookFound, 5000ms);
    auto [missing, tookMissing] =
        l.launch({{"bundleId", "com.example.Stuck"}, {"waitForLaunchMs", -50}, {"activate", 0}});
    EXPECT_EQ(missing, Json::parse(R"({"ok":false,"bundleId":"com.example.Stuck",
                                       "error":"Launch timed out for com.example.Stuck"})"));
    EXPECT_GE(tookMissing, 1000ms);
    EXPECT_LT(tookMissing, 5000ms);
}

TEST(AppLaunch, ALateCompletionChangesNothing) {
    Launching l;
    auto [late, took] = l.launch({{"bundleId", "com.example.Late"}, {"waitForLaunchMs", "1000"}});
    // The app started at once; its completion comes half a second after the wait ended.
    EXPECT_EQ(late, Json::parse(R"({"ok":true,"bundleId":"com.example.Late","pid":920,
                                    "activated":true})"));
    EXPECT_LT(took, 1500ms);
    Json lateError =
        l.launch({{"bundleId", "com.example.LateError"}, {"waitForLaunchMs", 1}}).first;
    EXPECT_EQ(lateError, Json::parse(R"({"ok":false,"bundleId":"com.example.LateError",
                                         "error":"Launch timed out for com.example.LateError"})"));
    std::this_thread::sleep_for(700ms); // both completions have come by now
    const size_t answers = l.driver.transport().lines().size();
    EXPECT_EQ(answers, 2u);
    EXPECT_EQ(l.driver.request("system.appState",
                               Json{{"bundleId", "com.example.Late"}})["result"]["pid"],
              920);
    EXPECT_EQ(l.driver.transport().lines().size(), answers + 1);
}

TEST(RunningApps, RegularAppsWithBundlesLabelledAndJudged) {
    auto sim = desktopFrom(Json::parse(R"({
        "apps": [
          {"pid": 10, "bundleId": "com.apple.TextEdit", "name": "TextEdit",
           "bundlePath": ")" + bundles +
                                       R"(TextEdit.app"},
          {"pid": 11, "bundleId": "com.example.Menu", "activationPolicy": "accessory"},
          {"pid": 12, "bundleId": "com.example.Daemon", "activationPolicy": "prohibited"},
          {"pid": 13, "name": "No bundle"},
          {"pid": 14, "bundleId": "com.example.Unnamed", "active": true,
           "bundlePath": ")" + bundles +
                                       R"(Calculator.app"},
          {"pid": 15, "bundleId": "com.example.Nowhere", "name": "Nowhere",
           "bundlePath": "/nonexistent/Nowhere.app"}
        ]})"));
    InProcessDriver driver(sim->facets());
    const Json expected = Json::parse(R"({"apps":[
        {"bundleId":"com.apple.TextEdit","label":"TextEdit","isActive":false,"scriptability":"scriptable"},
        {"bundleId":"com.example.Unnamed","label":"com.example.Unnamed","isActive":true,
         "scriptability":"not_scriptable"},
        {"bundleId":"com.example.Nowhere","label":"Nowhere","isActive":false,"scriptability":"unknown"}]})");
    EXPECT_EQ(driver.request("system.runningApps", Json{{"ignored", 1}})["result"], expected);

    Json none = expected;
    for (Json& app : none["apps"])
        app["isActive"] = false;
    Json scenario = Json::parse(R"({"frontmostPid": null})");
    ASSERT_TRUE(sim->reloadFromText(Json::parse(R"({
        "frontmostPid": null,
        "apps": [
          {"pid": 10, "bundleId": "com.apple.TextEdit", "name": "TextEdit",
           "bundlePath": ")" + bundles + R"(TextEdit.app"},
          {"pid": 14, "bundleId": "com.example.Unnamed", "active": true,
           "bundlePath": ")" + bundles + R"(Calculator.app"},
          {"pid": 15, "bundleId": "com.example.Nowhere", "name": "Nowhere",
           "bundlePath": "/nonexistent/Nowhere.app"}]})")
                                        .dump()));
    EXPECT_EQ(driver.request("system.runningApps")["result"], none);
}

TEST(RunningApps, AListThatNeverComesIsAnErrorNotAnEmptyList) {
    auto sim = desktopFrom(Json::parse(R"({"apps":[{"pid":1,"bundleId":"com.a"}],
                                           "faults":{"runningAppsHang":true}})"));
    InProcessDriver driver(sim->facets(),
                           [](ProcessSettings& settings, const std::filesystem::path&) {
                               settings.appInventoryTimeoutMs = 50;
                           });
    EXPECT_EQ(driver.request("system.runningApps")["error"], Json::parse(R"({"code":-32000,
                              "message":"macOS did not list the running apps within 0 seconds."})"));
    sim->reloadFromText(Json::parse(R"({"apps":[{"pid":1,"bundleId":"com.a"}]})").dump());
}

} // namespace
} // namespace dorvex::testing
