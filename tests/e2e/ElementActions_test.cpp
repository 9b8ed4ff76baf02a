// Element actions and values, end to end: paths from a tree read are walked again and must
// still prove out before anything is performed or set.
#include "support/DriverProcess.h"
#include "support/Scenarios.h"

#include <functional>
#include <gtest/gtest.h>

namespace dorvex::testing {
namespace {

// Notes (pid 801, window 4001), Menu (pid 802, no windows), Other (pid 803, window 5001).
//
//   Notes 4001
//   ├── search AXTextField "Search"
//   ├── pin    AXSecureTextField "PIN"
//   ├── list   AXGroup
//   │   ├── add    AXButton "Add"
//   │   ├── remove AXButton "Remove"
//   │   └── broken AXButton "Broken" (AXPress is unsupported)
//   └── locked AXTextField "Locked" (setting AXValue fails)
Json notesApp(const std::string& addTitle = "Add") {
    Json list = element(
        "AXGroup",
        {{"id", "list"},
         {"children",
          {element("AXButton", {{"id", "add"}, {"title", addTitle}, {"actions", {"AXPress"}}}),
           element("AXButton", {{"id", "remove"}, {"title", "Remove"}, {"actions", {"AXPress"}}}),
           element("AXButton", {{"id", "broken"},
                                {"title", "Broken"},
                                {"actions", {"AXPress"}},
                                {"actionErrors", {{"AXPress", -25206}}}})}}});
    Json window = axWindow(
        4001, "Notes",
        {element("AXTextField", {{"id", "search"}, {"title", "Search"}, {"value", "groceries"}}),
         element("AXSecureTextField", {{"id", "pin"}, {"title", "PIN"}, {"value", "SECRET-4711"}}),
         list,
         element("AXTextField", {{"id", "locked"},
                                 {"title", "Locked"},
                                 {"value", "fixed"},
                                 {"setErrors", {{"AXValue", -25204}}}})});
    return app(801, "com.example.Notes", "Notes", {{"windows", {window}}}, true);
}

Json menuApp(bool withWindow) {
    Json accessibility = {
        {"actions", {"AXHide"}},
        {"children",
         {element("AXMenuBar",
                  {{"children",
                    {element("AXMenuBarItem",
                             {{"id", "file"}, {"title", "File"}, {"actions", {"AXPress"}}})}}})}}};
    if (withWindow) accessibility["windows"] = Json::array({axWindow(6001, "Menu", {})});
    return app(802, "com.example.Menu", "Menu", accessibility);
}

Json otherApp() {
    return app(803, "com.example.Other", "Other",
               {{"windows", {axWindow(5001, "Other", {element("AXButton", {{"title", "Add"}})})}}});
}

struct DesktopChoice {
    std::string addTitle = "Add";
    bool notesWindow = true;
    bool menuWindow = false;
};

DesktopChoice withoutNotesWindow() {
    DesktopChoice choice;
    choice.notesWindow = false;
    return choice;
}
DesktopChoice withAddTitle(std::string title) {
    DesktopChoice choice;
    choice.addTitle = std::move(title);
    return choice;
}
DesktopChoice withMenuWindow() {
    DesktopChoice choice;
    choice.menuWindow = true;
    return choice;
}

std::string actionsDesktop(DesktopChoice choice = {}) {
    Json notes = notesApp(choice.addTitle);
    std::vector<Json> windows = {serverWindow(5001, 803, "Other", rect(700, 100, 300, 300))};
    if (choice.notesWindow) {
        windows.push_back(serverWindow(4001, 801, "Notes", rect(100, 100, 500, 400)));
    } else {
        notes["accessibility"]["windows"] = Json::array();
    }
    if (choice.menuWindow) windows.push_back(serverWindow(6001, 802, "Menu", rect(0, 0, 80, 80)));
    return desktop({notes, menuApp(choice.menuWindow), otherApp()}, windows).dump();
}

// The path the tree read hands out for the node with this title.
Json pathOf(DriverProcess& driver, Json target, const std::string& title) {
    target["actionType"] = "desktop_get_ui_tree";
    Json tree = driver.execute(target)["result"]["tree"];
    Json node = findNode(tree, "title", title);
    EXPECT_TRUE(node.contains("path")) << title;
    return node["path"];
}

Json invoke(DriverProcess& driver, Json path, const std::string& action, Json extra = {}) {
    Json request = {{"actionType", "desktop_invoke_element_action"},
                    {"elementPath", std::move(path)},
                    {"elementAction", action}};
    if (extra.is_object()) request.update(extra);
    return driver.execute(request);
}

Json setValue(DriverProcess& driver, Json path, Json value) {
    return driver.execute(
        {{"actionType", "desktop_set_element_value"}, {"elementPath", path}, {"value", value}});
}

std::vector<Json> eventsNamed(const DriverProcess& driver, const std::string& name) {
    std::vector<Json> found;
    for (const Json& event : driver.eventLog()) {
        if (event.value("event", "") == name) found.push_back(event);
    }
    return found;
}

TEST(InvokeElementAction, PerformsTheActionOnTheReprovenElement) {
    DriverProcess driver(onDesktop(actionsDesktop()));
    Json path = pathOf(driver, {{"windowId", 4001}}, "Add");
    Json answer = invoke(driver, path, "  AXPress \n", {{"appBundleId", "com.example.Notes"}});
    ASSERT_EQ(answer["ok"], true) << answer.dump();
    EXPECT_EQ(answer["pathUsed"], "ax");
    EXPECT_EQ(answer["summary"], "Executed AX action AXPress.");
    EXPECT_EQ(answer["result"], (Json{{"path", path}, {"elementAction", "AXPress"}}));

    std::vector<Json> performed = eventsNamed(driver, "action");
    ASSERT_EQ(performed.size(), 1u);
    EXPECT_EQ(performed[0]["action"], "AXPress");
    EXPECT_EQ(performed[0]["title"], "Add");
}

TEST(SetElementValue, SetsTheValueReportsItsLengthAndIsReadBack) {
    DriverProcess driver(onDesktop(actionsDesktop()));
    Json path = pathOf(driver, {{"windowId", 4001}}, "Search");
    struct Case {
        std::string value;
        int64_t length;
    } cases[] = {
        {"groceries and milk", 18},
        {"", 0},
        {" padded ", 8},
        {"\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD", 1},             // thumbs up with a skin tone
        {"\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x92\xBB", 1}, // woman technologist
        {"cafe\xCC\x81", 4},                                 // e with a combining accent
    };
    for (const Case& c : cases) {
        Json answer = setValue(driver, path, c.value);
        ASSERT_EQ(answer["ok"], true) << answer.dump();
        EXPECT_EQ(answer["summary"], "Updated element value.");
        EXPECT_EQ(answer["result"], (Json{{"path", path}, {"valueLength", c.length}}));
        Json tree = driver.execute({{"actionType", "desktop_get_ui_tree"}, {"windowId", 4001}});
        EXPECT_EQ(findNode(tree["result"]["tree"], "title", "Search")["valuePreview"], c.value);
    }
    EXPECT_EQ(eventsNamed(driver, "setValue").back()["value"], "cafe\xCC\x81");
}

TEST(SetElementValue, SecureFieldIsSetWithoutEverEchoingTheValue) {
    DriverProcess driver(onDesktop(actionsDesktop()));
    Json path = pathOf(driver, {{"windowId", 4001}}, "PIN");
    Json request = {{"jsonrpc", "2.0"},
                    {"id", "set-pin"},
                    {"method", "automation.execute"},
                    {"params",
                     {{"action",
                       {{"actionType", "desktop_set_element_value"},
                        {"elementPath", path},
                        {"value", "SECRET-new-pin"}}}}}};
    driver.send(request.dump());
    std::optional<std::string> line = driver.readRawLine(std::chrono::seconds(10));
    ASSERT_TRUE(line);
    EXPECT_EQ(line->find("SECRET"), std::string::npos) << *line;
    Json answer = Json::parse(*line)["result"];
    ASSERT_EQ(answer["ok"], true) << *line;
    EXPECT_EQ(answer["result"], (Json{{"path", path}, {"valueLength", 14}, {"secure", true}}));
}

TEST(ElementActions, InvalidInputIsRefusedBeforeAnythingIsRead) {
    DriverProcess driver(onDesktop(actionsDesktop()));
    Json path = pathOf(driver, {{"windowId", 4001}}, "Add");
    const std::string invokeMessage = "elementAction and elementPath are required.";
    const std::string setMessage = "value and elementPath are required.";
    struct Case {
        Json action;
        std::string message;
    } cases[] = {
        {{{"actionType", "desktop_invoke_element_action"}, {"elementPath", path}}, invokeMessage},
        {{{"actionType", "desktop_invoke_element_action"},
          {"elementPath", path},
          {"elementAction", " \t "}},
         invokeMessage},
        {{{"actionType", "desktop_invoke_element_action"},
          {"elementPath", path[0]},
          {"elementAction", "AXPress"}},
         invokeMessage},
        {{{"actionType", "desktop_invoke_element_action"},
          {"elementPath", {"pid:801", 4001}},
          {"elementAction", "AXPress"}},
         invokeMessage},
        {{{"actionType", "desktop_invoke_element_action"},
          {"elementPath", Json::array()},
          {"elementAction", "AXPress"}},
         invokeMessage},
        {{{"actionType", "desktop_set_element_value"}, {"elementPath", path}}, setMessage},
        {{{"actionType", "desktop_set_element_value"}, {"elementPath", path}, {"value", 5}},
         setMessage},
        {{{"actionType", "desktop_set_element_value"}, {"elementPath", path}, {"value", nullptr}},
         setMessage},
        {{{"actionType", "desktop_set_element_value"}, {"value", "x"}}, setMessage},
    };
    for (const Case& c : cases) {
        Json answer = driver.execute(c.action);
        EXPECT_EQ(
            answer,
            (Json{{"ok", false},
                  {"status", "invalid_params"},
                  {"actionType", c.action["actionType"]},
                  {"pathUsed", "ax"},
                  {"error",
                   {{"code", "invalid_input"}, {"message", c.message}, {"retryable", false}}}}))
            << c.action.dump();
    }
    EXPECT_TRUE(eventsNamed(driver, "action").empty());
    EXPECT_TRUE(eventsNamed(driver, "setValue").empty());
}

Json withToken(Json path, size_t index, const std::string& token) {
    path[index] = token;
    return path;
}

TEST(ElementActions, EveryUnprovenPathIsElementNotFound) {
    const Json notFound = {
        {"ok", false},
        {"status", "semantic_unavailable"},
        {"actionType", "desktop_invoke_element_action"},
        {"pathUsed", "ax"},
        {"error",
         {{"code", "element_not_found"},
          {"message", "Element path could not be resolved: its window may have closed, or the "
                      "path is out of date. Read the UI tree again."},
          {"retryable", true}}}};
    struct Case {
        const char* name;
        // Reads what it needs, may change the desktop, and gives the action to send.
        std::function<Json(DriverProcess&)> prepare;
    } cases[] = {
        {"path that does not read",
         [](DriverProcess& d) {
             return invoke(d, withToken(pathOf(d, {{"windowId", 4001}}, "Add"), 0, "pid:0"),
                           "AXPress");
         }},
        {"child position past the end",
         [](DriverProcess& d) {
             return invoke(d, withToken(pathOf(d, {{"windowId", 4001}}, "Add"), 3, "child:3"),
                           "AXPress");
         }},
        {"another element at the position",
         [](DriverProcess& d) {
             return invoke(d, withToken(pathOf(d, {{"windowId", 4001}}, "Add"), 3, "child:1"),
                           "AXPress");
         }},
        {"window owned by another app than appBundleId",
         [](DriverProcess& d) {
             return invoke(d, pathOf(d, {{"windowId", 4001}}, "Add"), "AXPress",
                           {{"appBundleId", "com.example.Other"}});
         }},
        {"window of another pid than the path's",
         [](DriverProcess& d) {
             return invoke(d, withToken(pathOf(d, {{"windowId", 4001}}, "Add"), 0, "pid:803"),
                           "AXPress");
         }},
        {"window that has closed",
         [](DriverProcess& d) {
             Json path = pathOf(d, {{"windowId", 4001}}, "Add");
             d.setScenario(actionsDesktop(withoutNotesWindow()));
             return invoke(d, path, "AXPress");
         }},
        {"element whose title changed",
         [](DriverProcess& d) {
             Json path = pathOf(d, {{"windowId", 4001}}, "Add");
             d.setScenario(actionsDesktop(withAddTitle("Append")));
             return invoke(d, path, "AXPress");
         }},
        {"app-root path once the app has a window",
         [](DriverProcess& d) {
             // The app element itself: the window appearing moves nothing on its path.
             Json path = pathOf(d, {{"appPid", 802}}, "Menu");
             EXPECT_EQ(invoke(d, path, "AXHide")["ok"], true);
             d.setScenario(actionsDesktop(withMenuWindow()));
             return invoke(d, path, "AXHide");
         }},
    };
    for (const Case& c : cases) {
        DriverProcess driver(onDesktop(actionsDesktop()));
        EXPECT_EQ(c.prepare(driver), notFound) << c.name;
    }
}

TEST(ElementActions, AccessibilityErrorsBecomeFailures) {
    DriverProcess driver(onDesktop(actionsDesktop()));
    Json broken = invoke(driver, pathOf(driver, {{"windowId", 4001}}, "Broken"), "AXPress");
    EXPECT_EQ(broken["status"], "semantic_unavailable");
    EXPECT_EQ(broken["pathUsed"], "ax");
    EXPECT_EQ(broken["error"], (Json{{"code", "unsupported_action"},
                                     {"message", "AX action is not supported for AX action "
                                                 "AXPress (-25206)."},
                                     {"retryable", false}}));

    Json locked = setValue(driver, pathOf(driver, {{"windowId", 4001}}, "Locked"), "new");
    EXPECT_EQ(locked["status"], "execution_failed");
    EXPECT_EQ(locked["error"], (Json{{"code", "ax_operation_failed"},
                                     {"message", "AX operation failed for set AXValue (-25204)."},
                                     {"retryable", true}}));
}

} // namespace
} // namespace dorvex::testing
