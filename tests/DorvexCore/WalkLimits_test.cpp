#include "DorvexCore/WalkLimits.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace dorvex::WalkLimits {
namespace {

TEST(VisitBudget, CountsDownAndIsExhaustedOnlyByARefusedVisit) {
    struct Case {
        const char* name;
        int64_t visits;
        int takes;
        int granted;
        bool exhausted;
    } cases[] = {
        {"no visit asked", 3, 0, 0, false},
        {"fewer visits than the budget", 3, 2, 2, false},
        {"exactly the budget is not cut short", 3, 3, 3, false},
        {"one more than the budget", 3, 4, 3, true},
        {"an empty budget refuses the first", 0, 1, 0, true},
    };
    for (const Case& c : cases) {
        VisitBudget budget(c.visits);
        int granted = 0;
        for (int i = 0; i < c.takes; ++i)
            granted += budget.take() ? 1 : 0;
        EXPECT_EQ(granted, c.granted) << c.name;
        EXPECT_EQ(budget.exhausted(), c.exhausted) << c.name;
        EXPECT_EQ(budget.left(), c.visits - c.granted) << c.name;
    }
}

TEST(RepeatsBranch, FindsAnAncestorByInjectedEqualityNearestFirst) {
    // Elements are handles: two handles of one element compare equal by name, not by handle.
    struct Handle {
        std::string element;
        int handle;
    };
    auto same = [](const Handle& a, const Handle& b) { return a.element == b.element; };
    const std::vector<Handle> branch = {{"window", 1}, {"group", 2}, {"button", 3}};
    struct Case {
        const char* name;
        Handle element;
        std::vector<Handle> branch;
        bool repeats;
        int compares;
    } cases[] = {
        {"itself through another handle", {"button", 9}, branch, true, 1},
        {"its parent", {"group", 9}, branch, true, 2},
        {"the root", {"window", 9}, branch, true, 3},
        {"a new element", {"label", 9}, branch, false, 3},
        {"no branch at all", {"window", 9}, {}, false, 0},
    };
    for (const Case& c : cases) {
        int compares = 0;
        auto counted = [&](const Handle& a, const Handle& b) {
            ++compares;
            return same(a, b);
        };
        EXPECT_EQ(repeatsBranch(c.element, c.branch, counted), c.repeats) << c.name;
        EXPECT_EQ(compares, c.compares) << c.name;
    }
    EXPECT_FALSE(repeatsBranch(Handle{"button", 3}, branch, NeverSame{}));
}

} // namespace
} // namespace dorvex::WalkLimits
