// The posting steps bound to the platform's event calls, over a fake that records every event
// it makes and posts and can refuse to make the n-th one.
#include "Dorvex/Input.h"
#include "support/FakePlatform.h"
#include "support/InProcessDriver.h"

#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace dorvex {
namespace {

using platform::Event;
using platform::MouseButton;
using platform::MouseEventType;

struct Made {
    std::string kind; // "key down", "key up" or the mouse event type's number
    uint64_t flags = 0;
    std::u16string text;
    bool flagsSet = false;
};

class RecordingInput : public testing::NoInput {
public:
    int failAt = 0; // the n-th event made (from 1) cannot be made; 0: all can
    std::vector<std::shared_ptr<Made>> posted;
    int made = 0;
    std::optional<platform::Point> pointer = platform::Point{10, 20};

    Event createKeyboardEvent(uint16_t, bool keyDown) override {
        return make(keyDown ? "key down" : "key up");
    }
    Event createMouseEvent(MouseEventType type, platform::Point, MouseButton) override {
        return make(std::to_string(static_cast<uint32_t>(type)));
    }
    void setEventFlags(Event& event, uint64_t flags) override {
        madeOf(event).flags = flags;
        madeOf(event).flagsSet = true;
    }
    void setKeyboardEventText(Event& event, const std::u16string& text) override {
        madeOf(event).text = text;
    }
    void postEvent(const Event& event) override {
        posted.push_back(std::static_pointer_cast<Made>(event.handle));
    }
    std::optional<platform::Point> cursorLocation() override { return pointer; }

private:
    Event make(std::string kind) {
        if (++made == failAt) return {};
        auto event = std::make_shared<Made>();
        event->kind = std::move(kind);
        return {event};
    }
    static Made& madeOf(Event& event) { return *static_cast<Made*>(event.handle.get()); }
};

TEST(InputPosting, AKeystrokeCarriesExactlyItsFlagsOnBothEvents) {
    for (uint64_t flags : {uint64_t{0}, uint64_t{0x00120000}}) {
        RecordingInput input;
        ASSERT_TRUE(postKeystroke(input, 17, flags));
        ASSERT_EQ(input.posted.size(), 2u);
        EXPECT_EQ(input.posted[0]->kind, "key down");
        EXPECT_EQ(input.posted[1]->kind, "key up");
        for (const auto& event : input.posted) {
            EXPECT_TRUE(event->flagsSet) << "set even when there are none";
            EXPECT_EQ(event->flags, flags);
        }
    }
}

TEST(InputPosting, TextGoesWholeAsUtf16InOneEventPair) {
    RecordingInput input;
    ASSERT_TRUE(postTextEvent(input, "\U0001F600"));
    ASSERT_EQ(input.posted.size(), 2u);
    for (const auto& event : input.posted) {
        EXPECT_EQ(event->text, u"\U0001F600");
        EXPECT_EQ(event->text.size(), 2u) << "a character beyond the BMP is two code units";
        EXPECT_FALSE(event->flagsSet);
    }
    RecordingInput mixed;
    ASSERT_TRUE(postTextEvent(mixed, "a\u00e9\u4e2d\U0001F44D\U0001F3FD"));
    EXPECT_EQ(mixed.posted[0]->text, u"a\u00e9\u4e2d\U0001F44D\U0001F3FD");
}

TEST(InputPosting, NothingIsPostedWhenAnEventCannotBeMade) {
    for (int failAt : {1, 2}) {
        SCOPED_TRACE(failAt);
        RecordingInput keys;
        keys.failAt = failAt;
        EXPECT_FALSE(postKeystroke(keys, 0, 0));
        EXPECT_TRUE(keys.posted.empty());
        RecordingInput text;
        text.failAt = failAt;
        EXPECT_FALSE(postTextEvent(text, "a"));
        EXPECT_TRUE(text.posted.empty());
    }
    for (int failAt : {1, 2, 3}) {
        SCOPED_TRACE(failAt);
        RecordingInput mouse;
        mouse.failAt = failAt;
        testing::FakePlatform platform(mouse);
        testing::InProcessDriver driver(platform.platform());
        EXPECT_EQ(postMouseClick(driver.driver(), {10, 20}, MouseButton::left), std::nullopt);
        EXPECT_TRUE(mouse.posted.empty());
    }
}

TEST(InputPosting, EachButtonPressesAndReleasesWithItsOwnEventTypes) {
    struct Case {
        MouseButton button;
        std::vector<std::string> kinds;
    } cases[] = {
        {MouseButton::left, {"5", "1", "2"}},
        {MouseButton::right, {"5", "3", "4"}},
        {MouseButton::center, {"5", "25", "26"}},
    };
    for (const Case& c : cases) {
        RecordingInput mouse;
        testing::FakePlatform platform(mouse);
        testing::InProcessDriver driver(platform.platform());
        driver.driver().sleep = [](double) {};
        EXPECT_EQ(postMouseClick(driver.driver(), {10, 20}, c.button),
                  MouseClickOutcome(MouseClicked{}));
        std::vector<std::string> kinds;
        for (const auto& event : mouse.posted)
            kinds.push_back(event->kind);
        EXPECT_EQ(kinds, c.kinds);
    }
}

} // namespace
} // namespace dorvex
