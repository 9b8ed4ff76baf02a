#pragma once

// Whether an element's value may be read at all. A password field, or a text container that
// holds one, must never have its value read; so every element is judged first, and only an
// element judged readable has its value read. The judgement runs over injected attribute
// reads, and every limit or failed read ends in "unknown", which shows no value.
#include "DorvexCore/WalkLimits.h"
#include "platform/types/Json.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <variant>
#include <vector>

namespace dorvex::SecureField {

// The role, and the subrole, that mark a secure text field.
inline constexpr std::string_view axRole = "AXSecureTextField";

// Elements one judgement may visit, over the whole walk, and how deep below the judged element.
inline constexpr int visitBudget = 32;
inline constexpr int depthLimit = 4;

enum class Verdict { secure, readable, unknown };

// A read that did not give an answer.
struct ReadFailed {};
template <class T> using MayFail = std::variant<T, ReadFailed>;

// Why a single attribute read failed.
enum class AttributeReadError { unsupported, failure };

// A value of a type the rules do not look into (a number, a point, a dictionary, ...).
struct OtherValue {};

// One attribute read as the rules see it: no value, a string, a list of elements, another
// value, or an error.
template <class Element> struct AttributeRead {
    std::variant<std::monostate, std::string, std::vector<Element>, OtherValue> value;
    std::optional<AttributeReadError> error;
};

// True when either the role or the subrole is the secure text field's.
bool is(const std::optional<std::string>& role, const std::optional<std::string>& subrole);

// Roles whose elements may hold a secure field below them.
bool isTextRole(std::string_view role);

namespace detail {

// One judgement: the callables and the budget shared by every level of the walk. `request` is
// the budget of the walk the judgement belongs to (the UI tree or search that reads this
// element, if any): elements below the judged one are visits of that walk too.
template <class Element, class Role, class Subrole, class Children, class IsCell, class Same>
struct Walk {
    Role& role;
    Subrole& subrole;
    Children& children;
    IsCell& isCell;
    Same& same;
    WalkLimits::VisitBudget* request = nullptr;
    int budget = visitBudget;
    std::vector<Element> branch; // the element being judged and its ancestors in this walk

    Verdict judge(const Element& element, int depth) {
        if (budget < 1) return Verdict::unknown;
        --budget;
        if (depth > 0 && request && !request->take()) return Verdict::unknown;
        MayFail<std::optional<std::string>> roleRead = role(element);
        const std::optional<std::string>* roleValue =
            std::get_if<std::optional<std::string>>(&roleRead);
        const std::optional<std::string> elementRole = roleValue ? *roleValue : std::nullopt;
        if (elementRole == axRole) return Verdict::secure;

        MayFail<std::optional<std::string>> subroleRead = subrole(element);
        const bool subroleFailed = std::holds_alternative<ReadFailed>(subroleRead);
        if (!subroleFailed && std::get<std::optional<std::string>>(subroleRead) == axRole) {
            return Verdict::secure;
        }
        if (!elementRole) return Verdict::unknown;
        if (!isTextRole(*elementRole)) return subroleFailed ? Verdict::unknown : Verdict::readable;
        return judgeContainer(element, *elementRole == "AXUnknown", subroleFailed, depth);
    }

    // A text container is as secure as what it holds.
    Verdict judgeContainer(const Element& element, bool unknownRole, bool uncertain, int depth) {
        MayFail<std::vector<Element>> childrenRead = children(element);
        if (std::holds_alternative<ReadFailed>(childrenRead)) return Verdict::unknown;
        const std::vector<Element>& list = std::get<std::vector<Element>>(childrenRead);
        // A container of unknown kind is trusted only as a table of cells.
        auto cell = [this](const Element& e) { return isCell(e); };
        if (unknownRole && (list.empty() || !std::all_of(list.begin(), list.end(), cell))) {
            uncertain = true;
        }
        if (depth >= depthLimit && !list.empty()) return Verdict::unknown;
        branch.push_back(element);
        const Verdict verdict = judgeChildren(list, unknownRole, uncertain, depth);
        branch.pop_back();
        return verdict;
    }

    Verdict judgeChildren(const std::vector<Element>& list, bool unknownRole, bool uncertain,
                          int depth) {
        for (const Element& child : list) {
            if (budget < 1) return Verdict::unknown;
            // A container listed again below itself says nothing new, and is left unsettled.
            if (WalkLimits::repeatsBranch(child, branch, same)) {
                uncertain = true;
                continue;
            }
            switch (judge(child, depth + 1)) {
            case Verdict::secure:
                if (unknownRole && !isCell(child)) {
                    uncertain = true;
                    break;
                }
                return Verdict::secure;
            case Verdict::unknown:
                uncertain = true;
                break;
            case Verdict::readable:
                break;
            }
        }
        return uncertain ? Verdict::unknown : Verdict::readable;
    }
};

// An element reached through "AXCells" rather than "AXChildren" is a cell.
template <class Element> struct ReadNode {
    Element element;
    bool cell = false;
};

} // namespace detail

// Judges one element. role(e) and subrole(e) give MayFail<optional<string>>, children(e) gives
// MayFail<vector<Element>>, isCell(e) gives bool; same(a, b) tells whether two elements are
// one, and `request` (when given) is the budget of the walk the judgement is part of.
template <class Element, class Role, class Subrole, class Children, class IsCell,
          class Same = WalkLimits::NeverSame>
Verdict verdict(const Element& element, Role&& role, Subrole&& subrole, Children&& children,
                IsCell&& isCell, Same&& same = Same{}, WalkLimits::VisitBudget* request = nullptr) {
    detail::Walk<Element, std::remove_reference_t<Role>, std::remove_reference_t<Subrole>,
                 std::remove_reference_t<Children>, std::remove_reference_t<IsCell>,
                 std::remove_reference_t<Same>>
        walk{role, subrole, children, isCell, same, request, visitBudget, {}};
    return walk.judge(element, 0);
}

// Judges one element over raw attribute reads. attributeNames(e) gives
// optional<vector<string>>, or a pointer to the names, that tests false when the read failed;
// readAttribute(e, name) gives an AttributeRead<Element>; same and request as for verdict.
template <class Element, class Names, class Read, class Same = WalkLimits::NeverSame>
Verdict axVerdict(const Element& element, Names&& attributeNames, Read&& readAttribute,
                  Same&& same = Same{}, WalkLimits::VisitBudget* request = nullptr) {
    using Node = detail::ReadNode<Element>;
    auto listed = [&](const Element& e, const std::string& name) -> MayFail<bool> {
        const auto names = attributeNames(e);
        if (!names) return ReadFailed{};
        return std::find(names->begin(), names->end(), name) != names->end();
    };
    auto string = [&](const Node& node,
                      const std::string& name) -> MayFail<std::optional<std::string>> {
        const bool isSubrole = name == "AXSubrole";
        if (!isSubrole) {
            MayFail<bool> present = listed(node.element, name);
            if (std::holds_alternative<ReadFailed>(present)) return ReadFailed{};
            if (!std::get<bool>(present)) return std::nullopt;
        }
        AttributeRead<Element> read = readAttribute(node.element, name);
        if (read.error) {
            if (isSubrole && *read.error == AttributeReadError::unsupported) return std::nullopt;
            return ReadFailed{};
        }
        if (std::holds_alternative<std::monostate>(read.value)) return std::nullopt;
        if (const std::string* text = std::get_if<std::string>(&read.value)) return *text;
        return ReadFailed{};
    };
    auto childNodes = [&](const Node& node) -> MayFail<std::vector<Node>> {
        const auto names = attributeNames(node.element);
        if (!names) return ReadFailed{};
        // Both looked up before any read, so the names need not outlive the reads.
        auto isListed = [&](const char* name) {
            return std::find(names->begin(), names->end(), name) != names->end();
        };
        const bool listedChildren = isListed("AXChildren");
        const bool listedCells = isListed("AXCells");
        std::vector<Node> nodes;
        for (const auto& [name, cell, listed] :
             {std::tuple<std::string, bool, bool>{"AXChildren", false, listedChildren},
              std::tuple<std::string, bool, bool>{"AXCells", true, listedCells}}) {
            if (!listed) continue;
            AttributeRead<Element> read = readAttribute(node.element, name);
            if (read.error) return ReadFailed{};
            if (std::holds_alternative<std::monostate>(read.value)) continue;
            const auto* elements = std::get_if<std::vector<Element>>(&read.value);
            if (!elements) return ReadFailed{};
            for (const Element& e : *elements)
                nodes.push_back(Node{e, cell});
        }
        return nodes;
    };
    return verdict(
        Node{element, false}, [&](const Node& node) { return string(node, "AXRole"); },
        [&](const Node& node) { return string(node, "AXSubrole"); }, childNodes,
        [](const Node& node) { return node.cell; },
        [&](const Node& a, const Node& b) { return same(a.element, b.element); }, request);
}

// The value keys of an element node: "secure" true, a "valuePreview" (null when readValue
// gives nothing), or none. readValue runs only for a readable element.
Json valueFields(Verdict verdict, const std::function<std::optional<std::string>()>& readValue);

} // namespace dorvex::SecureField
