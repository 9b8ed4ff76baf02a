#pragma once

// The generated window the element-walk benchmarks read: 10,000 elements on the simulated
// desktop (the window, 10 sections, 100 rows and the leaves), and the requests they time.
// Shared by uitree_bench (time and round trips) and walk_instructions (instruction counts).
#include "BenchDriver.h"
#include "Dorvex/Actions.h"
#include "platform/sim/SimDesktop.h"

#include <string>
#include <utility>
#include <vector>

namespace dorvex::bench::walks {

inline constexpr int sections = 10;
inline constexpr int rowsPerSection = 10;
inline constexpr int treeNodes = 10'000; // the window, its sections, their rows and the leaves

inline Json rect(double x, double y, double width, double height) {
    return Json{{"x", x}, {"y", y}, {"width", width}, {"height", height}};
}

// A leaf of a form-like mix: buttons, labels, text fields, check boxes and, now and then, a
// password field.
inline Json leaf(int n) {
    Json node = {{"frame", rect(n % 900, n % 700, 80, 20)}};
    switch (n % 5) {
    case 0:
        node.update({{"role", "AXButton"},
                     {"title", "Button " + std::to_string(n)},
                     {"actions", {"AXPress"}}});
        break;
    case 1:
        node.update({{"role", "AXStaticText"}, {"value", "Label " + std::to_string(n)}});
        break;
    case 2:
        node.update({{"role", "AXTextField"},
                     {"identifier", "field" + std::to_string(n)},
                     {"value", "text"}});
        if (n % 25 == 2) node["subrole"] = "AXSecureTextField";
        break;
    case 3:
        node.update({{"role", "AXCheckBox"}, {"title", "Option"}, {"value", true}});
        break;
    default:
        node.update({{"role", "AXImage"}, {"description", "icon"}});
        break;
    }
    return node;
}

inline std::string generatedDesktop(int64_t latencyUs) {
    const int leaves = treeNodes - 1 - sections - sections * rowsPerSection;
    int made = 0;
    Json sectionNodes = Json::array();
    for (int s = 0; s < sections; ++s) {
        Json rows = Json::array();
        for (int r = 0; r < rowsPerSection; ++r) {
            const int row = s * rowsPerSection + r;
            const int rowsLeft = sections * rowsPerSection - row;
            const int count = (leaves - made + rowsLeft - 1) / rowsLeft;
            Json children = Json::array();
            for (int i = 0; i < count; ++i)
                children.push_back(leaf(made++));
            rows.push_back({{"role", "AXGroup"}, {"children", children}});
        }
        sectionNodes.push_back({{"role", "AXGroup"}, {"title", "Section"}, {"children", rows}});
    }
    Json window = {{"role", "AXWindow"},
                   {"title", "Large"},
                   {"windowNumber", 4242},
                   {"children", sectionNodes}};
    Json app = {{"pid", 4000},
                {"bundleId", "com.example.Large"},
                {"name", "Large"},
                {"active", true},
                {"accessibility", {{"windows", {window}}}}};
    Json row = {{"number", 4242},       {"ownerPid", 4000},
                {"ownerName", "Large"}, {"bounds", rect(0, 0, 1000, 800)},
                {"layer", 0},           {"alpha", 1},
                {"onScreen", true}};
    Json display = {{"id", 1}, {"bounds", rect(0, 0, 1440, 900)}, {"main", true}};
    return Json{
        {"displays", {display}}, {"apps", {app}}, {"windows", {row}}, {"latencyUs", latencyUs}}
        .dump();
}

inline Json execute(const Json& action) {
    return Json{{"action", action}};
}

inline Json treeRequest() {
    return execute({{"actionType", "desktop_get_ui_tree"}, {"windowId", 4242}, {"maxDepth", 20}});
}

// No element has this title, so the search visits every element of the window.
inline Json wholeWindowSearch() {
    return execute(
        {{"actionType", "desktop_find_elements"}, {"windowId", 4242}, {"title", "no such title"}});
}

// Every element matches: 100 flat nodes, each judged and read whole.
inline Json hundredMatchesSearch() {
    return execute({{"actionType", "desktop_find_elements"}, {"windowId", 4242}, {"limit", 100}});
}

// Path elements the lookups of leafInvokes walk: 100 paths of 4 (window, section, row, leaf).
inline constexpr size_t lookupPathElements = 400;

// An invoke on each of 100 leaves, named by the paths of one tree read: every lookup walks the
// window, a section and a row to the leaf (four elements per path).
inline std::vector<Json> leafInvokes() {
    platform::sim::SimOptions options;
    options.scenarioText = generatedDesktop(0);
    platform::sim::SimDesktop desktop(std::move(options));
    BenchDriver bench(desktop);
    Reply reply = bench.driver().shared.replyTo("1");
    handleAutomationExecute(bench.driver(), treeRequest(), reply);
    const Json tree = Json::parse(bench.transport().last())["result"]["result"]["tree"];
    std::vector<Json> invokes;
    for (int i = 0; invokes.size() < 100; ++i) {
        const Json& leaf = tree["children"][i % sections]["children"][i % rowsPerSection]
                               ["children"][static_cast<size_t>(i % 90)];
        invokes.push_back(execute({{"actionType", "desktop_invoke_element_action"},
                                   {"elementPath", leaf["path"]},
                                   {"elementAction", "AXPress"}}));
    }
    return invokes;
}

} // namespace dorvex::bench::walks
