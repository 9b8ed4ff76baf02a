#pragma once

// The UI tree and element search actions.
#include "Dorvex/Elements.h"
#include "DorvexCore/ElementPath.h"
#include "platform/Accessibility.h"
#include "platform/types/Json.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace dorvex {

// Texts a searched element's role, title and identifier must contain, ignoring case. An
// absent filter takes no part; an element without the attribute fails a filter that does.
struct ElementFilters {
    std::optional<std::string> role;
    std::optional<std::string> title;
    std::optional<std::string> identifier;
};

// The matches of a search, written as text while they are found: the nodes of a JSON array,
// separated by commas, without the brackets.
struct SearchMatches {
    std::string text;
    size_t count = 0;
};

// Depth-first search from element (at currentDepth) down to maxDepth, appending the flat node
// of every match to `into` until it holds `limit` nodes. An element that did not match has
// no verdict and no value read. An element that repeats one of its ancestors is skipped, and
// the walk stops when the request's visits are used up (walk.budget).
void collectElements(TreeWalk& walk, const platform::Element& element, int32_t pid,
                     const ElementPath& path, int64_t maxDepth, int64_t currentDepth,
                     const ElementFilters& filters, SearchMatches& into, size_t limit,
                     bool insideSecureField = false);

} // namespace dorvex
