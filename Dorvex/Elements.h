#pragma once

// Accessibility elements read into plain values and JSON nodes. Every read of an element goes
// through the platform on the request thread; a failed, absent or mistyped attribute becomes
// null, an empty list or a missing key, never an error.
#include "DorvexCore/ElementBounds.h"
#include "DorvexCore/ElementPath.h"
#include "DorvexCore/SecureField.h"
#include "platform/Accessibility.h"
#include "platform/types/Json.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dorvex {

// The attribute as a string; nothing when the read fails or gives no string.
std::optional<std::string> axString(platform::Accessibility& ax, const platform::Element& element,
                                    const std::string& attribute);

// "AXChildren" in the interface's order; empty unless the read gives a list of elements.
std::vector<platform::Element> axChildren(platform::Accessibility& ax,
                                          const platform::Element& element);

// A short text for any attribute value: strings whole, numbers in decimal (booleans as 1 or
// 0), lists as "array(n)", anything else by its type name.
std::optional<std::string> valuePreview(const platform::AXValue& value);

// The fingerprint a path ends with, from role, title, identifier, subrole and description.
ElementIdentity axIdentity(platform::Accessibility& ax, const platform::Element& element);

// "AXPosition" and "AXSize" as a frame, when both read as a point and a size.
std::optional<ElementBounds::Frame> axFrame(platform::Accessibility& ax,
                                            const platform::Element& element);

// Whether the element's value may be read, judged over its attribute reads. Never reads
// "AXValue".
SecureField::Verdict secureVerdict(platform::Accessibility& ax, const platform::Element& element);

// Sets "ownerPid", and with a path "windowId" (when the path has one) and "path": the path's
// tokens with this element's identity.
void addWindowIdentity(Json& node, int32_t pid, const std::optional<ElementPath>& path,
                       const ElementIdentity& identity);

// What a node shows of one element. Every read a node makes happens in readElementNames and
// readElementDetails, so that batching the reads of a node stays a change to those two.
struct ElementReads {
    std::optional<std::string> role;
    std::optional<std::string> title;
    std::optional<std::string> identifier;
    std::optional<std::string> subrole;
    std::optional<std::string> description;
    std::vector<std::string> actions;
    Json valueFields = Json::object(); // "secure", "valuePreview" or nothing
    std::optional<ElementBounds::Frame> frame;

    ElementIdentity identity() const;
};

// Role, title and identifier: what a search filters on.
ElementReads readElementNames(platform::Accessibility& ax, const platform::Element& element);
// The rest of a node: subrole, actions, the value fields under the secure verdict (the value
// is read only for a readable element), description and frame.
void readElementDetails(platform::Accessibility& ax, const platform::Element& element,
                        ElementReads& reads);

// The node of one element without "children".
Json flatElementNode(const ElementReads& reads, int32_t pid,
                     const std::optional<ElementPath>& path);

// The node of one element and, while depth < maxDepth, of its children (depth + 1 each).
Json makeElementNode(platform::Accessibility& ax, const platform::Element& element, int32_t pid,
                     const std::optional<ElementPath>& path, int64_t depth, int64_t maxDepth);

} // namespace dorvex
