#pragma once

// Accessibility elements read into plain values and JSON nodes. Every read of an element goes
// through the platform on the request thread; a failed, absent or mistyped attribute becomes
// null, an empty list or a missing key, never an error.
#include "DorvexCore/ElementBounds.h"
#include "DorvexCore/ElementPath.h"
#include "DorvexCore/SecureField.h"
#include "DorvexCore/WalkLimits.h"
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

// One step of a path lookup, in one round trip: the element's children, and whether its role
// or subrole marks a secure text field.
struct PathStep {
    std::vector<platform::Element> children;
    bool secureField = false;
};
PathStep readPathStep(platform::Accessibility& ax, const platform::Element& element);

// One request's walk over an accessibility tree: the platform, the visit budget that every
// walk of the request shares (secure-field verdicts below the elements included), and the
// branch the walk stands on, so that an element listed again below itself is noticed.
struct TreeWalk {
    explicit TreeWalk(platform::Accessibility& accessibility,
                      int64_t visits = WalkLimits::requestVisits)
        : ax(accessibility), budget(visits) {}

    platform::Accessibility& ax;
    WalkLimits::VisitBudget budget;
    std::vector<platform::Element> branch; // the ancestors of the element being read, root first

    // Whether the element equals one of the branch (platform equality).
    bool repeats(const platform::Element& element);
};

// The value keys of a node, as SecureField::valueFields gives them for the verdict: "secure"
// true, "valuePreview" (the preview, or null), or none.
struct NodeValue {
    SecureField::Verdict verdict = SecureField::Verdict::unknown;
    std::optional<std::string> preview; // read only for a readable element

    Json fields() const;
};

// What a node shows of one element, from one batched read: role, title, identifier, subrole,
// actions, description, position and size, and the children (and cells, for the verdict). The value
// is never part of it: it is read, if at all, only after the element's secure-field verdict.
struct ElementReads {
    std::optional<std::string> role;
    std::optional<std::string> title;
    std::optional<std::string> identifier;
    std::optional<std::string> subrole;
    std::optional<std::string> description;
    std::vector<std::string> actions;
    NodeValue value; // "secure", "valuePreview" or nothing
    std::optional<ElementBounds::Frame> frame;
    // Its role or subrole marks a secure text field: everything below it is part of the secret.
    bool secureField = false;
    // The raw answers the secure-field verdict looks at, so it need not read them again.
    platform::AXAttributesResult batch;

    ElementIdentity identity() const;
    // "AXChildren" as read (empty unless a list of elements), moved out of the batch: once the
    // verdict is made the batch is not looked at again.
    std::vector<platform::Element> takeChildren();
};

// One round trip for everything a node shows but its value, and its children.
ElementReads readElement(platform::Accessibility& ax, const platform::Element& element);

// The value keys of a node: "secure" for an element inside a secure field (nothing is read),
// otherwise the verdict's fields, the value read last and only for a readable element.
NodeValue nodeValue(TreeWalk& walk, const platform::Element& element, const ElementReads& reads,
                    bool insideSecureField);

// Appends the node of one element without "children" as compact JSON text: its role, title,
// identifier, subrole, actions, value keys, owner, path (when `path` is given, completed with
// the element's identity) and bounds.
void writeFlatNode(const ElementReads& reads, int32_t pid, const std::optional<ElementPath>& path,
                   std::string& out);

// A tree of nodes and whether the visit budget cut it short. The tree is written as compact
// JSON text node by node while it is read, never built as objects: a tree of thousands of
// nodes would cost ten times its text in memory.
struct ElementTree {
    std::string text; // the root node
    bool cut = false;
    int64_t visits = 0; // elements visited, verdicts included
};

// The node of one element and, while depth < maxDepth, of its children (depth + 1 each). An
// element that repeats one of its ancestors gets "repeatsAncestor" and no children; once the
// request's visits are used up, no further node is added. makeElementNode gives the same node
// as an object.
ElementTree readElementTree(platform::Accessibility& ax, const platform::Element& element,
                            int32_t pid, const std::optional<ElementPath>& path, int64_t depth,
                            int64_t maxDepth, int64_t visits = WalkLimits::requestVisits);
Json makeElementNode(platform::Accessibility& ax, const platform::Element& element, int32_t pid,
                     const std::optional<ElementPath>& path, int64_t depth, int64_t maxDepth);

} // namespace dorvex
