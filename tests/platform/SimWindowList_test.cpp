// The simulated window server: which rows each list option gives, in which order, and what a
// row holds.
#include "support/SimDesktops.h"

#include <gtest/gtest.h>

namespace dorvex::platform::sim {
namespace {

using testing::desktopFrom;

// Front to back:
//   10  pid 100, on screen
//   11  pid 100, on screen, transparent
//   12  pid 200, off screen
//   13  pid 200, on screen
//   14  desktop element, on screen
//   15  pid 300, no "onScreen" key (so: not on screen)
Json stackedWindows() {
    return Json{{"windows",
                 {{{"number", 10}, {"ownerPid", 100}, {"onScreen", true}},
                  {{"number", 11}, {"ownerPid", 100}, {"onScreen", true}, {"alpha", 0}},
                  {{"number", 12}, {"ownerPid", 200}, {"onScreen", false}},
                  {{"number", 13}, {"ownerPid", 200}, {"onScreen", true}},
                  {{"number", 14}, {"ownerPid", 1}, {"onScreen", true}, {"desktopElement", true}},
                  {{"number", 15}, {"ownerPid", 300}}}}};
}

std::vector<int64_t> numbersOf(const std::optional<std::vector<WindowRow>>& rows) {
    std::vector<int64_t> numbers;
    for (const WindowRow& row : rows.value())
        numbers.push_back(row["kCGWindowNumber"]);
    return numbers;
}

TEST(SimWindowList, EachOptionSelectsItsRowsFrontToBack) {
    auto desktop = desktopFrom(stackedWindows());
    struct Case {
        uint32_t option;
        uint32_t relative;
        std::vector<int64_t> expected;
    };
    const Case cases[] = {
        {0, 0, {10, 11, 12, 13, 14, 15}}, // all, off-screen ones too
        {1, 0, {10, 11, 13, 14}},         // on screen
        {17, 0, {10, 11, 13}},            // on screen, no desktop elements
        {8, 12, {12}},                    // one window, even off screen
        {8, 99, {}},                      // one unknown window
        {18, 13, {10, 11}},               // strictly in front of 13
        {18, 10, {}},                     // nothing in front of the front-most
        {20, 10, {11, 13}},               // behind 10: off-screen and desktop rows dropped
        {20, 13, {}},                     // behind 13 only the desktop and off-screen ones
        {4, 13, {14}},                    // behind 13 with desktop elements
        {18, 99, {}},                     // relative to an unknown window
        {2 | 8, 13, {10, 11, 13}},        // in front of, including the window itself
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("option " + std::to_string(c.option) + " relative " +
                     std::to_string(c.relative));
        EXPECT_EQ(
            numbersOf(desktop->copyWindowInfo(static_cast<WindowListOption>(c.option), c.relative)),
            c.expected);
    }
}

TEST(SimWindowList, RowsUseWindowServerKeysAndLeaveOutWhatTheScenarioLeavesOut) {
    auto desktop = desktopFrom(
        Json{{"windows",
              {{{"number", 7},
                {"ownerPid", 42},
                {"ownerName", "Notes"},
                {"title", "Groceries"},
                {"bounds", {{"x", 10}, {"y", 20}, {"width", 300}, {"height", 200}}},
                {"layer", 0},
                {"alpha", 0.5},
                {"onScreen", true}},
               {{"number", 8}, {"ownerPid", 4294967296LL}},
               {{"number", 9},
                {"ownerPid", 42},
                {"rawKeys", {{"kCGWindowLayer", "front"}, {"kCGWindowOwnerPID", nullptr}}}}}}});
    std::vector<WindowRow> rows = desktop->copyWindowInfo(WindowListOption::all, 0).value();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], (Json{{"kCGWindowNumber", 7},
                             {"kCGWindowOwnerPID", 42},
                             {"kCGWindowLayer", 0},
                             {"kCGWindowAlpha", 0.5},
                             {"kCGWindowIsOnscreen", true},
                             {"kCGWindowOwnerName", "Notes"},
                             {"kCGWindowName", "Groceries"},
                             {"kCGWindowBounds",
                              {{"X", 10.0}, {"Y", 20.0}, {"Width", 300.0}, {"Height", 200.0}}}}));
    // A pid outside 32 bits is passed on as given; the reader decides what it means.
    EXPECT_EQ(rows[1], (Json{{"kCGWindowNumber", 8}, {"kCGWindowOwnerPID", 4294967296LL}}));
    // Raw keys can mistype a value or take a key away.
    EXPECT_EQ(rows[2], (Json{{"kCGWindowNumber", 9}, {"kCGWindowLayer", "front"}}));
}

TEST(SimWindowList, FaultMakesTheListUnreadable) {
    Json everyList = stackedWindows();
    everyList["faults"] = {{"windowList", true}};
    auto broken = desktopFrom(everyList);
    for (uint32_t option : {0u, 1u, 8u, 17u, 18u, 20u}) {
        EXPECT_EQ(broken->copyWindowInfo(static_cast<WindowListOption>(option), 13), std::nullopt)
            << option;
    }

    Json orderOnly = stackedWindows();
    orderOnly["faults"] = {{"windowList", {18, 20}}};
    auto partly = desktopFrom(orderOnly);
    EXPECT_EQ(partly->copyWindowInfo(WindowListOption::onScreenAboveWithoutDesktop, 13),
              std::nullopt);
    EXPECT_EQ(partly->copyWindowInfo(WindowListOption::onScreenBelowWithoutDesktop, 10),
              std::nullopt);
    EXPECT_EQ(numbersOf(partly->copyWindowInfo(WindowListOption::includingWindow, 13)),
              std::vector<int64_t>{13});
}

TEST(SimWindowList, WindowLevelsDefaultToTheScreenSaverLevel) {
    auto plain = desktopFrom(Json::object());
    EXPECT_EQ(plain->windowLevelForKey(13), 1000);
    EXPECT_EQ(plain->windowLevelForKey(3), 0);
    auto raised = desktopFrom(Json{{"windowLevels", {{"13", 2000}, {"3", 3}}}});
    EXPECT_EQ(raised->windowLevelForKey(13), 2000);
    EXPECT_EQ(raised->windowLevelForKey(3), 3);
}

} // namespace
} // namespace dorvex::platform::sim
