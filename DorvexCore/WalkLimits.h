#pragma once

// Bounds of the walks over an application's accessibility tree. An app may present a tree that
// loops (an element listed again below itself) or fans out far beyond any real window, and a
// walk bounded only by depth would then run for days and build answers of gigabytes while the
// driver serves nothing else. So an element that equals one on its own branch is not descended
// into again, and every walk of a request has a budget of visits.
#include <cstdint>
#include <vector>

namespace dorvex::WalkLimits {

// Elements one UI tree read or one search may visit, secure-field verdicts below the elements
// included: far beyond any real window, small enough to answer within a second.
inline constexpr int64_t requestVisits = 50'000;
// Child positions an element lookup by path walks. The driver hands out paths at most 20
// positions long, so a longer path cannot be one of its own.
inline constexpr int64_t pathPositions = 64;

class VisitBudget {
public:
    explicit VisitBudget(int64_t visits) : visits_(visits), left_(visits) {}

    // Takes one visit; false when none is left, and the budget counts as exhausted from then
    // on. A walk that visits exactly as many elements as the budget holds is not cut short.
    bool take() {
        if (left_ < 1) {
            exhausted_ = true;
            return false;
        }
        --left_;
        return true;
    }
    bool exhausted() const { return exhausted_; }
    int64_t left() const { return left_; }
    int64_t used() const { return visits_ - left_; }

private:
    int64_t visits_;
    int64_t left_;
    bool exhausted_ = false;
};

// Element equality for a walk that is not told how to compare elements: none repeats.
struct NeverSame {
    template <class Element> bool operator()(const Element&, const Element&) const { return false; }
};

// Whether `element` equals one of the elements of its branch (its ancestors, root first) under
// the platform's element equality. The nearest ancestors are asked first: an element that
// lists itself or its parent is the common loop.
template <class Element, class Same>
bool repeatsBranch(const Element& element, const std::vector<Element>& branch, Same&& same) {
    for (auto ancestor = branch.rbegin(); ancestor != branch.rend(); ++ancestor) {
        if (same(element, *ancestor)) return true;
    }
    return false;
}

} // namespace dorvex::WalkLimits
