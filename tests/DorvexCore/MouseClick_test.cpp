#include "DorvexCore/MouseClick.h"

#include <functional>
#include <gtest/gtest.h>
#include <vector>

namespace dorvex {
namespace {

using platform::Point;

const Point target{100, 200};

// A clock that moves only when slept on (or when a test moves it), a pointer scripted per
// reading, and the steps posted.
struct FakeClick {
    double clock = 1000;
    std::vector<MouseClickStep> posted;
    std::vector<double> readingTimes;
    std::function<std::optional<Point>(int reading)> pointer;
    std::function<void(MouseClickStep)> onPost = [](MouseClickStep) {};
    std::function<double(double)> nowAfter = [](double time) { return time; };

    MouseClickOutcome run() {
        return MouseClick::perform(
            target, {[&](MouseClickStep step) {
                         posted.push_back(step);
                         onPost(step);
                     },
                     [&] {
                         readingTimes.push_back(clock);
                         return pointer(static_cast<int>(readingTimes.size()));
                     },
                     [&](double seconds) { clock += seconds; }, [&] { return nowAfter(clock); }});
    }
    int readings() const { return static_cast<int>(readingTimes.size()); }
};

const std::vector<MouseClickStep> clickSteps{MouseClickStep::move, MouseClickStep::press,
                                             MouseClickStep::release};
const std::vector<MouseClickStep> moveOnly{MouseClickStep::move};

TEST(MouseClick, PressesOnlyOnceAReadingIsWithinHalfAPoint) {
    struct Case {
        const char* name;
        Point reading;
        bool arrives;
    } cases[] = {
        {"exactly there", target, true},
        {"0.5 off on both axes", {100.5, 199.5}, true},
        {"0.5 off the other way", {99.5, 200.5}, true},
        {"0.51 off in x", {100.51, 200}, false},
        {"0.51 off in y", {100, 199.49}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeClick fake;
        fake.pointer = [&](int) { return c.reading; };
        MouseClickOutcome outcome = fake.run();
        if (c.arrives) {
            EXPECT_EQ(outcome, MouseClickOutcome(MouseClicked{}));
            EXPECT_EQ(fake.posted, clickSteps);
            EXPECT_EQ(fake.readings(), 1);
        } else {
            EXPECT_EQ(outcome, MouseClickOutcome(MouseCursorNotAtPoint{c.reading}));
            EXPECT_EQ(fake.posted, moveOnly);
        }
    }
}

TEST(MouseClick, APointerThatNeverArrivesGetsOneMoveAndTheDeadline) {
    FakeClick fake;
    fake.pointer = [](int reading) { return Point{1.0 * reading, 0}; };
    MouseClickOutcome outcome = fake.run();
    EXPECT_EQ(fake.posted, moveOnly);
    EXPECT_EQ(outcome, MouseClickOutcome(MouseCursorNotAtPoint{Point{1.0 * fake.readings(), 0}}))
        << "carries the last reading";
    // The settle pause, then a reading every poll interval until 0.25 s have passed.
    EXPECT_NEAR(fake.readingTimes.front() - 1000, MouseClick::settle, 1e-9);
    EXPECT_GE(fake.clock - 1000, MouseClick::deadline);
    EXPECT_LT(fake.clock - 1000, MouseClick::deadline + MouseClick::pollInterval);
}

TEST(MouseClick, AnUnreadablePointerNeverCountsAsArrived) {
    FakeClick fake;
    fake.pointer = [](int) { return std::nullopt; };
    EXPECT_EQ(fake.run(), MouseClickOutcome(MouseCursorNotAtPoint{std::nullopt}));
    EXPECT_EQ(fake.posted, moveOnly);
}

TEST(MouseClick, PressAndReleaseFollowTheReadingThatArrived) {
    FakeClick fake;
    std::vector<int> readingsAtPost;
    fake.onPost = [&](MouseClickStep) { readingsAtPost.push_back(fake.readings()); };
    fake.pointer = [](int reading) { return reading < 4 ? Point{0, 0} : target; };
    EXPECT_EQ(fake.run(), MouseClickOutcome(MouseClicked{}));
    EXPECT_EQ(fake.posted, clickSteps);
    // Arrived on the third poll after the first reading; nothing was pressed before it.
    EXPECT_EQ(readingsAtPost, (std::vector<int>{0, 4, 4}));
}

TEST(MouseClick, TheDeadlineRunsFromJustAfterTheMove) {
    // A move that takes a whole second to post does not eat into the wait for the pointer.
    FakeClick slowMove;
    slowMove.onPost = [&](MouseClickStep step) {
        if (step == MouseClickStep::move) slowMove.clock += 1.0;
    };
    slowMove.pointer = [](int reading) { return reading < 40 ? Point{0, 0} : target; };
    EXPECT_EQ(slowMove.run(), MouseClickOutcome(MouseClicked{}));

    // A clock that jumps past the deadline right after the move: one reading, then give up.
    FakeClick jump;
    jump.nowAfter = [&](double time) { return jump.readings() == 0 ? time : time + 10; };
    jump.pointer = [](int) { return Point{0, 0}; };
    EXPECT_EQ(jump.run(), MouseClickOutcome(MouseCursorNotAtPoint{Point{0, 0}}));
    EXPECT_EQ(jump.readings(), 1);
    EXPECT_EQ(jump.posted, moveOnly);
}

TEST(MouseClick, AClockThatStandsStillCannotHoldTheLoop) {
    FakeClick frozen;
    frozen.nowAfter = [](double) { return 5.0; };
    frozen.pointer = [](int) { return Point{0, 0}; };
    EXPECT_EQ(frozen.run(), MouseClickOutcome(MouseCursorNotAtPoint{Point{0, 0}}));
    EXPECT_EQ(frozen.readings(), 1 + MouseClick::maxPolls);
}

TEST(MouseClick, IsOnDisplayNeedsAtLeastOneDisplay) {
    EXPECT_FALSE(MouseClick::isOnDisplay(std::nullopt));
    EXPECT_FALSE(MouseClick::isOnDisplay(0u));
    EXPECT_TRUE(MouseClick::isOnDisplay(1u));
    EXPECT_TRUE(MouseClick::isOnDisplay(2u));
}

} // namespace
} // namespace dorvex
