// The simulated displays: layout answers, screen frames, faults, and the pixels of display and
// window images.
#include "platform/sim/SimRender.h"
#include "support/SimDesktops.h"

#include <gtest/gtest.h>

namespace dorvex::platform::sim {
namespace {

using testing::desktopFrom;

Json rect(double x, double y, double width, double height) {
    return {{"x", x}, {"y", y}, {"width", width}, {"height", height}};
}

// A Retina main display and a plain one to its right, listed second-first.
//   window 40: on the main display      (100,100 400x300)
//   window 41: behind 40, overlapping   (300,200 400x300)
//   window 42: on the side display      (1500,100 200x100)
//   window 43: off screen
Json twoDisplays() {
    return Json{{"displays",
                 {{{"id", 7}, {"bounds", rect(1440, 0, 1920, 1080)}},
                  {{"id", 3},
                   {"bounds", rect(0, 0, 1440, 900)},
                   {"scale", 2},
                   {"visibleFrame", rect(0, 25, 1440, 800)},
                   {"main", true}}}},
                {"windows",
                 {{{"number", 40}, {"bounds", rect(100, 100, 400, 300)}, {"onScreen", true}},
                  {{"number", 41}, {"bounds", rect(300, 200, 400, 300)}, {"onScreen", true}},
                  {{"number", 42}, {"bounds", rect(1500, 100, 200, 100)}, {"onScreen", true}},
                  {{"number", 43}, {"bounds", rect(0, 0, 1440, 900)}, {"onScreen", false}}}}};
}

uint32_t pixelAt(const Image& image, size_t x, size_t y) {
    EXPECT_EQ(image.pixels.size(), image.width * image.height * 4);
    const uint8_t* p = &image.pixels.at((y * image.width + x) * 4);
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

TEST(SimDisplays, LayoutAnswersComeFromTheScenario) {
    auto desktop = desktopFrom(twoDisplays());
    EXPECT_EQ(desktop->activeDisplayCount().count, 2u);
    EXPECT_EQ(desktop->activeDisplayList(2).displayIds, (std::vector<uint32_t>{7, 3}));
    EXPECT_EQ(desktop->activeDisplayList(1).displayIds, (std::vector<uint32_t>{7}));
    EXPECT_EQ(desktop->mainDisplayId(), 3u);
    EXPECT_EQ(desktop->displayBounds(7), (Rect{1440, 0, 1920, 1080}));
    EXPECT_EQ(desktop->displayBounds(99), (Rect{}));
    EXPECT_EQ(desktop->displayModePixelSize(3), (Size{2880, 1800}));
    EXPECT_EQ(desktop->displayModePixelSize(7), (Size{1920, 1080}));
    EXPECT_EQ(desktop->displaysWithPoint({1440, 10}), std::vector<uint32_t>{7});
    EXPECT_EQ(desktop->displaysWithPoint({1439.5, 10}), std::vector<uint32_t>{3});
    EXPECT_TRUE(desktop->displaysWithPoint({-1, 10}).empty());
}

TEST(SimDisplays, UnreadableModeFallsBackToTheDisplaysOwnPixelCount) {
    auto desktop = desktopFrom(Json{
        {"displays",
         {{{"id", 1}, {"bounds", rect(0, 0, 1440, 900)}, {"scale", 2}, {"modeReadable", false}},
          {{"id", 2},
           {"bounds", rect(1440, 0, 100, 100)},
           {"modeReadable", false},
           {"fallbackPixelSize", {{"width", 300}, {"height", 200}}}}}}});
    EXPECT_EQ(desktop->displayModePixelSize(1), std::nullopt);
    EXPECT_EQ(desktop->displayPixelsFallback(1), (Size{1440, 900}));
    EXPECT_EQ(desktop->displayPixelsFallback(2), (Size{300, 200}));
}

TEST(SimDisplays, ScreensUseBottomLeftCoordinatesWithTheMainScreenFirst) {
    auto desktop = desktopFrom(twoDisplays());
    std::vector<ScreenInfo> screens = desktop->screens();
    ASSERT_EQ(screens.size(), 2u);
    EXPECT_EQ(screens[0].displayId, 3u);
    EXPECT_EQ(screens[0].frame, (Rect{0, 0, 1440, 900}));
    EXPECT_EQ(screens[0].visibleFrame, (Rect{0, 75, 1440, 800}));
    EXPECT_EQ(screens[1].displayId, 7u);
    EXPECT_EQ(screens[1].frame, (Rect{1440, -180, 1920, 1080}));
}

TEST(SimDisplays, FaultsMakeDisplayCallsFail) {
    Json scenario = twoDisplays();
    scenario["faults"] = {{"displayCount", true}};
    EXPECT_NE(desktopFrom(scenario)->activeDisplayCount().code, 0);
    EXPECT_EQ(desktopFrom(scenario)->activeDisplayList(2).code, 0);
    scenario["faults"] = {{"displayList", true}};
    EXPECT_EQ(desktopFrom(scenario)->activeDisplayCount().code, 0);
    EXPECT_NE(desktopFrom(scenario)->activeDisplayList(2).code, 0);
    scenario["faults"] = {{"displayImage", true}, {"windowImage", true}};
    EXPECT_EQ(desktopFrom(scenario)->createDisplayImage(3), std::nullopt);
    EXPECT_EQ(desktopFrom(scenario)->createWindowImage(40), std::nullopt);
}

TEST(SimDisplays, DisplayImageDrawsVisibleWindowsBackToFront) {
    auto desktop = desktopFrom(twoDisplays());
    std::optional<Image> image = desktop->createDisplayImage(3);
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->width, 2880u);
    EXPECT_EQ(image->height, 1800u);
    uint32_t front = windowColor(40);
    uint32_t back = windowColor(41);
    ASSERT_NE(front, back);
    struct Case {
        size_t x, y; // pixels: points times two
        uint32_t color;
    };
    const Case cases[] = {
        {10, 10, desktopColor},                   // off-screen window 43 is not drawn
        {2 * 110, 2 * 110, titleBarColor(front)}, // title bar of 40
        {2 * 200, 2 * 300, front},                // body of 40
        {2 * 450, 2 * 350, front},                // 40 in front of 41 where they overlap
        {2 * 600, 2 * 450, back},                 // 41 beyond 40
        {2 * 600, 2 * 210, titleBarColor(back)},
        {2 * 1439, 2 * 899, desktopColor},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
        EXPECT_EQ(pixelAt(*image, c.x, c.y), c.color);
    }

    std::optional<Image> side = desktop->createDisplayImage(7);
    ASSERT_TRUE(side.has_value());
    EXPECT_EQ(side->width, 1920u);
    EXPECT_EQ(pixelAt(*side, 60 + 10, 100 + 50), windowColor(42));
    EXPECT_EQ(desktop->createDisplayImage(99), std::nullopt);
}

TEST(SimDisplays, WindowImageIsTheWindowAloneAtItsDisplaysScale) {
    auto desktop = desktopFrom(twoDisplays());
    std::optional<Image> retina = desktop->createWindowImage(40);
    ASSERT_TRUE(retina.has_value());
    EXPECT_EQ(retina->width, 800u);
    EXPECT_EQ(retina->height, 600u);
    EXPECT_EQ(pixelAt(*retina, 400, 10), titleBarColor(windowColor(40)));
    EXPECT_EQ(pixelAt(*retina, 799, 599), windowColor(40));

    std::optional<Image> plain = desktop->createWindowImage(42);
    ASSERT_TRUE(plain.has_value());
    EXPECT_EQ(plain->width, 200u);
    EXPECT_EQ(desktop->createWindowImage(12345), std::nullopt);
}

} // namespace
} // namespace dorvex::platform::sim
