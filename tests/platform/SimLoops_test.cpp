// Trees that loop on the simulated desktop: elements listed again by id in "children" and
// "cells", element equality across handles, and which calls count as round trips.
#include "support/SimDesktops.h"

#include <gtest/gtest.h>

namespace dorvex::platform::sim {
namespace {

using testing::desktopFrom;
using testing::elementsOf;
using testing::stringOf;

Json ref(const std::string& id) {
    return Json{{"element", id}};
}

// Loops (pid 100): its application element lists its window and then the window again.
//   AXWindow w: [button a, (w again), AXGroup g: [(a again), (g again)]], cells [(a again)]
Json loopingScenario() {
    Json group = {{"id", "g"}, {"role", "AXGroup"}, {"children", {ref("a"), ref("g")}}};
    Json window = {{"id", "w"},
                   {"role", "AXWindow"},
                   {"windowNumber", 10},
                   {"children", {{{"id", "a"}, {"role", "AXButton"}}, ref("w"), group}},
                   {"cells", {ref("a")}}};
    return Json{{"apps",
                 {{{"pid", 100},
                   {"name", "Loops"},
                   {"accessibility", {{"windows", {window}}, {"children", {ref("w")}}}}}}}};
}

TEST(SimLoops, ListedReferencesAnswerTheSameElementsAtTheirPositions) {
    auto desktop = desktopFrom(loopingScenario());
    auto same = [&](const Element& x, const Element& y) { return desktop->sameElement(x, y); };
    const Element app = desktop->createApplicationElement(100);

    // The application element lists its windows first, then its children.
    std::vector<Element> top = elementsOf(*desktop, app, "AXChildren");
    ASSERT_EQ(top.size(), 2u);
    EXPECT_TRUE(same(top[0], top[1]));
    const Element window = top[0];
    EXPECT_EQ(elementsOf(*desktop, app, "AXWindows").size(), 1u);

    std::vector<Element> children = elementsOf(*desktop, window, "AXChildren");
    ASSERT_EQ(children.size(), 3u);
    EXPECT_EQ(stringOf(*desktop, children[0], "AXRole"), "AXButton");
    EXPECT_TRUE(same(children[1], window));
    EXPECT_EQ(stringOf(*desktop, children[2], "AXRole"), "AXGroup");

    std::vector<Element> inGroup = elementsOf(*desktop, children[2], "AXChildren");
    ASSERT_EQ(inGroup.size(), 2u);
    EXPECT_TRUE(same(inGroup[0], children[0]));
    EXPECT_TRUE(same(inGroup[1], children[2]));
    EXPECT_FALSE(same(inGroup[0], inGroup[1]));

    std::vector<Element> cells = elementsOf(*desktop, window, "AXCells");
    ASSERT_EQ(cells.size(), 1u);
    EXPECT_TRUE(same(cells[0], children[0]));

    // A listed element keeps the one parent where it is defined.
    AXAttributeResult parent = desktop->copyAttributeValue(inGroup[0], "AXParent");
    ASSERT_NE(parent.value.element(), nullptr);
    EXPECT_TRUE(same(*parent.value.element(), window));
}

TEST(SimLoops, RefusesReferencesThatNameNothingOrCarryMore) {
    struct Case {
        const char* name;
        Json windowChildren;
        Json appKeys;
        const char* reason;
    } cases[] = {
        {"unknown id", Json::array({ref("nowhere")}), Json::object(), "nowhere"},
        {"a reference with more keys", Json::array({{{"element", "w"}, {"role", "AXButton"}}}),
         Json::object(), "a listed reference is"},
        {"an id that is not a string", Json::array({{{"element", 3}}}), Json::object(),
         "a listed reference is"},
        {"a referenced window", Json::array(), Json{{"windows", {ref("w")}}},
         "windows are defined in place"},
    };
    for (const Case& c : cases) {
        Json accessibility = {
            {"windows", {{{"id", "w"}, {"role", "AXWindow"}, {"children", c.windowChildren}}}}};
        if (c.appKeys.contains("windows")) {
            accessibility["windows"].push_back(c.appKeys["windows"][0]);
        }
        Json scenario = {{"apps", {{{"pid", 100}, {"accessibility", accessibility}}}}};
        SimOptions options;
        options.scenarioText = scenario.dump();
        SimDesktop desktop(options);
        ASSERT_TRUE(desktop.lastLoadError().has_value()) << c.name;
        EXPECT_NE(desktop.lastLoadError()->find(c.reason), std::string::npos)
            << c.name << ": " << *desktop.lastLoadError();
    }
}

TEST(SimLoops, CallsAnsweredInTheDriversProcessAreNoRoundTrips) {
    auto desktop = desktopFrom(loopingScenario());
    const Element app = desktop->createApplicationElement(100);
    const Json before = desktop->stats();
    const Element window = elementsOf(*desktop, app, "AXWindows").at(0);
    EXPECT_TRUE(desktop->sameElement(window, elementsOf(*desktop, app, "AXChildren").at(1)));
    EXPECT_EQ(desktop->elementPid(window).pid, 100);
    const Json after = desktop->stats();

    auto delta = [&](const Json& a, const Json& b, const char* key) {
        return b[key].get<int64_t>() - a[key].get<int64_t>();
    };
    EXPECT_EQ(delta(before, after, "roundTrips"), 2); // the two attribute reads
    EXPECT_EQ(delta(before, after, "localCalls"), 2); // the comparison and the pid
    EXPECT_EQ(after["calls"]["sameElement"], 1);
    int64_t calls = 0;
    for (const auto& [name, count] : after["calls"].items())
        calls += count.get<int64_t>();
    EXPECT_EQ(after["roundTrips"].get<int64_t>() + after["localCalls"].get<int64_t>(), calls);
}

} // namespace
} // namespace dorvex::platform::sim
