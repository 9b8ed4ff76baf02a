// "desktop_send_input" in-process on the simulated desktop, with a fake clock and sleeper: every
// failure of its table with nothing posted, and what each mode posts when it may.
#include "DorvexCore/KeySpec.h"
#include "platform/sim/DefaultScenario.h"
#include "platform/sim/SimDesktop.h"
#include "support/Envelope.h"
#include "support/InProcessDriver.h"
#include "support/Scenarios.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <memory>

namespace dorvex {
namespace {

using testing::FailsWith;
using testing::InProcessDriver;
using testing::SucceedsAs;

constexpr const char* sendInput = "desktop_send_input";
constexpr uint64_t cmdShift = KeySpec::maskCommand | KeySpec::maskShift;

Json defaultDesktop() {
    return Json::parse(platform::sim::defaultScenarioText());
}

Json action(Json fields) {
    Json request{{"actionType", sendInput}};
    request.update(fields);
    return request;
}

Json failure(const std::string& status, const std::string& code, const std::string& message,
             bool retryable) {
    return Json{{"ok", false},
                {"status", status},
                {"actionType", sendInput},
                {"pathUsed", "cgevent"},
                {"error", {{"code", code}, {"message", message}, {"retryable", retryable}}}};
}

// The default desktop (TextEdit 501 frontmost, window 217 at (200, 120, 800, 600), its name
// field focused) or another scenario, under a driver whose clock moves only when it sleeps.
class SendInput : public ::testing::Test {
protected:
    explicit SendInput(const Json& scenario = defaultDesktop()) {
        platform::sim::SimOptions options;
        options.scenarioText = scenario.dump();
        desktop = std::make_unique<platform::sim::SimDesktop>(options);
        EXPECT_EQ(desktop->lastLoadError(), std::nullopt);
        driver = std::make_unique<InProcessDriver>(desktop->facets());
        driver->driver().uptime = [this] { return clock; };
        driver->driver().sleep = [this](double seconds) { clock += seconds; };
    }
    void load(const Json& scenario) { ASSERT_TRUE(desktop->reloadFromText(scenario.dump())); }
    Json send(Json fields) { return driver->execute(action(std::move(fields))); }
    std::vector<Json> posted(const std::string& kind) {
        std::vector<Json> found;
        for (const Json& event : desktop->events()) {
            if (event["event"] == kind) found.push_back(event);
        }
        return found;
    }
    int calls(const std::string& name) { return desktop->stats()["calls"].value(name, 0); }
    std::optional<std::string> nameField() {
        platform::Element app = desktop->createApplicationElement(501);
        platform::AXAttributeResult focused =
            desktop->copyAttributeValue(app, "AXFocusedUIElement");
        if (!focused.value.element()) return std::nullopt;
        platform::AXAttributeResult value =
            desktop->copyAttributeValue(*focused.value.element(), "AXValue");
        return value.value.string() ? std::optional<std::string>(*value.value.string())
                                    : std::nullopt;
    }

    double clock = 100;
    std::unique_ptr<platform::sim::SimDesktop> desktop;
    std::unique_ptr<InProcessDriver> driver;
};

TEST_F(SendInput, EachFailureOfTheTableLeavesTheDesktopUntouched) {
    const std::string staleMessage = "Window resized or point outside window; capture again.";
    const Json stale = failure("invalid_params", "stale_screenshot", staleMessage, false);
    const Json noKey =
        failure("invalid_params", "invalid_key", "key is required for keystroke mode.", false);
    const Json noText =
        failure("invalid_params", "invalid_text", "text is required for text mode.", false);
    const Json noPoint = failure("invalid_params", "invalid_coordinates",
                                 "x and y are required for mouse_click mode.", false);
    const Json blocked = failure("execution_failed", "policy_blocked",
                                 "Guarded fallback policy blocked this shortcut.", false);
    const Json otherApp = failure(
        "execution_failed", "target_missing",
        "Keyboard input refused (target_missing): another app came to the front before the keys "
        "were sent. Nothing was typed. Bring the target window's app to the front, then list "
        "windows and retry.",
        false);
    const Json malformedPid = failure("invalid_params", "invalid_input",
                                      "expectedFrontmostPid must be a whole number. Nothing was "
                                      "typed; retry with the pid of the app that must be in front.",
                                      false);
    const Json offDisplay = failure(
        "execution_failed", "point_off_display",
        "The click point is outside every display (for example, on a part of the window that is "
        "off screen), so nothing was clicked. Retrying cannot reach it: click a visible part of "
        "the window, or move the window fully on screen, then capture again.",
        false);
    const Json window{{"mode", "mouse_click"}, {"coordinateSpace", "window"}, {"windowId", 217}};
    auto inWindow = [&](Json fields) {
        Json merged = window;
        merged.update(fields);
        return merged;
    };
    struct Case {
        const char* name;
        Json fields;
        Json answer;
    } cases[] = {
        {"no mode", Json::object(),
         failure("invalid_params", "invalid_input", "mode is required.", false)},
        {"a number as mode",
         {{"mode", 5}},
         failure("invalid_params", "invalid_input", "mode is required.", false)},
        {"mode in another case",
         {{"mode", "Keystroke"}},
         failure("invalid_params", "invalid_mode", "Unsupported input mode Keystroke.", false)},
        {"no key", {{"mode", "keystroke"}}, noKey},
        {"a key of spaces", {{"mode", "keystroke"}, {"key", "   "}}, noKey},
        {"a number as key", {{"mode", "keystroke"}, {"key", 12}}, noKey},
        {"blocked before the frontmost check",
         {{"mode", "keystroke"}, {"key", "Cmd+Q"}, {"expectedFrontmostPid", 1}},
         blocked},
        {"blocked in another spelling", {{"mode", "keystroke"}, {"key", "shift+cmd+q"}}, blocked},
        {"an unknown key, named as parsed",
         {{"mode", "keystroke"}, {"key", "cmd+F5"}},
         failure("execution_failed", "unsupported_key", "Unsupported key f5.", false)},
        {"a key that is only modifiers",
         {{"mode", "keystroke"}, {"key", "cmd++"}},
         failure("execution_failed", "unsupported_key", "Unsupported key cmd++.", false)},
        {"another app in front",
         {{"mode", "keystroke"}, {"key", "a"}, {"expectedFrontmostPid", 502}},
         otherApp},
        {"an expected pid beyond 32 bits",
         {{"mode", "keystroke"}, {"key", "a"}, {"expectedFrontmostPid", 4294967296LL + 501}},
         otherApp},
        {"an expected pid that is no number",
         {{"mode", "keystroke"}, {"key", "a"}, {"expectedFrontmostPid", "501 "}},
         malformedPid},
        {"an expected pid that is an object",
         {{"mode", "text"}, {"text", "a"}, {"expectedFrontmostPid", Json::object()}},
         malformedPid},
        {"no text", {{"mode", "text"}}, noText},
        {"empty text", {{"mode", "text"}, {"text", ""}}, noText},
        {"a number as text", {{"mode", "text"}, {"text", 42}}, noText},
        {"a list as text", {{"mode", "text"}, {"text", {"a"}}}, noText},
        {"text for another app",
         {{"mode", "text"}, {"text", "x"}, {"expectedFrontmostPid", "7"}},
         otherApp},
        {"no y", {{"mode", "mouse_click"}, {"x", 10}}, noPoint},
        {"a NaN-like x", {{"mode", "mouse_click"}, {"x", "NaN"}, {"y", 10}}, noPoint},
        {"a fraction in a string", {{"mode", "mouse_click"}, {"x", "12.5"}, {"y", 10}}, noPoint},
        {"an object as y", {{"mode", "mouse_click"}, {"x", 1}, {"y", Json::object()}}, noPoint},
        {"left of every display", {{"mode", "mouse_click"}, {"x", -5}, {"y", 10}}, offDisplay},
        {"at the display's right edge",
         {{"mode", "mouse_click"}, {"x", 1440}, {"y", 10}},
         offDisplay},
        {"a huge x", {{"mode", "mouse_click"}, {"x", 1e300}, {"y", 10}}, offDisplay},
        {"window space without a window",
         {{"mode", "mouse_click"}, {"coordinateSpace", "window"}, {"x", 1}, {"y", 1}},
         stale},
        {"a window id beyond 32 bits",
         inWindow({{"windowId", 4294967296LL + 217}, {"x", 1}, {"y", 1}}), stale},
        {"a negative window id", inWindow({{"windowId", -1}, {"x", 1}, {"y", 1}}), stale},
        {"an unknown window", inWindow({{"windowId", 999}, {"x", 1}, {"y", 1}}), stale},
        {"x at the window's width", inWindow({{"x", 800}, {"y", 1}}), stale},
        {"y at the window's height", inWindow({{"x", 1}, {"y", 600}}), stale},
        {"a negative x", inWindow({{"x", -1}, {"y", 1}}), stale},
        {"a huge y", inWindow({{"x", 1}, {"y", 9e18}}), stale},
        {"a resized window",
         inWindow(
             {{"x", 1}, {"y", 1}, {"screenshotWindowWidth", 801}, {"screenshotWindowHeight", 600}}),
         stale},
        {"width given, height missing",
         inWindow({{"x", 1}, {"y", 1}, {"screenshotWindowWidth", 800}}), stale},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(send(c.fields), c.answer);
    }
    EXPECT_EQ(calls("postEvent"), 0);
    EXPECT_EQ(calls("createMouseEvent"), 0) << "no click got as far as preparing events";
    EXPECT_TRUE(desktop->events().empty());
    EXPECT_EQ(nameField(), "Ada Lovelace");
    EXPECT_EQ(driver->request("system.ping")["result"]["ok"], true);
}

TEST_F(SendInput, AKeystrokePostsItsCodeWithExactlyItsModifiers) {
    Json answer =
        send({{"mode", "keystroke"}, {"key", " cmd+shift+t "}, {"expectedFrontmostPid", 501}});
    EXPECT_THAT(answer, SucceedsAs(sendInput));
    EXPECT_EQ(answer["summary"], "Keystroke posted.");
    EXPECT_EQ(answer["result"], (Json{{"key", "cmd+shift+t"}}));
    std::vector<Json> keys = posted("key");
    ASSERT_EQ(keys.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(keys[i]["keyCode"], 17);
        EXPECT_EQ(keys[i]["down"], i == 0);
        EXPECT_EQ(keys[i]["flags"], cmdShift);
    }
    // Odd case and repeated modifiers; no modifiers still sets the flags, to none.
    EXPECT_EQ(send({{"mode", "keystroke"}, {"key", "SHIFT+shift+Cmd+K"}})["result"]["key"],
              "SHIFT+shift+Cmd+K");
    EXPECT_EQ(posted("key")[2]["keyCode"], 40);
    EXPECT_EQ(posted("key")[2]["flags"], cmdShift);
    EXPECT_THAT(send({{"mode", "keystroke"}, {"key", "Return"}}), SucceedsAs(sendInput));
    EXPECT_EQ(posted("key")[4]["keyCode"], 36);
    EXPECT_EQ(posted("key")[4]["flags"], 0);
    EXPECT_EQ(calls("setEventFlags"), 6);
    // Typed keys reach the focused field of the frontmost app.
    EXPECT_THAT(send({{"mode", "keystroke"}, {"key", "shift+1"}}), SucceedsAs(sendInput));
    EXPECT_EQ(nameField(), "Ada Lovelace!");
}

TEST_F(SendInput, TextIsTypedWholeAndCountedInCharacters) {
    const std::string megabyte(1 << 20, 'x');
    struct Case {
        const char* name;
        std::string text;
        size_t length;
    } cases[] = {
        {"one space", " ", 1},
        {"two emoji", "\U0001F600\U0001F44D\U0001F3FD", 2},
        {"a combining accent", "e\u0301", 1},
        {"a flag and a family", "\U0001F1EB\U0001F1F7\U0001F468\u200D\U0001F469\u200D\U0001F467",
         2},
        {"a megabyte", megabyte, megabyte.size()},
    };
    std::string typed = "Ada Lovelace";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t before = desktop->events().size();
        Json answer = send({{"mode", "text"}, {"text", c.text}, {"expectedFrontmostPid", 501}});
        EXPECT_THAT(answer, SucceedsAs(sendInput));
        EXPECT_EQ(answer["summary"], "Text input posted.");
        EXPECT_EQ(answer["result"], (Json{{"textLength", c.length}}));
        std::vector<Json> events = desktop->events();
        ASSERT_EQ(events.size(), before + 2) << "one key-down and one key-up";
        EXPECT_EQ(events[before]["text"], c.text);
        EXPECT_EQ(events[before]["keyCode"], 0);
        typed += c.text;
    }
    EXPECT_EQ(nameField(), typed);
}

TEST_F(SendInput, AClickIsPressedWhereThePointerArrived) {
    // Screen space: the point as given, no window read.
    Json answer = send({{"mode", "mouse_click"}, {"x", 930}, {"y", 684}});
    EXPECT_THAT(answer, SucceedsAs(sendInput));
    EXPECT_EQ(answer["summary"], "Mouse click posted.");
    EXPECT_EQ(answer["result"], (Json{{"x", 930}, {"y", 684}, {"button", "left"}}));
    EXPECT_EQ(calls("copyWindowInfo"), 0);
    std::vector<Json> mouse = posted("mouse");
    ASSERT_EQ(mouse.size(), 3u);
    EXPECT_EQ(mouse[0]["type"], "mouseMoved");
    EXPECT_EQ(mouse[1]["type"], "leftMouseDown");
    EXPECT_EQ(mouse[2]["type"], "leftMouseUp");
    EXPECT_EQ(mouse[2]["x"], 930.0);
    ASSERT_EQ(posted("action").size(), 1u) << "the OK button was pressed";
    EXPECT_NEAR(clock - 100, 0.02, 1e-9) << "the pointer was there after the settle pause";

    // Window space: relative to the window's current place, reported as given.
    answer = send({{"mode", "mouse_click"},
                   {"coordinateSpace", "window"},
                   {"windowId", 217},
                   {"x", 50.9},
                   {"y", "70"},
                   {"screenshotWindowWidth", 800},
                   {"screenshotWindowHeight", 600}});
    EXPECT_EQ(answer["result"], (Json{{"x", 50}, {"y", 70}, {"button", "left"}}));
    EXPECT_EQ(posted("mouse")[3]["x"], 250.0);
    EXPECT_EQ(posted("mouse")[3]["y"], 190.0);
    for (Json edge :
         {Json{{"x", 799}, {"y", 599}}, Json{{"x", 0}, {"y", 0}, {"screenshotWindowHeight", 1}}}) {
        edge.update({{"mode", "mouse_click"}, {"coordinateSpace", "window"}, {"windowId", 217}});
        EXPECT_THAT(send(edge), SucceedsAs(sendInput)) << edge.dump();
    }
}

TEST_F(SendInput, TheButtonIsMappedAndReportedAsGiven) {
    struct Case {
        Json button;
        const char* down;
        const char* up;
        const char* reported;
    } cases[] = {
        {nullptr, "leftMouseDown", "leftMouseUp", "left"},
        {"right", "rightMouseDown", "rightMouseUp", "right"},
        {"center", "otherMouseDown", "otherMouseUp", "center"},
        {"middle", "leftMouseDown", "leftMouseUp", "middle"},
        {" Right ", "leftMouseDown", "leftMouseUp", "Right"},
        {2, "leftMouseDown", "leftMouseUp", "left"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button.dump());
        Json fields{{"mode", "mouse_click"}, {"x", 700}, {"y", 500}};
        if (!c.button.is_null()) fields["button"] = c.button;
        EXPECT_EQ(send(fields)["result"]["button"], c.reported);
        std::vector<Json> mouse = posted("mouse");
        ASSERT_GE(mouse.size(), 2u);
        EXPECT_EQ(mouse[mouse.size() - 2]["type"], c.down);
        EXPECT_EQ(mouse.back()["type"], c.up);
    }
}

TEST_F(SendInput, APointerThatNeverArrivesIsNeverPressed) {
    const Json notThere = failure("execution_failed", "cursor_not_at_point",
                                  "The cursor did not reach the click point, so nothing was "
                                  "pressed (the mouse may be in use). Capture again, then retry.",
                                  true);
    for (const char* mode : {"fixed", "unreadable"}) {
        SCOPED_TRACE(mode);
        Json scenario = defaultDesktop();
        scenario["cursor"] = {{"mode", mode}, {"x", 1}, {"y", 1}};
        load(scenario);
        clock = 100;
        const size_t before = posted("mouse").size();
        EXPECT_EQ(send({{"mode", "mouse_click"}, {"x", 930}, {"y", 684}}), notThere);
        std::vector<Json> mouse = posted("mouse");
        ASSERT_EQ(mouse.size(), before + 1) << "exactly one move";
        EXPECT_EQ(mouse.back()["type"], "mouseMoved");
        EXPECT_GE(clock - 100, 0.25);
        EXPECT_LT(clock - 100, 0.26);
    }
    EXPECT_TRUE(posted("action").empty());

    Json lagging = defaultDesktop();
    lagging["cursor"] = {{"mode", "lags"}, {"readings", 5}};
    load(lagging);
    clock = 100;
    EXPECT_THAT(send({{"mode", "mouse_click"}, {"x", 930}, {"y", 684}}), SucceedsAs(sendInput));
    EXPECT_NEAR(clock - 100, 0.02 + 5 * 0.005, 1e-9);
    EXPECT_EQ(posted("action").size(), 1u);
}

TEST_F(SendInput, EventsThatCannotBeMadeAreRetryableFailures) {
    Json scenario = defaultDesktop();
    scenario["faults"] = {{"eventCreation", true}};
    load(scenario);
    EXPECT_EQ(
        send({{"mode", "keystroke"}, {"key", "a"}}),
        failure("execution_failed", "event_post_failed", "Failed to post keystroke event.", true));
    EXPECT_EQ(send({{"mode", "text"}, {"text", "a"}}),
              failure("execution_failed", "event_post_failed", "Failed to post text input.", true));
    EXPECT_EQ(
        send({{"mode", "mouse_click"}, {"x", 5}, {"y", 5}}),
        failure("execution_failed", "event_post_failed", "Failed to post mouse click.", true));
    EXPECT_EQ(calls("postEvent"), 0);
}

TEST_F(SendInput, KeysWaitForTheExpectedAppAndClicksForAClearWindow) {
    Json scenario = defaultDesktop();
    scenario["frontmostPid"] = nullptr;
    load(scenario);
    EXPECT_EQ(send({{"mode", "text"}, {"text", "x"}, {"expectedFrontmostPid", 0}}),
              failure("execution_failed", "target_missing",
                      "Keyboard input refused (target_missing): the frontmost app could not be "
                      "read when the keys were due to be sent. Nothing was typed. Bring the "
                      "target window's app to the front, then list windows and retry.",
                      false));
    // Without an expectation (or with null) nothing is checked.
    EXPECT_THAT(send({{"mode", "text"}, {"text", "x"}}), SucceedsAs(sendInput));
    EXPECT_THAT(send({{"mode", "text"}, {"text", "x"}, {"expectedFrontmostPid", nullptr}}),
                SucceedsAs(sendInput));

    scenario = defaultDesktop();
    scenario["windows"].insert(
        scenario["windows"].begin(),
        testing::serverWindow(300, 312, "Finder", testing::rect(200, 120, 100, 100)));
    load(scenario);
    const size_t before = desktop->events().size();
    EXPECT_EQ(send({{"mode", "mouse_click"},
                    {"coordinateSpace", "window"},
                    {"windowId", 217},
                    {"x", 50},
                    {"y", 50}}),
              failure("execution_failed", "target_occluded",
                      "Target window is not reachable at this point (covered by Finder); bring "
                      "it to the front, then capture again.",
                      false));
    EXPECT_EQ(desktop->events().size(), before);
    EXPECT_THAT(send({{"mode", "mouse_click"},
                      {"coordinateSpace", "window"},
                      {"windowId", 217},
                      {"x", 150},
                      {"y", 50}}),
                SucceedsAs(sendInput));
}

} // namespace
} // namespace dorvex
