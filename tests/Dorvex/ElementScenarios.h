#pragma once

// Small builders for simulated desktops whose apps carry accessibility trees, and helpers to
// look into the element nodes the driver answers with.
#include "platform/types/Json.h"
#include "support/DriverProcess.h"

#include <functional>
#include <string>
#include <vector>

namespace dorvex::testing {

inline DriverOptions onDesktop(std::string scenario) {
    DriverOptions options;
    options.scenario = std::move(scenario);
    return options;
}

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

} // namespace dorvex::testing
