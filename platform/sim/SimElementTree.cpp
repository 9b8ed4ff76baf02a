#include "platform/sim/SimElementTree.h"

#include "platform/sim/SimJsonReader.h"

#include <algorithm>
#include <array>

namespace dorvex::platform::sim {
namespace {

constexpr int maxTreeDepth = 1000; // deep enough for any real window, shallow enough for a stack
constexpr std::array<std::string_view, 3> topLevelRoles{"AXWindow", "AXSheet", "AXDrawer"};
constexpr std::string_view secureRole = "AXSecureTextField";
constexpr std::array<std::string_view, 5> textRoles{
    "AXTextField", "AXTextArea", "AXSecureTextField", "AXComboBox", "AXSearchField"};

// Keys of an element that stand for one attribute each.
constexpr std::array<std::pair<const char*, const char*>, 6> stringShortcuts{{
    {"role", "AXRole"},
    {"subrole", "AXSubrole"},
    {"title", "AXTitle"},
    {"identifier", "AXIdentifier"},
    {"description", "AXDescription"},
    {"value", "AXValue"},
}};

std::map<std::string, int32_t> readCodes(ObjectReader& reader, const char* key) {
    std::map<std::string, int32_t> codes;
    if (const Json* object = reader.object(key)) {
        for (const auto& [name, code] : object->items()) {
            codes[name] = readCode(code, reader.pathOf(key) + "." + name);
        }
    }
    return codes;
}

std::vector<std::string> readNames(ObjectReader& reader, const char* key) {
    std::vector<std::string> names;
    if (const Json* array = reader.array(key)) {
        for (size_t i = 0; i < array->size(); ++i) {
            const Json& name = (*array)[i];
            if (!name.is_string()) {
                refuse(reader.pathOf(key) + "[" + std::to_string(i) + "]", "expected a string");
            }
            names.push_back(name.get<std::string>());
        }
    }
    return names;
}

class TreeBuilder {
public:
    explicit TreeBuilder(const std::optional<std::string>& appName) : appName_(appName) {}

    uint32_t add(const Json& value, const std::string& path, std::optional<uint32_t> parent,
                 int depth) {
        if (depth > maxTreeDepth) refuse(path, "tree too deep");
        uint32_t index = static_cast<uint32_t>(tree.nodes.size());
        tree.nodes.emplace_back();
        tree.nodes[index].parent = parent;
        ObjectReader reader(value, path);
        SimNode node = readOwnFields(reader, index == 0);
        node.parent = parent;
        tree.nodes[index] = std::move(node);
        addChildren(reader, index, depth);
        reader.finish();
        return index;
    }

    SimTree tree;

private:
    SimNode readOwnFields(ObjectReader& reader, bool isRoot) {
        SimNode node;
        node.id = reader.string("id").value_or("");
        readAttributes(reader, node, isRoot);
        if (reader.has("actions")) node.actions = readNames(reader, "actions");
        node.actionErrors = readCodes(reader, "actionErrors");
        node.attributeErrors = readCodes(reader, "errors");
        node.setErrors = readCodes(reader, "setErrors");
        if (const Json* code = reader.raw("error"))
            node.error = readCode(*code, reader.pathOf("error"));
        if (const Json* code = reader.raw("namesError")) {
            node.namesError = readCode(*code, reader.pathOf("namesError"));
        }
        for (std::string& name : readNames(reader, "unlisted"))
            node.unlisted.insert(name);
        if (reader.has("settable")) {
            std::vector<std::string> names = readNames(reader, "settable");
            node.settable = std::set<std::string>(names.begin(), names.end());
        }
        if (auto number = reader.integer("windowNumber", 1, UINT32_MAX)) {
            node.windowNumber = static_cast<uint32_t>(*number);
        }
        if (node.actions) {
            SimValueList list;
            for (const std::string& action : *node.actions)
                list.push_back({action});
            addAttribute(node, "AXActions", {std::move(list)}, reader.pathOf("actions"));
        }
        return node;
    }

    void readAttributes(ObjectReader& reader, SimNode& node, bool isRoot) {
        for (const auto& [key, attribute] : stringShortcuts) {
            if (const Json* value = reader.raw(key)) {
                addAttribute(node, attribute, parseValue(*value, reader.pathOf(key)), key);
            }
        }
        if (isRoot && !reader.has("role")) addAttribute(node, "AXRole", {"AXApplication"}, "");
        if (isRoot && !reader.has("title") && appName_) {
            addAttribute(node, "AXTitle", {*appName_}, "");
        }
        if (std::optional<Rect> frame = reader.rect("frame")) setFrame(node, *frame);
        if (const Json* attributes = reader.object("attributes")) {
            for (const auto& [name, value] : attributes->items()) {
                std::string path = reader.pathOf("attributes") + "." + name;
                addAttribute(node, name, parseValue(value, path), path);
            }
        }
    }

    static void addAttribute(SimNode& node, const std::string& name, SimValue value,
                             const std::string& path) {
        if (explicitAttribute(node, name)) refuse(path, name + " is given twice");
        node.attributes.emplace_back(name, std::move(value));
    }

    void addChildren(ObjectReader& reader, uint32_t index, int depth) {
        if (const Json* windows = reader.array("windows")) {
            if (index != 0) refuse(reader.pathOf("windows"), "only the application has windows");
            std::vector<SimListedReference> references;
            for (uint32_t child :
                 addList(*windows, reader.pathOf("windows"), index, depth, references)) {
                tree.nodes[index].windows.push_back(child);
                tree.nodes[index].children.push_back(child);
            }
            if (!references.empty()) {
                refuse(reader.pathOf("windows"), "windows are defined in place, not referenced");
            }
        }
        if (const Json* children = reader.array("children")) {
            // The application element lists its windows first.
            const size_t windows = tree.nodes[index].children.size();
            std::vector<SimListedReference> references;
            for (uint32_t child :
                 addList(*children, reader.pathOf("children"), index, depth, references)) {
                tree.nodes[index].children.push_back(child);
            }
            for (SimListedReference& reference : references)
                reference.position += windows;
            tree.nodes[index].childReferences = std::move(references);
        }
        if (const Json* cells = reader.array("cells")) {
            tree.nodes[index].hasCells = true;
            std::vector<SimListedReference> references;
            std::vector<uint32_t> added =
                addList(*cells, reader.pathOf("cells"), index, depth, references);
            tree.nodes[index].cells = std::move(added);
            tree.nodes[index].cellReferences = std::move(references);
        }
    }

    // The elements of a list, added as children of `parent`; an item {"element": "<id>"} is a
    // reference to an element defined elsewhere and only remembered with its position.
    std::vector<uint32_t> addList(const Json& list, const std::string& path, uint32_t parent,
                                  int depth, std::vector<SimListedReference>& references) {
        std::vector<uint32_t> added;
        for (size_t i = 0; i < list.size(); ++i) {
            const std::string itemPath = path + "[" + std::to_string(i) + "]";
            if (const std::optional<std::string> id = referenceItem(list[i], itemPath)) {
                references.push_back({i, *id});
                continue;
            }
            added.push_back(add(list[i], itemPath, parent, depth + 1));
        }
        return added;
    }

    static std::optional<std::string> referenceItem(const Json& item, const std::string& path) {
        if (!item.is_object() || !item.contains("element")) return std::nullopt;
        if (item.size() != 1 || !item["element"].is_string()) {
            refuse(path, "a listed reference is {\"element\": \"<id>\"} alone");
        }
        return item["element"].get<std::string>();
    }

    const std::optional<std::string>& appName_;
};

// Owned elements in order, with the references put back at their positions.
SimValue nodeList(int32_t pid, const std::vector<uint32_t>& indices,
                  const std::vector<SimListedReference>& references = {}) {
    SimValueList list;
    list.reserve(indices.size() + references.size());
    auto reference = references.begin();
    auto owned = indices.begin();
    while (owned != indices.end() || reference != references.end()) {
        if (reference != references.end() && reference->position == list.size()) {
            list.emplace_back().value = SimElementId{reference->id};
            ++reference;
        } else if (owned != indices.end()) {
            list.emplace_back().value = SimNodeRef{pid, *owned++};
        } else {
            list.emplace_back().value = SimElementId{(reference++)->id};
        }
    }
    return {std::move(list)};
}

bool isTopLevel(const SimNode& node) {
    std::optional<std::string> role = stringAttribute(node, "AXRole");
    return role &&
           std::find(topLevelRoles.begin(), topLevelRoles.end(), *role) != topLevelRoles.end();
}

std::optional<uint32_t> topLevelOf(const SimTree& tree, uint32_t index) {
    for (std::optional<uint32_t> at = index; at; at = tree.nodes[*at].parent) {
        if (isTopLevel(tree.nodes[*at])) return at;
    }
    return std::nullopt;
}

// The attributes the tree itself answers: parent, children, windows, cells and top level.
std::optional<SimValue> derivedAttribute(const SimTree& tree, int32_t pid, uint32_t index,
                                         std::string_view name) {
    const SimNode& node = tree.nodes[index];
    if (name == "AXParent" && node.parent) return SimValue{SimNodeRef{pid, *node.parent}};
    if (name == "AXChildren") return nodeList(pid, node.children, node.childReferences);
    if (name == "AXWindows" && index == 0) return nodeList(pid, node.windows);
    if (name == "AXCells" && node.hasCells) return nodeList(pid, node.cells, node.cellReferences);
    if (name == "AXFocusedUIElement" && index == 0 && tree.focus) {
        return SimValue{SimNodeRef{pid, *tree.focus}};
    }
    if (name == "AXTopLevelUIElement") {
        if (std::optional<uint32_t> top = topLevelOf(tree, index)) {
            return SimValue{SimNodeRef{pid, *top}};
        }
    }
    return std::nullopt;
}

constexpr std::array<std::string_view, 6> derivedNames{
    "AXParent", "AXChildren", "AXWindows", "AXCells", "AXTopLevelUIElement", "AXFocusedUIElement"};

bool isSecureNode(const SimNode& node) {
    return stringAttribute(node, "AXRole") == secureRole ||
           stringAttribute(node, "AXSubrole") == secureRole;
}

bool holdsSecureText(const SimTree& tree, uint32_t index) {
    const SimNode& node = tree.nodes[index];
    if (isSecureNode(node)) return true;
    auto below = [&](uint32_t child) { return holdsSecureText(tree, child); };
    return std::any_of(node.children.begin(), node.children.end(), below) ||
           std::any_of(node.cells.begin(), node.cells.end(), below);
}

void collectValueReferences(const SimValue& value, std::vector<std::string>& out) {
    if (const auto* id = std::get_if<SimElementId>(&value.value)) out.push_back(id->id);
    if (const auto* list = std::get_if<SimValueList>(&value.value)) {
        for (const SimValue& item : *list)
            collectValueReferences(item, out);
    }
}

} // namespace

SimValue parseValue(const Json& value, const std::string& path) {
    if (value.is_null()) return {};
    if (value.is_string()) return {value.get<std::string>()};
    if (value.is_boolean()) return {AXNumber{value.get<bool>() ? 1.0 : 0.0, true}};
    if (value.is_number()) return {AXNumber{value.get<double>(), false}};
    if (value.is_array()) {
        SimValueList list;
        for (size_t i = 0; i < value.size(); ++i) {
            list.push_back(parseValue(value[i], path + "[" + std::to_string(i) + "]"));
        }
        return {std::move(list)};
    }
    if (value.size() != 1) refuse(path, "a typed value has exactly one key");
    if (value.contains("point")) return {readPoint(value["point"], path + ".point")};
    if (value.contains("size")) return {readSize(value["size"], path + ".size")};
    if (value.contains("element") && value["element"].is_string()) {
        return {SimElementId{value["element"].get<std::string>()}};
    }
    if (value.contains("otherType") && value["otherType"].is_string()) {
        return {AXOtherType{value["otherType"].get<std::string>()}};
    }
    refuse(path, "expected \"point\", \"size\", \"element\" or \"otherType\"");
}

SimTree parseTree(const Json* root, const std::string& path,
                  const std::optional<std::string>& appName) {
    TreeBuilder builder(appName);
    builder.add(root ? *root : Json::object(), path, std::nullopt, 0);
    return std::move(builder.tree);
}

SimAttributeRead readAttribute(const SimTree& tree, int32_t pid, uint32_t index,
                               std::string_view name) {
    const SimNode& node = tree.nodes[index];
    if (node.error) return {*node.error, {}};
    if (auto found = node.attributeErrors.find(std::string(name));
        found != node.attributeErrors.end()) {
        return {found->second, {}};
    }
    if (const SimValue* value = explicitAttribute(node, name)) return {axerr::success, *value};
    if (std::optional<SimValue> derived = derivedAttribute(tree, pid, index, name)) {
        return {axerr::success, std::move(*derived)};
    }
    return {axerr::attributeUnsupported, {}};
}

AXNamesResult attributeNames(const SimTree& tree, uint32_t index) {
    const SimNode& node = tree.nodes[index];
    if (node.error) return {*node.error, {}};
    if (node.namesError) return {*node.namesError, {}};
    std::vector<std::string> names;
    auto add = [&](const std::string& name) {
        if (node.unlisted.contains(name)) return;
        if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    };
    for (const auto& [name, unused] : node.attributes)
        add(name);
    for (std::string_view name : derivedNames) {
        if (derivedAttribute(tree, 0, index, name)) add(std::string(name));
    }
    for (const auto& [name, unused] : node.attributeErrors)
        add(name);
    return {axerr::success, std::move(names)};
}

int32_t performAction(const SimTree& tree, uint32_t index, const std::string& action) {
    const SimNode& node = tree.nodes[index];
    if (node.error) return *node.error;
    if (auto found = node.actionErrors.find(action); found != node.actionErrors.end()) {
        return found->second;
    }
    if (node.actions &&
        std::find(node.actions->begin(), node.actions->end(), action) != node.actions->end()) {
        return axerr::success;
    }
    return axerr::actionUnsupported;
}

int32_t setStringAttribute(SimTree& tree, uint32_t index, const std::string& attribute,
                           const std::string& value) {
    SimNode& node = tree.nodes[index];
    if (node.error) return *node.error;
    if (auto found = node.setErrors.find(attribute); found != node.setErrors.end()) {
        return found->second;
    }
    bool present = explicitAttribute(node, attribute) != nullptr;
    bool settable =
        node.settable ? node.settable->contains(attribute) : attribute == "AXValue" && present;
    if (!settable) {
        bool known = present || derivedAttribute(tree, 0, index, attribute).has_value();
        return known ? axerr::failure : axerr::attributeUnsupported;
    }
    for (auto& [name, stored] : node.attributes) {
        if (name == attribute) {
            stored = SimValue{value};
            return axerr::success;
        }
    }
    node.attributes.emplace_back(attribute, SimValue{value});
    return axerr::success;
}

const SimValue* explicitAttribute(const SimNode& node, std::string_view name) {
    for (const auto& [key, value] : node.attributes) {
        if (key == name) return &value;
    }
    return nullptr;
}

std::optional<std::string> stringAttribute(const SimNode& node, std::string_view name) {
    const SimValue* value = explicitAttribute(node, name);
    if (!value) return std::nullopt;
    const auto* text = std::get_if<std::string>(&value->value);
    return text ? std::optional<std::string>(*text) : std::nullopt;
}

std::optional<Rect> nodeFrame(const SimNode& node) {
    const SimValue* position = explicitAttribute(node, "AXPosition");
    const SimValue* size = explicitAttribute(node, "AXSize");
    if (!position || !size) return std::nullopt;
    const auto* point = std::get_if<Point>(&position->value);
    const auto* extent = std::get_if<Size>(&size->value);
    if (!point || !extent) return std::nullopt;
    return Rect{point->x, point->y, extent->width, extent->height};
}

void setFrame(SimNode& node, Rect frame) {
    if (explicitAttribute(node, "AXPosition") || explicitAttribute(node, "AXSize")) return;
    node.attributes.emplace_back("AXPosition", SimValue{Point{frame.x, frame.y}});
    node.attributes.emplace_back("AXSize", SimValue{Size{frame.width, frame.height}});
}

bool touchesSecureText(const SimTree& tree, uint32_t index) {
    for (std::optional<uint32_t> at = index; at; at = tree.nodes[*at].parent) {
        if (isSecureNode(tree.nodes[*at])) return true;
    }
    return holdsSecureText(tree, index);
}

uint32_t deepestAt(const SimTree& tree, uint32_t from, Point point) {
    uint32_t at = from;
    for (;;) {
        const std::vector<uint32_t>& children = tree.nodes[at].children;
        auto hit = std::find_if(children.rbegin(), children.rend(), [&](uint32_t child) {
            std::optional<Rect> frame = nodeFrame(tree.nodes[child]);
            return frame && contains(*frame, point);
        });
        if (hit == children.rend()) return at;
        at = *hit;
    }
}

std::optional<uint32_t> nodeWithWindowNumber(const SimTree& tree, uint32_t windowNumber) {
    for (uint32_t index = 0; index < tree.nodes.size(); ++index) {
        if (tree.nodes[index].windowNumber == windowNumber) return index;
    }
    return std::nullopt;
}

std::optional<uint32_t> nodeWithId(const SimTree& tree, const std::string& id) {
    for (uint32_t index = 0; index < tree.nodes.size(); ++index) {
        if (!id.empty() && tree.nodes[index].id == id) return index;
    }
    return std::nullopt;
}

bool acceptsText(const SimNode& node) {
    std::optional<std::string> role = stringAttribute(node, "AXRole");
    return role && std::find(textRoles.begin(), textRoles.end(), *role) != textRoles.end();
}

bool typeInto(SimNode& node, std::size_t erase, const std::string& text) {
    if (node.error) return false;
    SimValue* stored = nullptr;
    for (auto& [name, value] : node.attributes) {
        if (name == "AXValue") stored = &value;
    }
    if (!stored) stored = &node.attributes.emplace_back("AXValue", SimValue{}).second;
    auto* current = std::get_if<std::string>(&stored->value);
    std::string edited = current ? *current : std::string();
    for (; erase > 0 && !edited.empty(); --erase) {
        // Drop continuation bytes, then the lead byte: one code point.
        while (!edited.empty() && (static_cast<unsigned char>(edited.back()) & 0xC0) == 0x80) {
            edited.pop_back();
        }
        if (!edited.empty()) edited.pop_back();
    }
    stored->value = edited + text;
    return true;
}

void collectReferences(const SimTree& tree, std::vector<std::string>& out) {
    for (const SimNode& node : tree.nodes) {
        for (const auto& [name, value] : node.attributes)
            collectValueReferences(value, out);
        for (const SimListedReference& reference : node.childReferences)
            out.push_back(reference.id);
        for (const SimListedReference& reference : node.cellReferences)
            out.push_back(reference.id);
    }
}

bool contains(const Rect& rect, Point point) {
    return point.x >= rect.x && point.y >= rect.y && point.x < rect.x + rect.width &&
           point.y < rect.y + rect.height;
}

} // namespace dorvex::platform::sim
