// Window listing end to end through the built driver, and window and read-target resolution
// in-process on the same simulated desktop.
#include "Dorvex/WindowAccess.h"
#include "platform/sim/SimDesktop.h"
#include "support/DriverProcess.h"

#include <gtest/gtest.h>

namespace dorvex {
namespace {

using testing::DriverOptions;
using testing::DriverProcess;

DriverOptions onScenario(const Json& scenario) {
    DriverOptions options;
    options.scenario = scenario.dump();
    return options;
}

Json bounds(double x, double y, double width, double height) {
    return Json{{"x", x}, {"y", y}, {"width", width}, {"height", height}};
}

Json window(int64_t number, int64_t ownerPid, const char* ownerName, const char* title, Json frame,
            bool onScreen) {
    return Json{{"number", number}, {"ownerPid", ownerPid}, {"ownerName", ownerName},
                {"title", title},   {"bounds", frame},      {"layer", 0},
                {"alpha", 1},       {"onScreen", onScreen}};
}

// Two TextEdit instances (501 frontmost, 502), an app whose accessibility windows carry no
// window numbers (600), an app without a bundle (700), and a window whose owner has exited
// (4242). Window server order, front to back:
//
//   13 sheet of 10 (501)   10 Doc 1 (501)   20 Other main (600)   11 minimized (501, off screen)
//   12 Doc 2 (502)   30 Leftover (4242)   (no number, 600)   50 bare row (600)   2 desktop (312)
Json desktopScenario() {
    Json textEdit{{"pid", 501},
                  {"bundleId", "com.apple.TextEdit"},
                  {"name", "TextEdit"},
                  {"launchDate", 1700000600},
                  {"active", true},
                  {"accessibility",
                   {{"windows",
                     {{{"role", "AXWindow"},
                       {"title", "Doc 1"},
                       {"windowNumber", 10},
                       {"children",
                        {{{"role", "AXButton"}, {"title", "OK"}},
                         {{"role", "AXSheet"}, {"title", "Save"}, {"windowNumber", 13}}}}},
                      {{"role", "AXWindow"}, {"title", "Minimized"}, {"windowNumber", 11}}}}}}};
    Json secondTextEdit{
        {"pid", 502},
        {"bundleId", "com.apple.TextEdit"},
        {"name", "TextEdit"},
        {"accessibility",
         {{"windows", {{{"role", "AXWindow"}, {"title", "Doc 2"}, {"windowNumber", 12}}}}}}};
    Json other{{"pid", 600},
               {"bundleId", "com.other.App"},
               {"name", "Other"},
               {"accessibility",
                {{"windows",
                  {{{"role", "AXWindow"},
                    {"title", "Other main"},
                    {"frame", bounds(50.5, 50, 640, 479)}}}}}}};
    Json helper{{"pid", 700}, {"name", "Helper"}};
    Json unnumbered{{"ownerPid", 600}, {"ownerName", "Other"}, {"onScreen", true}};
    Json bare{{"number", 50}, {"ownerPid", 600}, {"onScreen", true}};
    Json desktop = window(2, 312, "Finder", "", bounds(0, 0, 1440, 900), true);
    desktop["desktopElement"] = true;
    return Json{{"displays",
                 {{{"id", 1}, {"bounds", bounds(0, 0, 1440, 900)}, {"scale", 2}, {"main", true}}}},
                {"apps", {textEdit, secondTextEdit, other, helper}},
                {"windows",
                 {window(13, 501, "TextEdit", "Save", bounds(300, 150, 400, 200), true),
                  window(10, 501, "TextEdit", "Doc 1", bounds(200, 120, 800, 600), true),
                  window(20, 600, "Other", "Other main", bounds(50, 50, 640, 480), true),
                  window(11, 501, "TextEdit", "Minimized", bounds(0, 0, 500, 400), false),
                  window(12, 502, "TextEdit", "Doc 2", bounds(900, 100, 400, 300), true),
                  window(30, 4242, "Exited Helper", "Leftover", bounds(900, 500, 200, 100), true),
                  unnumbered, bare, desktop}}};
}

std::vector<Json> listedIds(const Json& answer) {
    std::vector<Json> ids;
    for (const Json& row : answer["result"]["windows"])
        ids.push_back(row["windowId"]);
    return ids;
}

TEST(ListWindows, EverySelectorCombination) {
    DriverProcess driver(onScenario(desktopScenario()));
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
    Json scenario = desktopScenario();
    Json mistyped = window(60, 600, "Other", "x", bounds(1, 2, 3, 4), true);
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
    Json scenario = desktopScenario();
    scenario["frontmostPid"] = nullptr;
    scenario["apps"][0]["active"] = false;
    DriverProcess driver(onScenario(scenario));
    const Json answer = driver.execute({{"actionType", "desktop_list_windows"}});
    EXPECT_EQ(listedIds(answer), (std::vector<Json>{13, 10, 20, 12, 30, nullptr, 50}));
    EXPECT_EQ(answer["result"]["frontmostPid"], nullptr);
    EXPECT_EQ(answer["summary"], "Found 7 windows.");
}

TEST(ListWindows, UnreadableListAndMalformedSelectorsFailClearly) {
    Json scenario = desktopScenario();
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

// Read-target resolution against the simulated desktop, in-process: the read actions that use
// it answer with exactly these envelopes.
class ReadTarget : public ::testing::Test {
protected:
    void load(const Json& scenario) {
        platform::sim::SimOptions options;
        options.scenarioText = scenario.dump();
        desktop_ = std::make_unique<platform::sim::SimDesktop>(std::move(options));
        ASSERT_EQ(desktop_->lastLoadError(), std::nullopt);
    }

    // {"app": pid}, {"window": [pid, id], "title": the window element's title}, or the failure.
    Json resolve(const char* actionText) {
        const AXReadResolution resolution =
            resolveAXReadTarget(*desktop_, "desktop_get_ui_tree", Json::parse(actionText));
        if (const Json* failure = resolution.failure()) return *failure;
        if (const auto* app = std::get_if<AXApplicationTarget>(resolution.target())) {
            return Json{{"app", app->pid}};
        }
        const auto& window = std::get<AXWindowTarget>(*resolution.target());
        platform::AXAttributeResult title = desktop_->copyAttributeValue(window.window, "AXTitle");
        return Json{{"window", {window.pid, window.windowId}},
                    {"title", title.value.string() ? Json(*title.value.string()) : Json()}};
    }

    std::unique_ptr<platform::sim::SimDesktop> desktop_;
};

std::string refusedWith(int64_t windowId, const std::string& reason) {
    return "Window " + std::to_string(windowId) +
           " could not be read (window_not_found): " + reason +
           ". Nothing was read from another app. " +
           "List windows again and retry with a current windowId.";
}

Json failure(const char* status, const char* code, const std::string& message, bool retryable) {
    return Json{{"ok", false},
                {"status", status},
                {"actionType", "desktop_get_ui_tree"},
                {"pathUsed", "ax"},
                {"error", {{"code", code}, {"message", message}, {"retryable", retryable}}}};
}

Json windowTarget(int32_t pid, int64_t windowId, const char* title) {
    return Json{{"window", {pid, windowId}}, {"title", title}};
}

TEST_F(ReadTarget, SelectorsResolveOrRefuseOnTheSimulatedDesktop) {
    load(desktopScenario());
    const Json notRunning =
        failure("semantic_unavailable", "app_not_running", "Target app is not running.", false);
    auto notFound = [](int64_t windowId, const char* reason) {
        return failure("semantic_unavailable", "window_not_found", refusedWith(windowId, reason),
                       true);
    };
    const char* const gone = "no such window exists; it may have closed";
    struct Case {
        const char* action;
        Json expected;
    } cases[] = {
        {R"({})", {{"app", 501}}},
        {R"({"appBundleId":"com.other.App"})", {{"app", 600}}},
        {R"({"appBundleId":"com.none"})", notRunning},
        {R"({"appPid":502,"appBundleId":"TextEdit"})", {{"app", 502}}},
        {R"({"appPid":600,"appBundleId":"com.apple.TextEdit"})",
         failure("invalid_params", "invalid_input",
                 "appPid 600 is com.other.App, not com.apple.TextEdit. Name one app, then retry.",
                 false)},
        {R"({"appPid":700})", {{"app", 700}}},
        {R"({"appPid":4242})", notRunning},
        {R"({"appPid":4294967296})", notRunning},
        {R"({"windowId":10})", windowTarget(501, 10, "Doc 1")},
        {R"({"windowId":13,"appBundleId":"com.apple.TextEdit"})", windowTarget(501, 13, "Save")},
        {R"({"windowId":11})", windowTarget(501, 11, "Minimized")},
        {R"({"windowId":20,"appPid":600})", windowTarget(600, 20, "Other main")},
        {R"({"windowId":12,"appBundleId":"com.apple.TextEdit"})", windowTarget(502, 12, "Doc 2")},
        {R"({"windowId":12,"appPid":501})",
         notFound(12, "it belongs to process 502, not appPid 501")},
        {R"({"windowId":10,"appPid":501,"appBundleId":"com.other.App"})",
         notFound(10, "it belongs to com.apple.TextEdit, not com.other.App")},
        {R"({"windowId":30,"appPid":4242})",
         notFound(30, "its app exposes no accessibility windows")},
        {R"({"windowId":30,"appBundleId":"EXITED HELPER"})",
         notFound(30, "its app exposes no accessibility windows")},
        {R"({"windowId":30,"appBundleId":"com.helper"})",
         notFound(30, "it belongs to Exited Helper, not com.helper")},
        {R"({"windowId":50})", notFound(50, "the Window Server no longer lists it")},
        {R"({"windowId":2})", notFound(2, "its app exposes no accessibility windows")},
        {R"({"windowId":0})", notFound(0, gone)},
        {R"({"windowId":-1})", notFound(-1, gone)},
        {R"({"windowId":4294967296})", notFound(4294967296, gone)},
        {R"({"windowId":4294967306})", notFound(4294967306, gone)},
        {R"({"windowId":"abc"})",
         failure("invalid_params", "invalid_input",
                 "windowId must be a whole number. List windows and retry with a windowId from "
                 "the list.",
                 false)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(resolve(c.action), c.expected) << c.action;
}

TEST_F(ReadTarget, WithoutWindowNumbersOnlyUniqueOnScreenFramesMatch) {
    Json scenario = desktopScenario();
    scenario["hasWindowNumberFunction"] = false;
    // A second window of 600 stacked exactly on "Other main".
    scenario["windows"].push_back(window(21, 600, "Other", "Twin", bounds(50, 50, 640, 480), true));
    scenario["apps"][2]["accessibility"]["windows"].push_back(
        {{"role", "AXWindow"}, {"title", "Twin"}, {"frame", bounds(50, 50, 640, 480)}});
    load(scenario);
    auto notFound = [](int64_t windowId, const char* reason) {
        return failure("semantic_unavailable", "window_not_found", refusedWith(windowId, reason),
                       true);
    };
    struct Case {
        const char* action;
        Json expected;
    } cases[] = {
        {R"({"windowId":10})", windowTarget(501, 10, "Doc 1")},
        {R"({"windowId":13})", windowTarget(501, 13, "Save")},
        {R"({"windowId":12})", windowTarget(502, 12, "Doc 2")},
        {R"({"windowId":11})",
         notFound(11, "it is not on screen (minimized, hidden or on another Space) and its "
                      "accessibility window could not be identified; restore it or switch to "
                      "its Space first")},
        {R"({"windowId":20})", notFound(20, "another window of its app has the same frame")},
        {R"({"windowId":21})", notFound(21, "another window of its app has the same frame")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(resolve(c.action), c.expected) << c.action;
}

TEST_F(ReadTarget, WindowIdsOfTopLevelWindows) {
    load(desktopScenario());
    platform::Element textEdit = desktop_->createApplicationElement(501);
    EXPECT_EQ(axWindowIds(*desktop_, 501, axWindows(*desktop_, textEdit)),
              (std::vector<std::optional<int64_t>>{10, 11}));
    platform::Element other = desktop_->createApplicationElement(600);
    EXPECT_EQ(axWindowIds(*desktop_, 600, axWindows(*desktop_, other)),
              (std::vector<std::optional<int64_t>>{20}));
    EXPECT_EQ(axWindowsAndSheets(*desktop_, textEdit).size(), 3u);
}

} // namespace
} // namespace dorvex
