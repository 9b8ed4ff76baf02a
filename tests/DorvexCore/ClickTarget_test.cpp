#include "DorvexCore/ClickTarget.h"

#include <gtest/gtest.h>
#include <limits>
#include <vector>

namespace dorvex::ClickTarget {
namespace {

using platform::Point;
using platform::Rect;

const Rect target{100, 200, 800, 600};

// An element graph by index: each node's role, parent, top-level attribute and window reading.
struct Node {
    std::optional<std::string> role;
    std::optional<int> parent;
    std::optional<int> topLevel;
    WindowReading window;
};

struct Graph {
    std::vector<Node> nodes;
    int roleReads = 0;

    bool hitIsInTarget(int hit, int64_t windowId = 42) {
        return ClickTarget::hitIsInTarget(
            hit, windowId, target,
            [&](int e) {
                ++roleReads;
                return nodes[e].role;
            },
            [&](int e) { return nodes[e].parent; }, [&](int e) { return nodes[e].topLevel; },
            [&](int e) { return nodes[e].window; });
    }
};

TEST(ClickTargetAncestry, TheNearestTopLevelElementDecides) {
    const WindowReading numbered{42, std::nullopt};
    const WindowReading otherNumber{43, target};
    const WindowReading sameFrame{std::nullopt, Rect{101, 199, 801, 599}};
    const WindowReading offFrame{std::nullopt, Rect{101.5, 200, 800, 600}};
    const WindowReading nothing{};
    struct Case {
        const char* name;
        std::string parentRole;
        WindowReading reading;
        bool inTarget;
    } cases[] = {
        {"window with the target's number", "AXWindow", numbered, true},
        {"another number wins over a matching frame", "AXWindow", otherNumber, false},
        {"sheet without number, frame within 1 point", "AXSheet", sameFrame, true},
        {"sheet without number, frame 1.5 points off", "AXSheet", offFrame, false},
        {"drawer with neither", "AXDrawer", nothing, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Graph graph{
            {{"AXButton", 1, std::nullopt, {}}, {c.parentRole, std::nullopt, 0, c.reading}}};
        EXPECT_EQ(graph.hitIsInTarget(0), c.inTarget);
    }
    // The hit itself may be the top-level element; an unknown role is not one.
    Graph self{{{"AXWindow", std::nullopt, std::nullopt, numbered}}};
    EXPECT_TRUE(self.hitIsInTarget(0));
    EXPECT_FALSE(hitElementIsTopLevel(std::nullopt));
    EXPECT_FALSE(hitElementIsTopLevel("axwindow"));
}

// A chain of `length` elements below a top-level one, whose hit reports `topLevel` (element
// `length`) as its top-level attribute.
Graph chain(int length, std::optional<int> topLevel, WindowReading topReading) {
    Graph graph;
    for (int i = 0; i < length; ++i) {
        std::optional<int> parent = i + 1 < length ? std::optional<int>(i + 1) : std::nullopt;
        graph.nodes.push_back({"AXGroup", parent, std::nullopt, {}});
    }
    graph.nodes[0].topLevel = topLevel;
    graph.nodes.push_back({"AXGroup", std::nullopt, std::nullopt, topReading});
    return graph;
}

TEST(ClickTargetAncestry, LooksAtTheHitAndSixtyFourAncestorsThenAtTheTopLevelAttribute) {
    Graph deep = chain(70, 70, {42, std::nullopt});
    EXPECT_TRUE(deep.hitIsInTarget(0)) << "the attribute's window decides, whatever its role";
    EXPECT_EQ(deep.roleReads, 65);
    Graph deepElsewhere = chain(70, 70, {7, std::nullopt});
    EXPECT_FALSE(deepElsewhere.hitIsInTarget(0));
    Graph noAttribute = chain(70, std::nullopt, {});
    EXPECT_FALSE(noAttribute.hitIsInTarget(0));
    // A short chain that ends without a window also falls back to the attribute.
    Graph ended = chain(3, 3, {std::nullopt, Rect{100.5, 200.5, 800, 600}});
    EXPECT_TRUE(ended.hitIsInTarget(0));
    EXPECT_EQ(ended.roleReads, 3);

    // A window as the 65th element (64th ancestor) is still found; as the 66th it is not.
    Graph edge = chain(65, std::nullopt, {});
    edge.nodes[64] = {"AXWindow", std::nullopt, std::nullopt, {42, std::nullopt}};
    EXPECT_TRUE(edge.hitIsInTarget(0));
    Graph beyond = chain(66, std::nullopt, {});
    beyond.nodes[65] = {"AXWindow", std::nullopt, std::nullopt, {42, std::nullopt}};
    EXPECT_FALSE(beyond.hitIsInTarget(0));
}

TEST(ClickTargetFrames, SameFrameWithinOnePointInclusive) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(sameFrame(target, Rect{101, 201, 799, 601}));
    EXPECT_FALSE(sameFrame(target, Rect{100, 200, 801.5, 600}));
    EXPECT_FALSE(sameFrame(target, Rect{nan, 200, 800, 600}));
}

TEST(ClickTargetFrames, RoundedCornersOfAWindow) {
    const Rect square{0, 0, 100, 100};
    struct Case {
        const char* name;
        Point point;
        Rect rect;
        double radius;
        bool inCorner;
    } cases[] = {
        {"top left, cut away", {1, 1}, square, 16, true},
        {"top right, cut away", {99, 1}, square, 16, true},
        {"bottom left, cut away", {1, 99}, square, 16, true},
        {"bottom right, cut away", {99.5, 99.5}, square, 16, true},
        {"at the circle's centre", {16, 16}, square, 16, false},
        {"inside the quarter circle", {6, 6}, square, 16, false},
        {"top edge between corners", {50, 1}, square, 16, false},
        {"maximum edge is outside", {100, 50}, square, 16, false},
        {"minimum edge is inside, at the corner", {0, 0}, square, 16, true},
        {"beyond the rectangle", {-1, -1}, square, 16, false},
        {"small window: radius 10, (1,1) cut away", {1, 1}, {0, 0, 20, 20}, 16, true},
        // Cut away by a radius of 16, but the window's radius is only half its width.
        {"small window: radius 10, (1,9) kept", {1, 9}, {0, 0, 20, 20}, 16, false},
        {"small window: radius 10, (10,3) on the edge", {10, 3}, {0, 0, 20, 20}, 16, false},
        {"radius 0 cuts nothing", {0, 0}, square, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(inCornerRegion(c.point, c.rect, c.radius), c.inCorner);
    }
}

TEST(ClickTargetFrames, ASameAppWindowBelowTakesCornersAndMissedHits) {
    struct Case {
        const char* name;
        Point point;
        bool below;
        bool hitInTarget;
        bool takesClick;
        int testsRun;
    } cases[] = {
        {"no window below", {101, 201}, false, false, false, 0},
        {"in the rounded corner", {101, 201}, true, true, true, 0},
        {"inside, hit in the target", {500, 500}, true, true, false, 1},
        {"inside, hit elsewhere", {500, 500}, true, false, true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int runs = 0;
        auto test = [&] {
            ++runs;
            return c.hitInTarget;
        };
        EXPECT_EQ(sameAppWindowTakesClick(c.point, target, c.below, test), c.takesClick);
        EXPECT_EQ(runs, c.testsRun);
    }
}

} // namespace
} // namespace dorvex::ClickTarget
