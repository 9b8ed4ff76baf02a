// Window listing end to end through the built driver on the window-targeting desktop.
#include "support/DriverProcess.h"
#include "support/Scenarios.h"

#include <gtest/gtest.h>

namespace dorvex::testing {
namespace {

DriverOptions onScenario(const Json& scenario) {
    DriverOptions options;
    options.scenario = scenario.dump();
    return options;
}

std::vector<Json> listedIds(const Json& answer) {
    std::vector<Json> ids;
    for (const Json& row : answer["result"]["windows"])
        ids.push_back(row["windowId"]);
    return ids;
}

TEST(ListWindows, EverySelectorCombination) {
    DriverProcess driver(onScenario(windowTargetingDesktop()));
    const Json none = nullptr;
    struct Case {
        const char* action;
        std::vector<Json> expected;
    } cases[] = {
        {R"({})", {13, 10}},
        {R"({"windowId":null,"appPid":null})", {13, 10}},
        {R"({"appPid":600})", {20, none, 50}},
        {R"({"appPid":"600"})", {20, none, 50}},
        {R"({"appPid":600,"windowId":20})", {20}},
        {R"({"appPid":600,"windowId":10})", {}},
        {R"({"appPid":600,"appBundleId":"com.apple.TextEdit"})", {20, none, 50}},
        {R"({"appPid":600,"appBundleId":"com.apple.TextEdit","windowId":50})", {50}},
        {R"({"appPid":4242})", {30}},
        {R"({"appPid":0})", {}},
        {R"({"appPid":-1})", {}},
        {R"({"appPid":4294967296})", {13, 10}},
        {R"({"appPid":4294967797})", {13, 10}},
        {R"({"appPid":1e300})", {13, 10}},
        {R"({"appPid":4294967296,"windowId":20})", {20}},
        {R"({"windowId":12})", {12}},
        {R"({"windowId":"12"})", {12}},
        {R"({"windowId":12.0})", {12}},
        {R"({"windowId":12,"appBundleId":"com.other.App"})", {12}},
        {R"({"windowId":11})", {}},
        {R"({"windowId":2})", {}},
        {R"({"windowId":0})", {}},
        {R"({"windowId":-1})", {}},
        {R"({"windowId":4294967296})", {}},
        {R"({"windowId":4294967306})", {}},
        {R"({"windowId":9223372036854775807})", {}},
        {R"({"windowId":18446744073709551615})", {}},
        {R"({"windowId":1e300})", {}},
        {R"({"windowId":-1e300})", {}},
        {R"({"appBundleId":"com.apple.TextEdit"})", {13, 10, 12}},
        {R"({"appBundleId":" com.apple.TextEdit\n"})", {13, 10, 12}},
        {R"({"appBundleId":"com.apple.textedit"})", {}},
        {R"({"appBundleId":"com.none"})", {}},
        {R"({"appBundleId":"   "})", {13, 10}},
        {R"({"appBundleId":42})", {13, 10}},
    };
    for (const Case& c : cases) {
        Json action = Json::parse(c.action);
        action["actionType"] = "desktop_list_windows";
        const Json answer = driver.execute(action);
        ASSERT_EQ(answer["ok"], true) << c.action << " " << answer.dump();
        EXPECT_EQ(listedIds(answer), c.expected) << c.action;
        EXPECT_EQ(answer["summary"], "Found " + std::to_string(c.expected.size()) + " windows.")
            << c.action;
        EXPECT_EQ(answer["result"]["frontmostPid"], 501) << c.action;
    }
}

TEST(ListWindows, RowsPassTheWindowServerValuesThrough) {
    Json scenario = windowTargetingDesktop();
    Json mistyped = titledWindow(60, 600, "Other", "x", rect(1, 2, 3, 4), true);
    mistyped["rawKeys"] = {{"kCGWindowName", 7},
                           {"kCGWindowLayer", "top"},
                           {"kCGWindowBounds", "1,2,3,4"},
                           {"kCGWindowOwnerName", {"Other"}}};
    scenario["windows"].push_back(mistyped);
    DriverProcess driver(onScenario(scenario));
    const Json answer = driver.execute({{"actionType", " desktop_list_windows "}, {"appPid", 600}});
    EXPECT_EQ(answer, Json::parse(R"({"ok":true,"status":"ok","actionType":"desktop_list_windows",
        "pathUsed":"ax","summary":"Found 4 windows.","result":{"windows":[
        {"windowId":20,"ownerPid":600,"ownerName":"Other","title":"Other main","layer":0,
         "bounds":{"X":50.0,"Y":50.0,"Width":640.0,"Height":480.0}},
        {"windowId":null,"ownerPid":600,"ownerName":"Other","title":null,"layer":null,
         "bounds":{}},
        {"windowId":50,"ownerPid":600,"ownerName":null,"title":null,"layer":null,"bounds":{}},
        {"windowId":60,"ownerPid":600,"ownerName":null,"title":null,"layer":null,"bounds":{}}],
        "frontmostPid":501}})"));
}

TEST(ListWindows, WithoutAFrontmostAppEveryOnScreenWindowIsListed) {
    Json scenario = windowTargetingDesktop();
    scenario["frontmostPid"] = nullptr;
    scenario["apps"][0]["active"] = false;
    DriverProcess driver(onScenario(scenario));
    const Json answer = driver.execute({{"actionType", "desktop_list_windows"}});
    EXPECT_EQ(listedIds(answer), (std::vector<Json>{13, 10, 20, 12, 30, nullptr, 50}));
    EXPECT_EQ(answer["result"]["frontmostPid"], nullptr);
    EXPECT_EQ(answer["summary"], "Found 7 windows.");
}

TEST(ListWindows, UnreadableListAndMalformedSelectorsFailClearly) {
    Json scenario = windowTargetingDesktop();
    scenario["faults"] = {{"windowList", {17}}};
    DriverProcess driver(onScenario(scenario));
    EXPECT_EQ(driver.execute({{"actionType", "desktop_list_windows"}, {"windowId", 10}}),
              Json::parse(R"({"ok":false,"status":"execution_failed",
                  "actionType":"desktop_list_windows","pathUsed":"ax","error":{
                  "code":"windows_query_failed","message":"Unable to query window list.",
                  "retryable":false}})"));

    const char* const malformed[] = {
        R"({"windowId":12.5})", R"({"windowId":"abc"})",
        R"({"windowId":true})", R"({"windowId":{}})",
        R"({"windowId":[12]})", R"({"windowId":"1e3"})",
        R"({"appPid":"501 "})", R"({"appPid":501.5,"windowId":10})",
    };
    for (const char* text : malformed) {
        Json action = Json::parse(text);
        action["actionType"] = "desktop_list_windows";
        const Json answer = driver.execute(action);
        EXPECT_EQ(answer["ok"], false) << text;
        EXPECT_EQ(answer["status"], "invalid_params") << text;
        EXPECT_EQ(answer["error"]["code"], "invalid_input") << text;
        EXPECT_EQ(answer["error"]["retryable"], false) << text;
    }
    // The driver is still there and answers the next request.
    EXPECT_EQ(driver.request("system.ping")["result"]["ok"], true);
}

} // namespace
} // namespace dorvex::testing
