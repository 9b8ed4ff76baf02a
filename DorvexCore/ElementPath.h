#pragma once

// Element locators. An accessibility element has no identifier that outlives one read, so an
// element is named by its owner, a root window, the child positions that lead to it, and a
// fingerprint of the element at the end. Acting on a path walks it again and insists on the
// same fingerprint, so a stale path never reaches whatever moved into that position.
#include "DorvexCore/WalkLimits.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dorvex {

// The fingerprint of one element. Only the role travels in clear; the other attributes travel
// as digests, so a path never carries the text of a title or description.
struct ElementIdentity {
    std::string role;
    std::string titleDigest;
    std::string identifierDigest;
    std::string subroleDigest;
    std::string descriptionDigest;

    ElementIdentity() = default;
    // From the attributes as read: an absent role is empty, absent texts digest as empty.
    ElementIdentity(const std::optional<std::string>& role, const std::optional<std::string>& title,
                    const std::optional<std::string>& identifier,
                    const std::optional<std::string>& subrole,
                    const std::optional<std::string>& description);

    // 64-bit FNV-1a over the UTF-8 bytes as stored, as 16 lowercase hexadecimal digits.
    static std::string digest(std::string_view value);

    // "identity:" then role and the four digests joined by colons.
    std::string token() const;
    // Appends the token of the identity of these attributes to `out`, as
    // ElementIdentity(role, ...).token() would give it, without building the identity: a tree
    // read writes one per node.
    static void appendToken(std::string& out, const std::optional<std::string>& role,
                            const std::optional<std::string>& title,
                            const std::optional<std::string>& identifier,
                            const std::optional<std::string>& subrole,
                            const std::optional<std::string>& description);
    static std::optional<ElementIdentity> parse(std::string_view token);

    friend bool operator==(const ElementIdentity&, const ElementIdentity&) = default;
};

struct ElementPath {
    std::optional<int64_t> pid;
    std::optional<int64_t> windowId;
    std::vector<int64_t> children;
    std::optional<ElementIdentity> identity;

    // A copy one level deeper, without identity: the child's identity is set once it is read.
    ElementPath child(int64_t index) const;
    ElementPath identified(ElementIdentity newIdentity) const;

    // The wire form: optional pid and windowId tokens, one token per child, then the identity.
    std::vector<std::string> tokens() const;
    // The token of the child position `index`, as tokens() writes it.
    static std::string childToken(int64_t index);
    // The tokens before the identity (pid, windowId, children) as quoted JSON texts, each after
    // a comma unless `out` is empty: a path's list in an answer, written without building the
    // tokens (they are plain ASCII, nothing to escape).
    void appendPositionTokens(std::string& out) const;
    static void appendChildToken(std::string& out, int64_t index);

    // The non-negative decimal after prefix (leading zeros allowed), or nothing.
    static std::optional<int64_t> number(std::string_view prefix, std::string_view token);
    // Reads a wire form; any token out of place or out of range refuses the whole path.
    static std::optional<ElementPath> parse(const std::vector<std::string>& tokens);

    // Walks the child positions from `from` and gives the element there when its identity still
    // matches. `children(e)` gives the ordered children of e (called once per position);
    // `identity(e)` is called once, on the last element only; `same(a, b)` tells whether two
    // elements are one. A path longer than WalkLimits::pathPositions, or one that goes on
    // below an element equal to one of its own ancestors, is none the driver hands out: it
    // gives nothing.
    template <class Element, class Children, class Identity, class Same = WalkLimits::NeverSame>
    std::optional<Element> resolve(Element from, Children&& childrenOf, Identity&& identityOf,
                                   Same&& same = Same{}) const {
        if (!identity) return std::nullopt;
        if (children.size() > static_cast<size_t>(WalkLimits::pathPositions)) return std::nullopt;
        std::vector<Element> branch;
        Element current = std::move(from);
        for (size_t step = 0; step < children.size(); ++step) {
            const int64_t index = children[step];
            auto list = childrenOf(current);
            if (index < 0 || static_cast<uint64_t>(index) >= list.size()) return std::nullopt;
            branch.push_back(std::move(current));
            current = std::move(list[static_cast<size_t>(index)]);
            const bool more = step + 1 < children.size();
            if (more && WalkLimits::repeatsBranch(current, branch, same)) return std::nullopt;
        }
        if (!(identityOf(current) == *identity)) return std::nullopt;
        return current;
    }

    friend bool operator==(const ElementPath&, const ElementPath&) = default;
};

} // namespace dorvex
