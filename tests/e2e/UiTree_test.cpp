// The UI tree and element search actions, end to end through the driver on simulated desktops.
#include "support/DriverProcess.h"
#include "support/Scenarios.h"
#include "support/WireIdentity.h"

#include <gtest/gtest.h>

namespace dorvex::testing {
namespace {

// Notes (pid 801) has two windows; Menu (pid 802) has none, only a menu bar.
//
//   Notes 4001 "Notes"                     Notes 4002 "Inspector"
//   ├── search   AXTextField "Search"      ├── inspect AXButton "Inspect"
//   ├── pin      AXSecureTextField "PIN"   ├── note    AXTextField
//   ├── filter   AXSearchField "Filter"    └── keys    AXGroup of 120 AXButtons "Key n"
//   ├── list     AXGroup
//   │   ├── add    AXButton "Add"
//   │   ├── remove AXButton "Remove"
//   │   └── count  AXStaticText
//   ├── zero     AXButton "Zero" (zero width)
//   ├── caption  AXStaticText "Straße"
//   └── untitled AXButton
Json notesWindow() {
    return axWindow(
        4001, "Notes",
        {element("AXTextField", {{"id", "search"},
                                 {"identifier", "searchField"},
                                 {"title", "Search"},
                                 {"value", "groceries"},
                                 {"frame", rect(120, 130, 200, 24)},
                                 {"actions", {"AXConfirm"}}}),
         element("AXSecureTextField", {{"id", "pin"},
                                       {"identifier", "pin"},
                                       {"title", "PIN"},
                                       {"value", "SECRET-4711"},
                                       {"frame", rect(120, 170, 200, 24)}}),
         element("AXSearchField",
                 {{"id", "filter"}, {"identifier", "filter"}, {"title", "Filter"}}),
         element("AXGroup",
                 {{"id", "list"},
                  {"identifier", "list"},
                  {"children",
                   {element("AXButton", {{"id", "add"},
                                         {"title", "Add"},
                                         {"identifier", "addButton"},
                                         {"actions", {"AXPress"}}}),
                    element("AXButton",
                            {{"id", "remove"}, {"title", "Remove"}, {"actions", {"AXPress"}}}),
                    element("AXStaticText", {{"id", "count"}, {"value", "3 items"}})}}}),
         element("AXButton", {{"id", "zero"}, {"title", "Zero"}, {"frame", rect(10, 10, 0, 20)}}),
         element("AXStaticText", {{"id", "caption"},
                                  {"title", "Stra\xC3\x9F"
                                            "e"}}),
         element("AXButton", {{"id", "untitled"}})});
}

Json inspectorWindow() {
    Json keys = Json::array();
    for (int i = 0; i < 120; ++i) {
        keys.push_back(element("AXButton", {{"title", "Key " + std::to_string(i)}}));
    }
    return axWindow(4002, "Inspector",
                    {element("AXButton", {{"id", "inspect"}, {"title", "Inspect"}}),
                     element("AXTextField", {{"id", "note"}, {"value", "n"}}),
                     element("AXGroup", {{"id", "keys"}, {"children", keys}})});
}

Json menuApp() {
    return app(
        802, "com.example.Menu", "Menu",
        {{"children",
          {element("AXMenuBar", {{"id", "menubar"},
                                 {"children",
                                  {element("AXMenuBarItem", {{"id", "file"},
                                                             {"title", "File"},
                                                             {"actions", {"AXPress"}}})}}})}}});
}

std::string notesDesktop() {
    return desktop({app(801, "com.example.Notes", "Notes",
                        {{"windows", {notesWindow(), inspectorWindow()}}}, true),
                    menuApp()},
                   {serverWindow(4001, 801, "Notes", rect(100, 100, 600, 400)),
                    serverWindow(4002, 801, "Notes", rect(800, 100, 300, 400))})
        .dump();
}

Json uiTree(DriverProcess& driver, Json action) {
    action["actionType"] = "desktop_get_ui_tree";
    return driver.execute(std::move(action));
}

Json findElements(DriverProcess& driver, Json action) {
    action["actionType"] = "desktop_find_elements";
    return driver.execute(std::move(action));
}

std::vector<std::string> titlesOf(const Json& matches) {
    std::vector<std::string> titles;
    for (const Json& match : matches) {
        titles.push_back(match["title"].is_string() ? match["title"].get<std::string>() : "-");
    }
    return titles;
}

TEST(UiTree, WindowTreeCarriesPathsValuesAndBounds) {
    DriverProcess driver(onDesktop(notesDesktop()));
    Json answer = uiTree(driver, {{"windowId", 4001}});
    ASSERT_EQ(answer["ok"], true) << answer.dump();
    EXPECT_EQ(answer["pathUsed"], "ax");
    EXPECT_EQ(answer["summary"], "UI tree collected for window 4001.");
    EXPECT_EQ(answer["result"]["pid"], 801);
    const Json& tree = answer["result"]["tree"];

    EXPECT_EQ(tree["role"], "AXWindow");
    EXPECT_EQ(tree["windowId"], 4001);
    EXPECT_EQ(tree["ownerPid"], 801);
    ASSERT_EQ(tree["path"].size(), 3u);
    EXPECT_EQ(tree["path"][0], "pid:801");
    EXPECT_EQ(tree["path"][1], "windowId:4001");
    EXPECT_TRUE(isIdentityToken(tree["path"][2].get<std::string>()));
    EXPECT_EQ(tree["children"].size(), 7u);

    const Json search = findNode(tree, "identifier", "searchField");
    EXPECT_EQ(search["valuePreview"], "groceries");
    EXPECT_EQ(search["actions"], Json({"AXConfirm"}));
    EXPECT_EQ(search["subrole"], nullptr);
    EXPECT_EQ(search["bounds"], rect(120, 130, 200, 24));
    const std::string searchIdentity =
        identityToken("AXTextField", "Search", "searchField", std::nullopt, std::nullopt);
    EXPECT_EQ(search["path"], Json({"pid:801", "windowId:4001", "child:0", searchIdentity}));
    EXPECT_EQ(search["children"], Json::array());

    const Json pin = findNode(tree, "identifier", "pin");
    EXPECT_EQ(pin["secure"], true);
    EXPECT_FALSE(pin.contains("valuePreview"));

    const Json add = findNode(tree, "identifier", "addButton");
    EXPECT_EQ(add["path"][2], "child:3");
    EXPECT_EQ(add["path"][3], "child:0");
    EXPECT_EQ(add["valuePreview"], nullptr); // readable, without a value
    EXPECT_FALSE(add.contains("bounds"));
    EXPECT_FALSE(findNode(tree, "title", "Zero").contains("bounds"));
    EXPECT_EQ(findNode(tree, "identifier", "list")["children"].size(), 3u);
    EXPECT_EQ(answer.dump().find("SECRET"), std::string::npos);
}

TEST(UiTree, DepthIsClampedToOneThroughTwenty) {
    // A chain of groups 25 levels below the window.
    Json chain = element("AXGroup", {{"title", "level 25"}});
    for (int level = 24; level >= 1; --level) {
        chain = element("AXGroup",
                        {{"title", "level " + std::to_string(level)}, {"children", {chain}}});
    }
    DriverProcess driver(
        onDesktop(desktop({app(801, "com.example.Deep", "Deep",
                               {{"windows", {axWindow(4001, "Deep", {chain})}}}, true)},
                          {serverWindow(4001, 801, "Deep", rect(0, 0, 500, 500))})
                      .dump()));
    struct Case {
        Json maxDepth; // null: not given
        int levels;
    } cases[] = {
        {nullptr, 6}, {0, 1},   {-3, 1},  {1, 1},      {3, 3},
        {"4", 4},     {20, 20}, {25, 20}, {"deep", 6}, {2.9, 2},
    };
    for (const Case& c : cases) {
        Json action = {{"windowId", 4001}};
        if (!c.maxDepth.is_null()) action["maxDepth"] = c.maxDepth;
        Json answer = uiTree(driver, action);
        ASSERT_EQ(answer["ok"], true) << answer.dump();
        EXPECT_EQ(treeDepth(answer["result"]["tree"]), c.levels) << c.maxDepth.dump();
    }
    // A search examines twelve levels below the root, whatever the limit.
    Json search = driver.execute({{"actionType", "desktop_find_elements"},
                                  {"windowId", 4001},
                                  {"title", "level"},
                                  {"limit", 100}});
    ASSERT_EQ(search["ok"], true) << search.dump();
    EXPECT_EQ(search["result"]["matches"].size(), 12u);
    EXPECT_EQ(search["result"]["matches"].back()["title"], "level 12");
}

TEST(UiTree, AppTargetsReadTheFrontWindowOrTheAppRoot) {
    DriverProcess driver(onDesktop(notesDesktop()));

    Json front = uiTree(driver, {{"appBundleId", "com.example.Notes"}});
    EXPECT_EQ(front["summary"], "UI tree collected for window 4001.");
    EXPECT_EQ(front["result"]["tree"]["title"], "Notes");
    EXPECT_EQ(front["result"]["tree"]["path"][1], "windowId:4001");

    Json frontmost = uiTree(driver, Json::object()); // Notes is the active app
    EXPECT_EQ(frontmost["result"]["pid"], 801);

    Json root = uiTree(driver, {{"appPid", 802}});
    ASSERT_EQ(root["ok"], true) << root.dump();
    EXPECT_EQ(root["summary"], "UI tree collected for app root.");
    const Json file = findNode(root["result"]["tree"], "title", "File");
    ASSERT_EQ(file["path"].size(), 4u);
    EXPECT_EQ(file["path"][0], "pid:802");
    EXPECT_EQ(file["path"][1], "child:0");
    EXPECT_EQ(file["path"][2], "child:0");
    EXPECT_FALSE(file.contains("windowId"));

    Json missing = uiTree(driver, {{"appBundleId", "com.example.Gone"}});
    EXPECT_EQ(missing["ok"], false);
    EXPECT_EQ(missing["error"]["code"], "app_not_running");
}

// Without the window-number function, a window whose accessibility frame matches no window
// server row has no window id: its elements get no paths and are not searched.
std::string unidentifiableDesktop() {
    Json window = axWindow(4001, "Notes", {element("AXButton", {{"title", "Add"}})});
    window["frame"] = rect(700, 700, 50, 50);
    return desktop({app(801, "com.example.Notes", "Notes", {{"windows", {window}}}, true)},
                   {serverWindow(4001, 801, "Notes", rect(100, 100, 600, 400))},
                   {{"hasWindowNumberFunction", false}})
        .dump();
}

TEST(UiTree, FrontWindowWithoutAWindowIdHasNoPaths) {
    DriverProcess driver(onDesktop(unidentifiableDesktop()));
    Json answer = uiTree(driver, {{"appBundleId", "com.example.Notes"}});
    ASSERT_EQ(answer["ok"], true) << answer.dump();
    EXPECT_EQ(answer["summary"],
              "UI tree collected for the app's front window; its window id could not be read, so "
              "its elements have no paths. List windows and read it by windowId.");
    int nodes = 0;
    eachNode(answer["result"]["tree"], [&](const Json& node) {
        ++nodes;
        EXPECT_FALSE(node.contains("path"));
        EXPECT_FALSE(node.contains("windowId"));
        EXPECT_EQ(node["ownerPid"], 801);
    });
    EXPECT_EQ(nodes, 2);

    Json search = findElements(driver, {{"appBundleId", "com.example.Notes"}});
    ASSERT_EQ(search["ok"], true) << search.dump();
    EXPECT_EQ(search["summary"], "Found 0 matching elements.");
    EXPECT_EQ(search["result"]["matches"], Json::array());
}

TEST(FindElements, FiltersContainTextIgnoringCase) {
    DriverProcess driver(onDesktop(notesDesktop()));
    const std::vector<std::string> fields = {"Search", "PIN", "Filter"};
    struct Case {
        Json filters;
        std::vector<std::string> titles;
    } cases[] = {
        {{{"role", "field"}}, fields},
        {{{"role", "FIELD"}}, fields},
        {{{"role", " field \n"}}, fields},
        {{{"role", "AXButton"}, {"title", "e"}}, {"Remove", "Zero"}},
        {{{"title", "add"}}, {"Add"}},
        {{{"title", "STRASSE"}},
         {"Stra\xC3\x9F"
          "e"}},
        {{{"identifier", "BUTTON"}}, {"Add"}},
        {{{"identifier", "button"}, {"title", "Remove"}}, {}},
        {{{"role", "AXButton"}, {"title", "   "}}, {"Add", "Remove", "Zero", "-"}},
        {{{"role", "AXWindow"}}, {"Notes"}},
    };
    for (const Case& c : cases) {
        Json action = c.filters;
        action["windowId"] = 4001;
        Json answer = findElements(driver, action);
        ASSERT_EQ(answer["ok"], true) << answer.dump();
        EXPECT_EQ(titlesOf(answer["result"]["matches"]), c.titles) << c.filters.dump();
    }
}

TEST(FindElements, MatchesAreFlatNodesWithPaths) {
    DriverProcess driver(onDesktop(notesDesktop()));
    Json answer = findElements(driver, {{"windowId", 4001}, {"role", "field"}});
    ASSERT_EQ(answer["ok"], true) << answer.dump();
    EXPECT_EQ(answer["summary"], "Found 3 matching elements.");
    const Json& matches = answer["result"]["matches"];
    for (const Json& match : matches) {
        EXPECT_FALSE(match.contains("children"));
        EXPECT_EQ(match["windowId"], 4001);
        EXPECT_EQ(match["ownerPid"], 801);
    }
    EXPECT_EQ(matches[0]["valuePreview"], "groceries");
    EXPECT_EQ(matches[0]["bounds"], rect(120, 130, 200, 24));
    EXPECT_EQ(matches[1]["secure"], true);
    EXPECT_FALSE(matches[1].contains("valuePreview"));
    // A match's path is the one the tree hands out for the same element.
    Json tree = uiTree(driver, {{"windowId", 4001}})["result"]["tree"];
    EXPECT_EQ(matches[2]["path"], findNode(tree, "identifier", "filter")["path"]);
    EXPECT_EQ(answer.dump().find("SECRET"), std::string::npos);
}

TEST(FindElements, LimitsAndOrderAcrossWindows) {
    DriverProcess driver(onDesktop(notesDesktop()));
    struct Case {
        Json action;
        size_t count;
        std::vector<int64_t> windowIds; // distinct window ids of the matches, in order
    } cases[] = {
        {{{"windowId", 4001}, {"limit", 0}}, 1, {4001}},
        {{{"windowId", 4001}, {"limit", -5}}, 1, {4001}},
        {{{"appBundleId", "com.example.Notes"}}, 20, {4001, 4002}},
        {{{"appBundleId", "com.example.Notes"}, {"limit", 500}}, 100, {4001, 4002}},
        {{{"appBundleId", "com.example.Notes"}, {"limit", "7"}}, 7, {4001}},
        {{{"appBundleId", "com.example.Notes"}, {"role", "AXButton"}, {"limit", 3}}, 3, {4001}},
        {{{"appBundleId", "com.example.Notes"}, {"role", "AXButton"}, {"limit", 6}},
         6,
         {4001, 4002}},
    };
    for (const Case& c : cases) {
        Json answer = findElements(driver, c.action);
        ASSERT_EQ(answer["ok"], true) << answer.dump();
        const Json& matches = answer["result"]["matches"];
        EXPECT_EQ(matches.size(), c.count) << c.action.dump();
        std::vector<int64_t> windows;
        for (const Json& match : matches) {
            int64_t id = match["windowId"].get<int64_t>();
            if (windows.empty() || windows.back() != id) windows.push_back(id);
        }
        EXPECT_EQ(windows, c.windowIds) << c.action.dump();
    }

    // Without filters the root comes first, then its descendants depth first.
    Json ordered = findElements(driver, {{"windowId", 4001}, {"limit", 8}});
    EXPECT_EQ(
        titlesOf(ordered["result"]["matches"]),
        (std::vector<std::string>{"Notes", "Search", "PIN", "Filter", "-", "Add", "Remove", "-"}));
    Json none = findElements(driver, {{"windowId", 4001}, {"title", "Inspect"}});
    EXPECT_EQ(none["summary"], "Found 0 matching elements.");
    Json single = findElements(driver, {{"windowId", 4002}, {"title", "key 119"}});
    EXPECT_EQ(single["summary"], "Found 1 matching elements.");
}

TEST(FindElements, AppWithoutWindowsIsSearchedFromItsRoot) {
    DriverProcess driver(onDesktop(notesDesktop()));
    Json answer = findElements(driver, {{"appPid", 802}, {"title", "file"}});
    ASSERT_EQ(answer["ok"], true) << answer.dump();
    const Json& matches = answer["result"]["matches"];
    ASSERT_EQ(matches.size(), 1u);
    EXPECT_EQ(matches[0]["path"][0], "pid:802");
    EXPECT_EQ(matches[0]["path"][1], "child:0");
    EXPECT_FALSE(matches[0].contains("windowId"));
}

} // namespace
} // namespace dorvex::testing
