// "desktop_send_input" end to end: keys, text and clicks posted by the built driver onto a
// simulated desktop, checked in its event log and read back through the tree.
#include "support/DriverProcess.h"
#include "support/Scenarios.h"

#include <gtest/gtest.h>

namespace dorvex::testing {
namespace {

constexpr uint64_t commandAndShift = 0x00100000 | 0x00020000;

Json input(Json fields) {
    Json action{{"actionType", "desktop_send_input"}};
    action.update(fields);
    return action;
}

std::vector<Json> eventsNamed(const DriverProcess& driver, const std::string& name) {
    std::vector<Json> found;
    for (const Json& event : driver.eventLog()) {
        if (event.value("event", "") == name) found.push_back(event);
    }
    return found;
}

// The node of the default desktop's window 217 with this identifier.
Json nodeOf(DriverProcess& driver, const std::string& identifier) {
    Json tree = driver.execute({{"actionType", "desktop_get_ui_tree"}, {"windowId", 217}});
    return findNode(tree["result"]["tree"], "identifier", identifier);
}

TEST(SendInputEndToEnd, NoAdvertisedActionAnswersNotImplemented) {
    DriverProcess driver;
    Json types = driver.request("system.capabilities")["result"]["supportedActionTypes"];
    ASSERT_EQ(types.back(), "desktop_send_input");
    for (const Json& type : types) {
        SCOPED_TRACE(type.dump());
        Json answer = driver.execute({{"actionType", type}});
        EXPECT_NE(answer.value("status", ""), "not_implemented");
    }
}

TEST(SendInputEndToEnd, AShortcutPostsItsKeyWithCommandAndShift) {
    DriverProcess driver;
    Json answer = driver.execute(
        input({{"mode", "keystroke"}, {"key", "cmd+shift+t"}, {"expectedFrontmostPid", 501}}));
    EXPECT_EQ(answer, Json::parse(R"({"ok":true,"status":"ok","actionType":"desktop_send_input",
        "pathUsed":"cgevent","summary":"Keystroke posted.","result":{"key":"cmd+shift+t"}})"));
    std::vector<Json> keys = eventsNamed(driver, "key");
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0]["keyCode"], 17);
    EXPECT_EQ(keys[0]["down"], true);
    EXPECT_EQ(keys[1]["keyCode"], 17);
    EXPECT_EQ(keys[1]["down"], false);
    EXPECT_EQ(keys[0]["flags"], commandAndShift);
    EXPECT_EQ(keys[1]["flags"], commandAndShift);
}

TEST(SendInputEndToEnd, TypedTextReadsBackThroughTheTree) {
    DriverProcess driver;
    Json typed = driver.execute(
        input({{"mode", "text"}, {"text", " Byron \u00e9"}, {"expectedFrontmostPid", 501}}));
    EXPECT_EQ(typed["result"], (Json{{"textLength", 8}}));
    EXPECT_EQ(nodeOf(driver, "nameField")["valuePreview"], "Ada Lovelace Byron \u00e9");
    driver.execute(input({{"mode", "keystroke"}, {"key", "delete"}}));
    driver.execute(input({{"mode", "keystroke"}, {"key", "shift+1"}}));
    EXPECT_EQ(nodeOf(driver, "nameField")["valuePreview"], "Ada Lovelace Byron !");

    // A click into the notes area moves the focus there, and typing follows it.
    Json click = driver.execute(input({{"mode", "mouse_click"},
                                       {"coordinateSpace", "window"},
                                       {"windowId", 217},
                                       {"x", 300},
                                       {"y", 400},
                                       {"screenshotWindowWidth", 800},
                                       {"screenshotWindowHeight", 600}}));
    EXPECT_EQ(click["result"], (Json{{"x", 300}, {"y", 400}, {"button", "left"}}));
    driver.execute(input({{"mode", "text"}, {"text", "; call Charles"}}));
    EXPECT_EQ(nodeOf(driver, "notesArea")["valuePreview"], "Meeting notes; call Charles");
}

TEST(SendInputEndToEnd, TextTypedIntoAPasswordFieldIsNeverWrittenOut) {
    const std::string secret = "pa55-w0rd-XYZZY";
    DriverProcess driver;
    Json click = driver.execute(input({{"mode", "mouse_click"},
                                       {"coordinateSpace", "window"},
                                       {"windowId", 217},
                                       {"x", 60},
                                       {"y", 110}}));
    ASSERT_EQ(click["ok"], true) << click.dump();
    EXPECT_EQ(driver.execute(input({{"mode", "text"}, {"text", secret}}))["result"],
              (Json{{"textLength", secret.size()}}));
    Json password = nodeOf(driver, "passwordField");
    EXPECT_EQ(password["secure"], true);
    EXPECT_FALSE(password.contains("valuePreview"));

    driver.closeInput();
    ASSERT_EQ(driver.waitExit(), 0);
    std::vector<Json> keys = eventsNamed(driver, "key");
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0]["secure"], true);
    EXPECT_EQ(keys[0]["length"], secret.size());
    for (const Json& event : driver.eventLog()) {
        EXPECT_EQ(event.dump().find(secret), std::string::npos) << event.dump();
    }
    const Json stats = driver.stats();
    for (const Json& read : stats["valueReads"]) {
        EXPECT_NE(read.value("id", ""), "passwordField");
    }
}

TEST(SendInputEndToEnd, AClickWaitsForALaggingPointerAndProvesItsTarget) {
    DriverProcess driver(onDesktop(exampleScenario("click-targets.json")));
    // The Next button of Preview's report, at (220, 130) in global points.
    Json next{{"mode", "mouse_click"},
              {"coordinateSpace", "window"},
              {"windowId", 701},
              {"x", 130},
              {"y", 40},
              {"screenshotWindowWidth", 800},
              {"screenshotWindowHeight", 600}};
    // The host's shield in front of everything lets the click through to the button.
    next["hostPid"] = 4000;
    Json answer = driver.execute(input(next));
    EXPECT_EQ(answer["ok"], true) << answer.dump();
    std::vector<Json> pressed = eventsNamed(driver, "action");
    ASSERT_EQ(pressed.size(), 1u);
    EXPECT_EQ(pressed[0]["identifier"], "next");
    EXPECT_EQ(pressed[0]["by"], "click");

    Json corner = next;
    corner["x"] = 798;
    corner["y"] = 598;
    EXPECT_EQ(driver.execute(input(corner))["error"]["message"],
              "Target window is not reachable at this point (the click would reach another "
              "Preview window); bring it to the front, then capture again.");
    Json underNotes = next;
    underNotes["x"] = 770;
    underNotes["y"] = 100;
    EXPECT_EQ(driver.execute(input(underNotes))["error"]["code"], "target_occluded");
    EXPECT_EQ(eventsNamed(driver, "mouse").size(), 3u) << "only the one click was posted";
}

TEST(SendInputEndToEnd, APointerThatStaysPutIsNeverPressed) {
    Json scenario = Json::parse(exampleScenario("default.json"));
    scenario["cursor"] = {{"mode", "fixed"}, {"x", 5}, {"y", 5}};
    DriverProcess driver(onDesktop(scenario.dump()));
    Json answer = driver.execute(input({{"mode", "mouse_click"}, {"x", 930}, {"y", 684}}));
    EXPECT_EQ(answer["error"]["code"], "cursor_not_at_point");
    EXPECT_EQ(answer["error"]["retryable"], true);
    std::vector<Json> mouse = eventsNamed(driver, "mouse");
    ASSERT_EQ(mouse.size(), 1u);
    EXPECT_EQ(mouse[0]["type"], "mouseMoved");
    EXPECT_TRUE(eventsNamed(driver, "action").empty());
    EXPECT_EQ(driver.request("system.ping")["result"]["ok"], true);
}

TEST(SendInputEndToEnd, BadInputGetsItsFailureAndTheDriverKeepsServing) {
    DriverProcess driver;
    struct Case {
        Json fields;
        const char* code;
    } cases[] = {
        {{{"mode", nullptr}}, "invalid_input"},
        {{{"mode", {"keystroke"}}}, "invalid_input"},
        {{{"mode", "KEYSTROKE"}}, "invalid_mode"},
        {{{"mode", "keystroke"}, {"key", true}}, "invalid_key"},
        {{{"mode", "keystroke"}, {"key", "\u2003\t"}}, "invalid_key"},
        {{{"mode", "keystroke"}, {"key", "cmd+\U0001F600"}}, "unsupported_key"},
        {{{"mode", "keystroke"}, {"key", "home"}}, "unsupported_key"},
        {{{"mode", "keystroke"}, {"key", "COMMAND + TAB"}}, "policy_blocked"},
        {{{"mode", "keystroke"}, {"key", "alt+cmd+escape"}}, "policy_blocked"},
        {{{"mode", "keystroke"}, {"key", "a"}, {"expectedFrontmostPid", 312}}, "target_missing"},
        {{{"mode", "text"}, {"text", Json::object()}}, "invalid_text"},
        {{{"mode", "text"}, {"text", "x"}, {"expectedFrontmostPid", -501}}, "target_missing"},
        {{{"mode", "mouse_click"}, {"x", "inf"}, {"y", 1}}, "invalid_coordinates"},
        {{{"mode", "mouse_click"}, {"x", 1.5e19}, {"y", -1.5e19}}, "point_off_display"},
        {{{"mode", "mouse_click"},
          {"x", 10},
          {"y", 10},
          {"coordinateSpace", "window"},
          {"windowId", 99999999999LL}},
         "stale_screenshot"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fields.dump());
        Json answer = driver.execute(input(c.fields));
        EXPECT_EQ(answer["ok"], false);
        EXPECT_EQ(answer["error"]["code"], c.code);
    }
    EXPECT_EQ(driver.request("system.ping")["result"]["ok"], true);
    EXPECT_TRUE(driver.eventLog().empty());
}

} // namespace
} // namespace dorvex::testing
