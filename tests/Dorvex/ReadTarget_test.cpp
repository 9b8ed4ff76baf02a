// Read-target resolution against the simulated desktop, in-process: the read actions that use
// it answer with exactly these envelopes.
#include "Dorvex/Actions.h"
#include "Dorvex/WindowAccess.h"
#include "platform/sim/SimDesktop.h"
#include "support/Scenarios.h"

#include <gtest/gtest.h>
#include <memory>

namespace dorvex {
namespace {

using testing::rect;
using testing::titledWindow;
using testing::windowTargetingDesktop;

class ReadTarget : public ::testing::Test {
protected:
    void load(const Json& scenario) {
        platform::sim::SimOptions options;
        options.scenarioText = scenario.dump();
        desktop_ = std::make_unique<platform::sim::SimDesktop>(std::move(options));
        ASSERT_EQ(desktop_->lastLoadError(), std::nullopt);
    }

    // {"app": pid}, {"window": [pid, id], "title": the window element's title}, or the failure
    // envelope "desktop_get_ui_tree" answers with.
    Json resolve(const char* actionText) {
        platform::Platform facets = desktop_->facets();
        const AXReadResolution resolution = resolveAXReadTarget(facets, Json::parse(actionText));
        if (const Failure* failure = resolution.failure()) {
            return actionContext("desktop_get_ui_tree").failure(*failure);
        }
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
    load(windowTargetingDesktop());
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
    Json scenario = windowTargetingDesktop();
    scenario["hasWindowNumberFunction"] = false;
    // A second window of 600 stacked exactly on "Other main".
    scenario["windows"].push_back(
        titledWindow(21, 600, "Other", "Twin", rect(50, 50, 640, 480), true));
    scenario["apps"][2]["accessibility"]["windows"].push_back(
        {{"role", "AXWindow"}, {"title", "Twin"}, {"frame", rect(50, 50, 640, 480)}});
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
    load(windowTargetingDesktop());
    platform::Element textEdit = desktop_->createApplicationElement(501);
    platform::Platform facets = desktop_->facets();
    EXPECT_EQ(axWindowIds(facets, 501, axWindows(*desktop_, textEdit)),
              (std::vector<std::optional<int64_t>>{10, 11}));
    platform::Element other = desktop_->createApplicationElement(600);
    EXPECT_EQ(axWindowIds(facets, 600, axWindows(*desktop_, other)),
              (std::vector<std::optional<int64_t>>{20}));
    EXPECT_EQ(axWindowsAndSheets(*desktop_, textEdit).size(), 3u);
}

} // namespace
} // namespace dorvex
