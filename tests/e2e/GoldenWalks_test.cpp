// Answers of the element walks, byte for byte: the UI tree, element search and element lookup
// by path (invoke, set value) over a generated window that holds every kind of element the
// reads tell apart, secure fields included. The expected lines are in
// tests/golden/walks-answers.jsonl; any change to how a node is read or written shows up as a
// difference here. DORVEX_UPDATE_GOLDEN=1 rewrites the file instead of comparing (for an
// intended change of the answers, to be reviewed in the diff).
#include "support/DriverProcess.h"
#include "support/Scenarios.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace dorvex::testing {
namespace {

const std::string goldenPath = std::string(DORVEX_SOURCE_DIR) + "/tests/golden/walks-answers.jsonl";

Json frame(double x, double y, double width, double height) {
    return rect(x, y, width, height);
}

// One element of each kind, numbered by section so that titles, identifiers and ids differ.
std::vector<Json> everyKind(int s) {
    const std::string n = std::to_string(s);
    Json children = Json::array();
    for (int i = 0; i < 3; ++i) {
        children.push_back(element("AXStaticText", {{"value", "line " + std::to_string(i)}}));
    }
    Json deep = element("AXTextArea", {{"children", {element("AXStaticText")}}});
    for (int level = 0; level < 4; ++level)
        deep = element("AXTextArea", {{"children", {deep}}});
    return {
        element("AXButton", {{"title", "Button " + n},
                             {"actions", {"AXPress", "AXShowMenu"}},
                             {"frame", frame(10, 20 + s, 80, 24)}}),
        element("AXStaticText", {{"value", "Label " + n}}),
        element("AXTextField", {{"id", "field" + n},
                                {"identifier", "field" + n},
                                {"value", "text " + n},
                                {"frame", frame(100.25, -3.5, 200, 22)}}),
        element("AXTextField", {{"subrole", "AXSecureTextField"},
                                {"identifier", "password" + n},
                                {"value", "secret-by-subrole-" + n}}),
        element("AXSecureTextField", {{"title", "PIN"}, {"value", "secret-by-role-" + n}}),
        element("AXCheckBox", {{"title", "Option"}, {"value", true}}),
        element("AXCheckBox", {{"title", "Off"}, {"value", false}}),
        element("AXImage", {{"description", "icon " + n}}),
        element("AXList", {{"value", {"a", "b", 3}}}),
        element("AXList", {{"value", Json::array()}}),
        element("AXSlider", {{"value", 3.5}}),
        element("AXValueIndicator", {{"value", 42}}),
        element("AXLevelIndicator", {{"value", 1e21}}),
        element("AXStaticText", {{"attributes", {{"AXValue", {{"point", {{"x", 1}, {"y", 2}}}}}}}}),
        element("AXLink", {{"value", {{"otherType", "AXURL"}}}}),
        element("AXGroup", {{"value", {{"element", "field" + n}}}}),
        Json::object(),
        element("AXButton", {{"title", "Broken"}, {"error", -25204}}),
        element("AXButton", {{"title", "Zero"}, {"frame", frame(5, 5, 0, 20)}}),
        element("AXButton", {{"title", "Flat"}, {"frame", frame(5, 5, 20, -1)}}),
        element("AXButton", {{"title", "Swapped"},
                             {"attributes",
                              {{"AXPosition", {{"size", {{"width", 1}, {"height", 2}}}}},
                               {"AXSize", {{"point", {{"x", 1}, {"y", 2}}}}}}}}),
        element("AXTextField", {{"value", "maybe"}, {"errors", {{"AXSubrole", -25204}}}}),
        element("AXTextField", {{"value", "unlisted role"}, {"unlisted", {"AXRole"}}}),
        element("AXTextField", {{"value", "no names"}, {"namesError", -25204}}),
        element("AXTextArea", {{"value", "notes " + n}, {"children", children}}),
        element("AXComboBox", {{"value", "secret-in-combo-" + n},
                               {"children",
                                {element("AXStaticText", {{"value", "hint"}}),
                                 element("AXTextField", {{"subrole", "AXSecureTextField"},
                                                         {"value", "secret-combo-field-" + n}})}}}),
        element("AXUnknown", {{"value", "grid"},
                              {"cells",
                               {element("AXStaticText", {{"value", "A1"}}),
                                element("AXStaticText", {{"value", "B1"}})}}}),
        element("AXUnknown", {{"value", "secret-grid-" + n},
                              {"cells",
                               {element("AXStaticText", {{"value", "PIN"}}),
                                element("AXSecureTextField", {{"value", "secret-cell-" + n}})}}}),
        element("AXUnknown", {{"value", "unsure-" + n},
                              {"children", {element("AXSecureTextField", {{"value", "x"}})}}}),
        element("AXUnknown", {{"value", "empty unknown"}}),
        element("AXSearchField", {{"title", "Search"}, {"value", "query"}}),
        deep,
        element("AXGroup", {{"title", "Twins"},
                            {"children",
                             {element("AXButton", {{"title", "Same"}}),
                              element("AXButton", {{"title", "Same"}})}}}),
        element("AXStaticText", {{"title", "Stra\xC3\x9F"
                                           "e \xE6\x9D\xB1 \xF0\x9F\x98\x80"},
                                 {"value", "quote \" backslash \\ line\nfeed\ttab"}}),
        element("AXButton", {{"attributes", {{"AXActions", {"AXPress", 5}}, {"AXTitle", 7}}}}),
        element("AXGroup", {{"errors", {{"AXChildren", -25204}}},
                            {"children", {element("AXButton", {{"title", "Hidden"}})}}}),
        element("AXButton", {{"value", nullptr}, {"subrole", "AXCloseButton"}}),
        element("AXGroup", {{"cells", {element("AXButton", {{"title", "Cell only"}})}}}),
        element("AXMenuButton", {{"description", "More"},
                                 {"identifier", "more" + n},
                                 {"frame", frame(1e6, 0.1, 0.5, 1e-3)}}),
    };
}

// A text area with the given number of plain children: 31 are judged, 32 exhaust a verdict.
Json crowdedArea(int count) {
    Json children = Json::array();
    for (int i = 0; i < count; ++i)
        children.push_back(element("AXButton", {{"title", "k" + std::to_string(i)}}));
    return element("AXTextArea",
                   {{"value", "crowded " + std::to_string(count)}, {"children", children}});
}

std::string goldenDesktop() {
    std::vector<Json> sections;
    for (int s = 0; s < 2; ++s) {
        sections.push_back(element("AXGroup", {{"title", "Section " + std::to_string(s)},
                                               {"children", Json(everyKind(s))}}));
    }
    sections.push_back(crowdedArea(31));
    sections.push_back(crowdedArea(32));
    Json second =
        axWindow(5002, "Palette",
                 {element("AXTextField", {{"identifier", "paletteField"}, {"value", "p"}}),
                  element("AXButton", {{"title", "Button P"}})});
    Json kinds = app(901, "com.example.Kinds", "Kinds",
                     {{"windows", {axWindow(5001, "Kinds", sections), second}}}, true);
    Json bare =
        app(902, "com.example.Bare", "Bare",
            {{"children",
              {element("AXMenuBar", {{"children",
                                      {element("AXMenuBarItem", {{"title", "File"},
                                                                 {"actions", {"AXPress"}}})}}})}}});
    return desktop({kinds, bare}, {serverWindow(5001, 901, "Kinds", rect(0, 0, 1000, 800)),
                                   serverWindow(5002, 901, "Kinds", rect(1000, 0, 300, 300))})
        .dump();
}

Json action(const std::string& type, Json fields) {
    fields["actionType"] = type;
    return Json{{"action", std::move(fields)}};
}

// Every "path" in a tree answer, parents first.
void collectPaths(const Json& node, std::vector<Json>& out) {
    if (node.contains("path")) out.push_back(node["path"]);
    for (const Json& child : node.value("children", Json::array()))
        collectPaths(child, out);
}

std::string line(const std::string& id, const Json& params) {
    return Json{
        {"jsonrpc", "2.0"}, {"id", id}, {"method", "automation.execute"}, {"params", params}}
        .dump();
}

// Sends each request and keeps the raw answer lines; element lookups use the paths of the
// first tree answer, so every node of the tree is looked up once.
std::vector<std::string> answers(DriverProcess& driver) {
    std::vector<Json> reads = {
        action("desktop_get_ui_tree", {{"windowId", 5001}, {"maxDepth", 20}}),
        action("desktop_get_ui_tree", {{"windowId", 5001}, {"maxDepth", 2}}),
        action("desktop_get_ui_tree", {{"appBundleId", "com.example.Kinds"}, {"maxDepth", 3}}),
        action("desktop_get_ui_tree", {{"appPid", 902}}),
        action("desktop_find_elements", {{"windowId", 5001}, {"limit", 100}}),
        action("desktop_find_elements",
               {{"appBundleId", "com.example.Kinds"}, {"role", "field"}, {"limit", 100}}),
        action("desktop_find_elements", {{"windowId", 5001}, {"title", "button"}, {"limit", 7}}),
        action("desktop_find_elements", {{"appPid", 902}, {"title", "file"}}),
        action("desktop_find_elements",
               {{"windowId", 5001}, {"role", "AXStaticText"}, {"identifier", "x"}}),
    };
    std::vector<std::string> lines;
    int id = 0;
    auto send = [&](const Json& params) {
        driver.send(line("g" + std::to_string(++id), params));
        std::optional<std::string> answer = driver.readRawLine(std::chrono::seconds(20));
        lines.push_back(answer.value_or("<no answer>"));
    };
    for (const Json& read : reads)
        send(read);
    std::vector<Json> paths;
    collectPaths(Json::parse(lines.front())["result"]["result"]["tree"], paths);
    for (const Json& path : paths) {
        send(action("desktop_invoke_element_action",
                    {{"elementPath", path}, {"elementAction", "AXPress"}}));
    }
    for (const Json& path : paths)
        send(action("desktop_set_element_value", {{"elementPath", path}, {"value", "golden"}}));
    // The same reads once more: values set above now show where they may.
    send(reads.front());
    send(reads[4]);
    return lines;
}

std::vector<std::string> readLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string text; std::getline(in, text);)
        lines.push_back(text);
    return lines;
}

TEST(GoldenWalks, AnswersMatchTheRecordedOnesByteForByte) {
    DriverProcess driver(onDesktop(goldenDesktop()));
    const std::vector<std::string> got = answers(driver);
    if (const char* update = std::getenv("DORVEX_UPDATE_GOLDEN"); update && *update == '1') {
        std::ofstream out(goldenPath, std::ios::trunc);
        for (const std::string& text : got)
            out << text << '\n';
        GTEST_SKIP() << "rewrote " << goldenPath;
    }
    const std::vector<std::string> expected = readLines(goldenPath);
    ASSERT_EQ(got.size(), expected.size()) << "the number of answers changed";
    for (size_t i = 0; i < got.size(); ++i) {
        // One line each, so a difference names the request it belongs to.
        EXPECT_EQ(got[i], expected[i]) << "answer " << i + 1 << " differs";
    }
}

} // namespace
} // namespace dorvex::testing
