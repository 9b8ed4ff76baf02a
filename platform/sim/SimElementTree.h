#pragma once

// The accessibility tree of one simulated application: plain nodes in one vector, the
// application element first. Reads, actions and value changes are answered here the way the
// accessibility interface answers them, with its error codes; the desktop binding only adds
// handles and locking.
#include "platform/Platform.h"
#include "platform/types/Json.h"

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace dorvex::platform::sim {

// An element of some application's tree, by that application's pid and the node's index.
struct SimNodeRef {
    int32_t pid = 0;
    uint32_t index = 0;
    friend bool operator==(const SimNodeRef&, const SimNodeRef&) = default;
};

// A reference written in a scenario by an element's "id"; resolved when it is read.
struct SimElementId {
    std::string id;
};

struct SimValue;
using SimValueList = std::vector<SimValue>;
struct SimValue {
    std::variant<std::monostate, std::string, AXNumber, SimValueList, SimElementId, SimNodeRef,
                 Point, Size, AXOtherType>
        value;
};

// An entry of "AXChildren" or "AXCells" that names an element defined elsewhere (by its id):
// how a scenario lists an element again, its own ancestors included, to make a tree that loops.
struct SimListedReference {
    size_t position = 0; // in the list the attribute answers
    std::string id;
};

struct SimNode {
    std::string id;
    std::optional<uint32_t> parent;
    std::vector<uint32_t> windows;  // the application element only
    std::vector<uint32_t> children; // for the application element: its windows first
    std::vector<uint32_t> cells;
    bool hasCells = false;
    std::vector<SimListedReference> childReferences;          // listed in "AXChildren", not owned
    std::vector<SimListedReference> cellReferences;           // listed in "AXCells", not owned
    std::vector<std::pair<std::string, SimValue>> attributes; // in the order they were given
    std::optional<std::vector<std::string>> actions;
    std::map<std::string, int32_t> attributeErrors;
    std::map<std::string, int32_t> actionErrors;
    std::map<std::string, int32_t> setErrors;
    std::optional<int32_t> error;      // every call on the element fails with it
    std::optional<int32_t> namesError; // the attribute-name list fails with it
    std::set<std::string> unlisted;
    std::optional<std::set<std::string>> settable;
    std::optional<uint32_t> windowNumber;
};

struct SimTree {
    std::vector<SimNode> nodes;    // nodes[0] is the application element
    std::optional<uint32_t> focus; // the element with the keyboard focus in this app
};

struct SimAttributeRead {
    int32_t code = axerr::failure;
    SimValue value;
};

// Builds a tree from its scenario form; throws ScenarioError. A missing root gives an
// application element with the default role and title only.
SimTree parseTree(const Json* root, const std::string& path,
                  const std::optional<std::string>& appName);
SimValue parseValue(const Json& value, const std::string& path);

SimAttributeRead readAttribute(const SimTree& tree, int32_t pid, uint32_t index,
                               std::string_view name);
AXNamesResult attributeNames(const SimTree& tree, uint32_t index);
int32_t performAction(const SimTree& tree, uint32_t index, const std::string& action);
int32_t setStringAttribute(SimTree& tree, uint32_t index, const std::string& attribute,
                           const std::string& value);

const SimValue* explicitAttribute(const SimNode& node, std::string_view name);
std::optional<std::string> stringAttribute(const SimNode& node, std::string_view name);
std::optional<Rect> nodeFrame(const SimNode& node);
void setFrame(SimNode& node, Rect frame);

// Whether the element is a secure text field, sits inside one or holds one: its values must
// never be written anywhere.
bool touchesSecureText(const SimTree& tree, uint32_t index);

// Hit testing inside one window: the deepest descendant whose frame holds the point; among
// overlapping siblings the later one, which is drawn in front.
uint32_t deepestAt(const SimTree& tree, uint32_t from, Point point);
std::optional<uint32_t> nodeWithWindowNumber(const SimTree& tree, uint32_t windowNumber);
std::optional<uint32_t> nodeWithId(const SimTree& tree, const std::string& id);

// Text fields, text areas, secure fields and combo boxes: what a click focuses and typing
// edits.
bool acceptsText(const SimNode& node);

// Typing into the element: appends the text to its string "AXValue" (a value of another type,
// or none, starts empty). `erase` first removes that many characters (code points) from the
// end. False when the element does not respond (its `error`).
bool typeInto(SimNode& node, std::size_t erase, const std::string& text);

// Every element id referenced by a value of the tree, to check them against the scenario.
void collectReferences(const SimTree& tree, std::vector<std::string>& out);

bool contains(const Rect& rect, Point point);

} // namespace dorvex::platform::sim
