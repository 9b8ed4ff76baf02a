// The element walks on hostile trees, in process on the simulated desktop: trees that loop
// (examples/scenarios/cyclic.json), trees that fan out past the visit budget, secrets planted
// below secure fields, and the round trips one node costs.
#include "Dorvex/Elements.h"
#include "platform/sim/SimDesktop.h"
#include "support/InProcessDriver.h"
#include "support/Scenarios.h"

#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>

namespace dorvex {
namespace {

using testing::element;
using testing::rect;

std::string exampleScenario(const std::string& name) {
    std::ifstream in(std::string(DORVEX_SOURCE_DIR) + "/examples/scenarios/" + name);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

size_t countNodes(const Json& node) {
    size_t count = 1;
    for (const Json& child : node["children"])
        count += countNodes(child);
    return count;
}

class Walks : public ::testing::Test {
protected:
    void load(const std::string& scenario) {
        platform::sim::SimOptions options;
        options.scenarioText = scenario;
        desktop = std::make_unique<platform::sim::SimDesktop>(std::move(options));
        ASSERT_EQ(desktop->lastLoadError(), std::nullopt);
        driver = std::make_unique<testing::InProcessDriver>(desktop->facets());
    }
    Json execute(const std::string& type, Json action) {
        action["actionType"] = type;
        return driver->execute(std::move(action));
    }
    // Ids of the elements whose value was read.
    std::vector<std::string> valuesRead() const {
        std::vector<std::string> ids;
        const Json stats = desktop->stats();
        for (const Json& row : stats["valueReads"])
            ids.push_back(row.value("id", row["identifier"].get<std::string>()));
        return ids;
    }
    std::string everyLine() const {
        std::string text;
        for (const Json& line : driver->transport().lines())
            text += line.dump() + "\n";
        return text;
    }

    std::unique_ptr<platform::sim::SimDesktop> desktop;
    std::unique_ptr<testing::InProcessDriver> driver;
};

TEST_F(Walks, ALoopIsShownOnceAndNeverDescendedAgain) {
    load(exampleScenario("cyclic.json"));
    Json answer = execute("desktop_get_ui_tree", {{"windowId", 6001}, {"maxDepth", 20}});
    ASSERT_EQ(answer["ok"], true) << answer.dump();
    EXPECT_FALSE(answer["result"].contains("truncated"));
    EXPECT_EQ(answer["summary"], "UI tree collected for window 6001.");
    const Json& mirror = answer["result"]["tree"];
    EXPECT_FALSE(mirror.contains("repeatsAncestor"));
    const Json& children = mirror["children"];
    ASSERT_EQ(children.size(), 12u);
    for (size_t i = 0; i < 10; ++i) {
        EXPECT_EQ(children[i]["title"], "Mirror") << i;
        EXPECT_EQ(children[i]["repeatsAncestor"], true) << i;
        EXPECT_EQ(children[i]["children"], Json::array()) << i;
    }
    // The toolbar's button lists the toolbar and the window; the toolbar lists itself.
    const Json& toolbar = children[10];
    ASSERT_EQ(toolbar["children"].size(), 2u);
    EXPECT_EQ(toolbar["children"][1]["repeatsAncestor"], true);
    const Json& back = toolbar["children"][0];
    EXPECT_FALSE(back.contains("repeatsAncestor"));
    EXPECT_EQ(back["children"].size(), 2u);
    for (const Json& again : back["children"])
        EXPECT_EQ(again["repeatsAncestor"], true);
    EXPECT_EQ(countNodes(mirror), 19u);

    // The search visits each element of a branch once: five elements, five matches.
    Json found = execute("desktop_find_elements", {{"windowId", 6001}, {"limit", 100}});
    ASSERT_EQ(found["ok"], true);
    EXPECT_EQ(found["result"]["matches"].size(), 5u);
    EXPECT_FALSE(found["result"].contains("truncated"));

    // A path handed out for a repeated element resolves; one going on below it is none of ours.
    EXPECT_EQ(
        execute("desktop_invoke_element_action", {{"elementPath", children[3]["path"]},
                                                  {"elementAction", "AXPress"}})["error"]["code"],
        "unsupported_action");
    Json below = children[3]["path"];
    below.insert(below.end() - 1, "child:10");
    below.back() = toolbar["path"].back();
    EXPECT_EQ(execute("desktop_invoke_element_action",
                      {{"elementPath", below}, {"elementAction", "AXPress"}})["error"]["code"],
              "element_not_found");
    // The same path without the detour reaches the toolbar.
    EXPECT_EQ(
        execute("desktop_invoke_element_action",
                {{"elementPath", toolbar["path"]}, {"elementAction", "AXPress"}})["error"]["code"],
        "unsupported_action");
}

TEST_F(Walks, AFanOutIsCutAtTheBudgetAndSaysSo) {
    load(exampleScenario("cyclic.json"));
    Json answer = execute("desktop_get_ui_tree", {{"windowId", 6002}, {"maxDepth", 20}});
    ASSERT_EQ(answer["ok"], true);
    EXPECT_EQ(answer["result"]["truncated"], true);
    EXPECT_EQ(answer["summary"], "UI tree collected for window 6002. The tree was cut short after "
                                 "50000 elements; read it with a smaller maxDepth.");
    EXPECT_EQ(countNodes(answer["result"]["tree"]), static_cast<size_t>(WalkLimits::requestVisits));

    Json search = execute("desktop_find_elements", {{"windowId", 6002}, {"title", "no such"}});
    ASSERT_EQ(search["ok"], true);
    EXPECT_EQ(search["result"]["matches"], Json::array());
    EXPECT_EQ(search["result"]["truncated"], true);
    EXPECT_EQ(search["summary"], "Found 0 matching elements. The search stopped after 50000 "
                                 "elements; the elements beyond them were not searched.");

    // Stopping at the limit is not being cut short; the next request is served as usual.
    Json few = execute("desktop_find_elements", {{"windowId", 6002}, {"limit", 5}});
    EXPECT_EQ(few["result"]["matches"].size(), 5u);
    EXPECT_FALSE(few["result"].contains("truncated"));
    EXPECT_EQ(driver->request("system.ping")["result"]["ok"], true);
}

// A smaller budget, as the fuzz target sets, is where both walks stop and what they name; the
// loop's repeats are still noticed below it.
TEST_F(Walks, ASmallerBudgetIsTheOneKeptAndNamed) {
    load(exampleScenario("cyclic.json"));
    driver->driver().walkVisits = 300;
    Json tree = execute("desktop_get_ui_tree", {{"windowId", 6002}, {"maxDepth", 20}});
    EXPECT_EQ(tree["result"]["truncated"], true);
    EXPECT_EQ(countNodes(tree["result"]["tree"]), 300u);
    EXPECT_EQ(tree["summary"], "UI tree collected for window 6002. The tree was cut short after "
                               "300 elements; read it with a smaller maxDepth.");
    Json search = execute("desktop_find_elements", {{"windowId", 6002}, {"title", "no such"}});
    EXPECT_EQ(search["result"]["truncated"], true);
    EXPECT_EQ(search["summary"], "Found 0 matching elements. The search stopped after 300 "
                                 "elements; the elements beyond them were not searched.");

    Json mirror = execute("desktop_get_ui_tree", {{"windowId", 6001}, {"maxDepth", 20}});
    EXPECT_FALSE(mirror["result"].contains("truncated"));
    EXPECT_EQ(mirror["result"]["tree"]["children"][0]["repeatsAncestor"], true);
}

// Secrets planted at every level below secure fields, by subrole and by role, and below a
// secure field held in a combo box.
std::string plantedSecrets() {
    Json bySubrole = element(
        "AXTextField",
        {{"id", "bySubrole"},
         {"subrole", "AXSecureTextField"},
         {"value", "SECRET-field"},
         {"children",
          {element("AXStaticText", {{"id", "child"}, {"value", "SECRET-child"}}),
           element("AXGroup", {{"id", "group"},
                               {"children",
                                {element("AXStaticText", {{"id", "grandchild"},
                                                          {"value", "SECRET-grandchild"}})}}})}}});
    Json byRole = element(
        "AXSecureTextField",
        {{"id", "byRole"},
         {"value", "SECRET-role"},
         {"children", {element("AXTextField", {{"id", "inner"}, {"value", "SECRET-inner"}})}}});
    Json combo = element(
        "AXComboBox",
        {{"id", "combo"},
         {"value", "SECRET-combo"},
         {"children",
          {element("AXStaticText", {{"id", "hint"}, {"value", "visible hint"}}),
           element("AXSecureTextField", {{"id", "comboField"},
                                         {"children",
                                          {element("AXButton", {{"id", "reveal"},
                                                                {"title", "Reveal"},
                                                                {"value", "SECRET-button"},
                                                                {"actions", {"AXPress"}}})}}})}}});
    return testing::desktop(
               {testing::app(
                   700, "com.example.Vault", "Vault",
                   {{"windows", {testing::axWindow(7001, "Vault", {bySubrole, byRole, combo})}}},
                   true)},
               {testing::serverWindow(7001, 700, "Vault", rect(0, 0, 400, 300))})
        .dump();
}

TEST_F(Walks, NothingInsideASecureFieldIsRead) {
    load(plantedSecrets());
    Json tree = execute("desktop_get_ui_tree", {{"windowId", 7001}});
    ASSERT_EQ(tree["ok"], true);
    std::vector<std::string> secure;
    std::vector<std::string> previewed;
    testing::eachNode(tree["result"]["tree"], [&](const Json& node) {
        const std::string title = node["title"].is_string() ? node["title"].get<std::string>()
                                                            : node["role"].get<std::string>();
        if (node.contains("secure")) secure.push_back(title);
        if (node.contains("valuePreview")) previewed.push_back(title);
    });
    EXPECT_EQ(secure, (std::vector<std::string>{"AXTextField", "AXStaticText", "AXGroup",
                                                "AXStaticText", "AXSecureTextField", "AXTextField",
                                                "AXComboBox", "AXSecureTextField", "Reveal"}));
    EXPECT_EQ(previewed, (std::vector<std::string>{"Vault", "AXStaticText"})); // window, hint

    Json texts = execute("desktop_find_elements", {{"windowId", 7001}, {"role", "statictext"}});
    ASSERT_EQ(texts["result"]["matches"].size(), 3u);
    EXPECT_EQ(texts["result"]["matches"][0]["secure"], true);
    EXPECT_EQ(texts["result"]["matches"][1]["secure"], true);
    EXPECT_EQ(texts["result"]["matches"][2]["valuePreview"], "visible hint");

    // Setting a value below a secure field reports it as secure too, and never echoes it.
    const Json grandchild = testing::findNode(tree["result"]["tree"], "role", "AXGroup");
    Json set = execute("desktop_set_element_value",
                       {{"elementPath", grandchild["children"][0]["path"]}, {"value", "typed"}});
    EXPECT_EQ(set["result"]["secure"], true) << set.dump();
    Json reveal = execute("desktop_find_elements", {{"windowId", 7001}, {"title", "Reveal"}});
    Json setReveal =
        execute("desktop_set_element_value",
                {{"elementPath", reveal["result"]["matches"][0]["path"]}, {"value", "typed"}});
    EXPECT_EQ(setReveal["result"]["secure"], true);

    // Only the window's and the hint's values were ever read, and no secret left the driver.
    std::vector<std::string> read = valuesRead();
    std::sort(read.begin(), read.end());
    EXPECT_EQ(read, (std::vector<std::string>{"", "hint"})) << desktop->stats().dump();
    EXPECT_EQ(everyLine().find("SECRET"), std::string::npos);
}

// Round trips of one node, by kind: one batched read for what a node shows, one names read for
// the verdict, one value read for a readable element, nothing else.
TEST_F(Walks, ANodeCostsAtMostThreeRoundTrips) {
    struct Case {
        const char* name;
        Json child;
        int64_t roundTrips; // for the child node alone, at the depth limit
        int64_t valueReads;
    } cases[] = {
        {"button", element("AXButton", {{"title", "OK"}, {"actions", {"AXPress"}}}), 3, 1},
        {"text field with a value", element("AXTextField", {{"value", "hello"}}), 3, 1},
        {"secure field", element("AXSecureTextField", {{"value", "x"}}), 2, 0},
        {"text area of two texts: two more elements judged, two round trips each",
         element("AXTextArea", {{"value", "notes"},
                                {"children",
                                 {element("AXStaticText", {{"value", "a"}}),
                                  element("AXStaticText", {{"value", "b"}})}}}),
         3 + 4, 1},
    };
    for (const Case& c : cases) {
        load(testing::desktop(
                 {testing::app(800, "com.example.One", "One",
                               {{"windows", {testing::axWindow(8001, "One", {c.child})}}}, true)},
                 {})
                 .dump());
        platform::Accessibility& ax = *desktop;
        const platform::Element app = ax.createApplicationElement(800);
        const platform::Element window =
            *ax.copyAttributeValue(app, "AXWindows").value.list()->front().element();
        const platform::Element child = axChildren(ax, window).front();
        const Json before = desktop->stats();
        makeElementNode(ax, child, 800, std::nullopt, 0, 0);
        const Json after = desktop->stats();
        auto delta = [&](const char* call) {
            return after["calls"].value(call, int64_t{0}) - before["calls"].value(call, int64_t{0});
        };
        EXPECT_EQ(after["roundTrips"].get<int64_t>() - before["roundTrips"].get<int64_t>(),
                  c.roundTrips)
            << c.name << ": " << after["calls"].dump();
        EXPECT_EQ(delta("copyAttributeValue"), c.valueReads) << c.name;
    }
}

} // namespace
} // namespace dorvex
