#pragma once

// Small builders for simulated desktops whose apps carry accessibility trees, and helpers to
// look into the element nodes the driver answers with. Plain JSON: in-process tests load the
// scenarios into a simulated desktop, end-to-end tests hand them to the built driver.
#include "platform/types/Json.h"

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace dorvex::testing {

inline Json rect(double x, double y, double width, double height) {
    return Json{{"x", x}, {"y", y}, {"width", width}, {"height", height}};
}

// An element: its role plus any other scenario keys ("id", "title", "value", "children", ...).
inline Json element(const std::string& role, Json fields = Json::object()) {
    Json node = Json{{"role", role}};
    node.update(fields);
    return node;
}

// Lists are taken as vectors: a braced list holding a single Json would otherwise copy that
// element rather than make a list of it, depending on the compiler.
inline Json axWindow(int64_t number, const std::string& title, std::vector<Json> children) {
    return Json{{"role", "AXWindow"},
                {"title", title},
                {"windowNumber", number},
                {"children", Json(std::move(children))}};
}

// A running app; `accessibility` is the application element ("windows", "children").
inline Json app(int64_t pid, const std::string& bundleId, const std::string& name,
                Json accessibility, bool active = false) {
    return Json{{"pid", pid},
                {"bundleId", bundleId},
                {"name", name},
                {"active", active},
                {"accessibility", std::move(accessibility)}};
}

// A row of the window server's list.
inline Json serverWindow(int64_t number, int64_t ownerPid, const std::string& ownerName,
                         Json bounds) {
    return Json{{"number", number}, {"ownerPid", ownerPid}, {"ownerName", ownerName},
                {"bounds", bounds}, {"layer", 0},           {"alpha", 1},
                {"onScreen", true}};
}

inline Json desktop(std::vector<Json> apps, std::vector<Json> windows,
                    Json extra = Json::object()) {
    Json scenario =
        Json{{"displays", {{{"id", 1}, {"bounds", rect(0, 0, 1440, 900)}, {"main", true}}}},
             {"apps", std::move(apps)},
             {"windows", std::move(windows)}};
    scenario.update(extra);
    return scenario;
}

// Every node of a tree, parents before children.
inline void eachNode(const Json& node, const std::function<void(const Json&)>& visit) {
    visit(node);
    if (node.contains("children")) {
        for (const Json& child : node["children"])
            eachNode(child, visit);
    }
}

// The first node whose key has the value, or null.
inline Json findNode(const Json& tree, const std::string& key, const Json& value) {
    Json found;
    eachNode(tree, [&](const Json& node) {
        if (found.is_null() && node.contains(key) && node[key] == value) found = node;
    });
    return found;
}

// Levels below the root: a root without children has depth 0.
inline int treeDepth(const Json& node) {
    int deepest = 0;
    for (const Json& child : node.value("children", Json::array())) {
        deepest = std::max(deepest, 1 + treeDepth(child));
    }
    return deepest;
}

// A titled row of the window server's list.
inline Json titledWindow(int64_t number, int64_t ownerPid, const char* ownerName, const char* title,
                         Json frame, bool onScreen) {
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
inline Json windowTargetingDesktop() {
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
                    {"frame", rect(50.5, 50, 640, 479)}}}}}}};
    Json helper{{"pid", 700}, {"name", "Helper"}};
    Json unnumbered{{"ownerPid", 600}, {"ownerName", "Other"}, {"onScreen", true}};
    Json bare{{"number", 50}, {"ownerPid", 600}, {"onScreen", true}};
    Json desktop = titledWindow(2, 312, "Finder", "", rect(0, 0, 1440, 900), true);
    desktop["desktopElement"] = true;
    return Json{
        {"displays",
         {{{"id", 1}, {"bounds", rect(0, 0, 1440, 900)}, {"scale", 2}, {"main", true}}}},
        {"apps", {textEdit, secondTextEdit, other, helper}},
        {"windows",
         {titledWindow(13, 501, "TextEdit", "Save", rect(300, 150, 400, 200), true),
          titledWindow(10, 501, "TextEdit", "Doc 1", rect(200, 120, 800, 600), true),
          titledWindow(20, 600, "Other", "Other main", rect(50, 50, 640, 480), true),
          titledWindow(11, 501, "TextEdit", "Minimized", rect(0, 0, 500, 400), false),
          titledWindow(12, 502, "TextEdit", "Doc 2", rect(900, 100, 400, 300), true),
          titledWindow(30, 4242, "Exited Helper", "Leftover", rect(900, 500, 200, 100), true),
          unnumbered, bare, desktop}}};
}

} // namespace dorvex::testing
