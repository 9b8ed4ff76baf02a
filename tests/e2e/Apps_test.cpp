// App listing end to end: the built driver on simulated desktops whose running-app read is
// quick, slow, or never returns until the scenario changes. Wall times are asserted loosely:
// only that a bounded wait was waited for and then given up on.
#include "support/DriverProcess.h"

#include <chrono>
#include <gtest/gtest.h>

namespace dorvex::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const Json listApps = {{"actionType", "desktop_list_apps"}};

Json scenarioWith(Json apps, Json faults = Json::object()) {
    return Json{{"displays",
                 {{{"id", 1},
                   {"bounds", {{"x", 0}, {"y", 0}, {"width", 1440}, {"height", 900}}},
                   {"main", true}}}},
                {"apps", std::move(apps)},
                {"faults", std::move(faults)}};
}

Json someApps() {
    return Json::parse(R"([
        {"pid":501,"bundleId":"com.apple.TextEdit","name":"TextEdit","active":true},
        {"pid":502,"bundleId":"com.example.Unnamed","hidden":true},
        {"pid":700,"name":"Helper without a bundle"}])");
}

DriverOptions onScenario(const Json& scenario, int64_t timeoutMs) {
    DriverOptions options;
    options.scenario = scenario.dump();
    options.env = {{"DORVEX_APP_INVENTORY_TIMEOUT_MS", std::to_string(timeoutMs)}};
    return options;
}

Json timeoutFailure(const std::string& message) {
    return Json{
        {"ok", false},
        {"status", "timeout"},
        {"actionType", "desktop_list_apps"},
        {"pathUsed", "ax"},
        {"error", {{"code", "app_inventory_timeout"}, {"message", message}, {"retryable", true}}}};
}

const std::string busy = "macOS has not finished listing the running apps for an earlier request.";

// The answer and how long it took.
std::pair<Json, Clock::duration> timed(DriverProcess& driver) {
    const auto start = Clock::now();
    Json answer = driver.execute(listApps);
    return {answer, Clock::now() - start};
}

TEST(ListApps, ListsAppsWithBundleIdentifiers) {
    DriverProcess driver(onScenario(scenarioWith(someApps()), 5000));
    EXPECT_EQ(driver.execute(listApps), Json::parse(R"({"ok":true,"status":"ok",
        "actionType":"desktop_list_apps","pathUsed":"ax","summary":"Found 2 running apps.",
        "result":{"apps":[
        {"name":"TextEdit","bundleId":"com.apple.TextEdit","pid":501,"isActive":true,
         "isHidden":false},
        {"name":null,"bundleId":"com.example.Unnamed","pid":502,"isActive":false,
         "isHidden":true}]}})"));
}

TEST(ListApps, SlowReadTimesOutInWholeSecondsThenIsBusy) {
    DriverProcess driver(
        onScenario(scenarioWith(someApps(), {{"runningAppsDelayMs", 4000}}), 1100));
    auto [first, took] = timed(driver);
    EXPECT_EQ(first, timeoutFailure("macOS did not list the running apps within 1 seconds."));
    EXPECT_GE(took, 1000ms);
    EXPECT_LT(took, 3500ms);
    EXPECT_EQ(driver.execute(listApps), timeoutFailure(busy));
    // A read still out does not keep the driver from ending at end of input.
    driver.closeInput();
    EXPECT_EQ(driver.waitExit(5s), 0);
}

TEST(ListApps, HangingReadIsBusyThriceThenStuckWithABoundedWaitThenRecovers) {
    const int64_t timeoutMs = 200;
    DriverProcess driver(
        onScenario(scenarioWith(someApps(), {{"runningAppsHang", true}}), timeoutMs));
    const Json timedOut = timeoutFailure("macOS did not list the running apps within 0 seconds.");

    auto [first, firstTook] = timed(driver);
    EXPECT_EQ(first, timedOut);
    EXPECT_GE(firstTook, 150ms);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(driver.execute(listApps), timeoutFailure(busy)) << i;

    // Stuck: the earlier read is waited for, but only for one more time-out.
    for (int i = 0; i < 2; ++i) {
        auto [stuck, took] = timed(driver);
        EXPECT_EQ(stuck, timedOut) << i;
        EXPECT_GE(took, 150ms) << i;
        EXPECT_LT(took, 2000ms) << i;
    }
    EXPECT_EQ(driver.request("system.ping")["result"]["ok"], true) << "the loop is not held";

    // The desktop changes: the hanging read returns, and the next caller gets a fresh list.
    driver.setScenario(
        scenarioWith(Json::parse(R"([{"pid":900,"bundleId":"com.example.New","name":"New"}])"))
            .dump());
    auto [recovered, took] = timed(driver);
    EXPECT_EQ(recovered["ok"], true) << recovered.dump();
    EXPECT_EQ(recovered["summary"], "Found 1 running apps.");
    EXPECT_EQ(recovered["result"]["apps"][0]["bundleId"], "com.example.New");
    EXPECT_LT(took, 2000ms);
    EXPECT_EQ(driver.execute(listApps)["ok"], true) << "and the read after it starts afresh";
}

TEST(ListApps, HangingReadDoesNotKeepTheDriverFromExiting) {
    DriverProcess driver(onScenario(scenarioWith(someApps(), {{"runningAppsHang", true}}), 100));
    EXPECT_EQ(driver.execute(listApps)["error"]["code"], "app_inventory_timeout");
    driver.closeInput();
    EXPECT_EQ(driver.waitExit(5s), 0);
}

} // namespace
} // namespace dorvex::testing
