// Permissions and applications end to end: the built driver, whose fresh screen-capture probe
// is the driver binary itself, started again with the probe argument.
#include "support/DriverProcess.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace dorvex::testing {
namespace {

using namespace std::chrono_literals;

const Json screenCaptureTarget = {{"targets", {{{"kind", "screen_capture"}}}}};

Json screenCaptureItem(DriverProcess& driver, const char* grantProbe) {
    Json params = screenCaptureTarget;
    if (grantProbe) params["grantProbe"] = grantProbe;
    return driver.request("permissions.status", params)["result"]["items"][0];
}

TEST(PermissionsEndToEnd, AGrantGivenWhileRunningNeedsARestartTheProbeFinds) {
    DriverProcess driver(onDesktop(R"({"permissions":{"screenCapture":false}})"));
    EXPECT_EQ(screenCaptureItem(driver, "now")["status"], "not_granted"); // the probe says no too
    driver.setScenario(R"({"permissions":{"screenCapture":{"granted":true,"needsRestart":true}}})");
    EXPECT_EQ(screenCaptureItem(driver, nullptr),
              Json::parse(R"({"kind":"screen_capture","scope":"desktop:global",
                              "status":"not_granted"})"));
    EXPECT_EQ(screenCaptureItem(driver, "throttled")["status"], "not_granted"); // probed just now
    EXPECT_EQ(screenCaptureItem(driver, "now"),
              Json::parse(R"({"kind":"screen_capture","scope":"desktop:global",
                              "status":"needs_restart","restart":"driver"})"));
    EXPECT_EQ(driver.standardError(), "");
    driver.closeInput();
    EXPECT_EQ(driver.waitExit(10s), 0);

    DriverProcess restarted(
        onDesktop(R"({"permissions":{"screenCapture":{"granted":true,"needsRestart":true}}})"));
    EXPECT_EQ(screenCaptureItem(restarted, "now")["status"], "granted");
}

TEST(PermissionsEndToEnd, EveryMethodOfTheExampleSessionAnswers) {
    std::ifstream file(std::string(DORVEX_SOURCE_DIR) + "/examples/session.jsonl");
    std::vector<Json> requests;
    for (std::string line; std::getline(file, line);) {
        if (!line.empty()) requests.push_back(Json::parse(line));
    }
    DriverProcess driver;
    for (const Json& request : requests) {
        if (request["method"] == "no.such.method") continue;
        // A script run answers once it ends; every other method at once.
        Json answer = driver.request(request["method"], request.value("params", Json::object()));
        EXPECT_TRUE(answer.contains("result")) << request.dump() << " -> " << answer.dump();
    }
}

TEST(PermissionsEndToEnd, DefaultDesktopShowsRealAnswers) {
    DriverProcess driver;
    Json info = driver.request("system.automationTargetInfo", {{"bundleId", "com.apple.TextEdit"}});
    EXPECT_EQ(info["result"]["scriptability"], "scriptable");
    EXPECT_EQ(info["result"]["pid"], 501);
    EXPECT_EQ(driver.request("system.automationTargetInfo",
                             {{"bundleId", "com.apple.calculator"}})["result"]["scriptability"],
              "not_scriptable");
    Json asked =
        driver.request("system.requestAutomationPermission", {{"bundleId", "com.apple.TextEdit"}});
    EXPECT_EQ(asked["result"]["priorStatus"], "not_granted");
    EXPECT_EQ(asked["result"]["currentStatus"], "granted");
    Json apps = driver.request("system.runningApps")["result"]["apps"];
    ASSERT_EQ(apps.size(), 2u);
    EXPECT_EQ(apps[0], Json::parse(R"({"bundleId":"com.apple.finder","label":"Finder",
                                       "isActive":false,"scriptability":"scriptable"})"));
    EXPECT_EQ(apps[1]["isActive"], true);
    Json launched = driver.request("app.launch", {{"bundleId", "com.apple.calculator"}});
    EXPECT_EQ(launched["result"], Json::parse(R"({"ok":true,"bundleId":"com.apple.calculator",
                                                  "pid":1000,"activated":true})"));
    EXPECT_EQ(driver.request("system.appState",
                             {{"bundleId", "com.apple.calculator"}})["result"]["running"],
              true);
    const std::vector<Json> events = driver.eventLog();
    ASSERT_FALSE(events.empty());
    bool launchLogged = false;
    for (const Json& event : events)
        launchLogged = launchLogged || (event["event"] == "launch" && event["pid"] == 1000);
    EXPECT_TRUE(launchLogged);
}

} // namespace
} // namespace dorvex::testing
