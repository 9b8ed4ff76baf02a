// Pictures that scenario displays and windows show ("contentImage"): read from PNG files,
// checked when the scenario loads, scaled to windows and laid over what is beneath them.
#include "platform/sim/SimRender.h"
#include "support/PngFiles.h"
#include "support/SimDesktops.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace dorvex::platform::sim {
namespace {

using dorvex::testing::writePng;
using testing::desktopFrom;
using testing::TempDir;

Json rect(double x, double y, double width, double height) {
    return {{"x", x}, {"y", y}, {"width", width}, {"height", height}};
}

std::vector<uint8_t> pixelAt(const Image& image, size_t x, size_t y) {
    EXPECT_EQ(image.pixels.size(), image.width * image.height * 4);
    const auto at = image.pixels.begin() + static_cast<ptrdiff_t>((y * image.width + x) * 4);
    return {at, at + 4};
}

// Every pixel different: red counts columns, green rows.
std::vector<uint8_t> gradient(size_t width, size_t height) {
    std::vector<uint8_t> rgba;
    for (size_t y = 0; y < height; ++y) {
        for (size_t x = 0; x < width; ++x) {
            rgba.insert(rgba.end(),
                        {static_cast<uint8_t>(x * 16), static_cast<uint8_t>(y * 16), 7, 255});
        }
    }
    return rgba;
}

const std::vector<uint8_t> blue{0, 0, 255, 255}, green{0, 255, 0, 255};
const std::vector<uint8_t> halfRed{255, 0, 0, 128};

// Picture files in a folder of their own: a 16x12 screen, a blue|green pair, a half-transparent
// red pixel, and 3x2 pixels of mixed alpha.
class SimPictures : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(writePng(folder.path() / "screen.png", 16, 12, gradient(16, 12), false));
        std::vector<uint8_t> pair = blue;
        pair.insert(pair.end(), green.begin(), green.end());
        ASSERT_TRUE(writePng(folder.path() / "pair.png", 2, 1, pair));
        ASSERT_TRUE(writePng(folder.path() / "red.png", 1, 1, halfRed));
        ASSERT_TRUE(writePng(folder.path() / "mixed.png", 3, 2, mixed));
    }

    std::string file(const char* name) const { return (folder.path() / name).string(); }

    // An 8x6-point display at 2x, showing screen.png.
    Json scenario(Json windows = Json::array()) const {
        return {{"displays",
                 {{{"id", 1},
                   {"bounds", rect(0, 0, 8, 6)},
                   {"scale", 2},
                   {"contentImage", file("screen.png")}}}},
                {"windows", std::move(windows)}};
    }

    TempDir folder;
    const std::vector<uint8_t> mixed{1,  2,  3,  0, 4,  5,  6,  64,  7,  8,  9,  255,
                                     10, 11, 12, 1, 13, 14, 15, 254, 16, 17, 18, 128};
};

TEST_F(SimPictures, DisplayShowsItsPictureWithWindowsLaidOverIt) {
    auto desktop = desktopFrom(scenario({
        // Front to back. Pixels are points times two.
        {{"number", 1},
         {"bounds", rect(0, 0, 2, 2)},
         {"onScreen", true},
         {"contentImage", file("red.png")}},
        {{"number", 2},
         {"bounds", rect(4, 0, 4, 2)},
         {"onScreen", true},
         {"contentImage", file("pair.png")}},
        {{"number", 3}, {"bounds", rect(0, 4, 2, 2)}, {"onScreen", true}},
        // Half off the display's left edge: its visible half is the picture's right half.
        {{"number", 4},
         {"bounds", rect(-1, 3, 2, 0.5)},
         {"onScreen", true},
         {"contentImage", file("pair.png")}},
        {{"number", 5}, {"bounds", rect(6, 4, 2, 2)}, {"contentImage", file("pair.png")}},
    }));
    std::optional<Image> image = desktop->createDisplayImage(1);
    ASSERT_TRUE(image.has_value());
    ASSERT_EQ(image->width, 16u);
    struct Case {
        const char* what;
        size_t x, y;
        std::vector<uint8_t> rgba;
    };
    const Case cases[] = {
        {"the display's own picture", 10, 10, {160, 160, 7, 255}},
        {"half-transparent red over (16,16,7)", 1, 1, {136, 8, 3, 255}},
        {"a picture scaled to its window, left", 11, 3, blue},
        {"a picture scaled to its window, right", 12, 0, green},
        {"a window without a picture", 3, 9, {}},
        {"the visible half of a window off the edge", 0, 6, green},
        {"beneath that window's bottom edge", 0, 7, {0, 112, 7, 255}},
        {"an off-screen window is not drawn", 13, 9, {208, 144, 7, 255}},
    };
    std::vector<uint8_t> flat;
    const uint32_t color = titleBarColor(windowColor(3)); // a 2-point window is all title bar
    for (int shift : {24, 16, 8, 0})
        flat.push_back(static_cast<uint8_t>(color >> shift));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(pixelAt(*image, c.x, c.y), c.rgba.empty() ? flat : c.rgba);
    }
}

TEST_F(SimPictures, WindowImageIsItsPictureAtTheWindowsPixelSizeWithAlphaKept) {
    auto desktop = desktopFrom(scenario({
        {{"number", 1}, {"bounds", rect(1, 1, 3, 2)}, {"contentImage", file("mixed.png")}},
        {{"number", 2}, {"bounds", rect(0, 0, 8, 6)}, {"contentImage", file("screen.png")}},
    }));
    std::optional<Image> doubled = desktop->createWindowImage(1);
    ASSERT_TRUE(doubled.has_value());
    ASSERT_EQ(doubled->width, 6u);
    ASSERT_EQ(doubled->height, 4u);
    for (size_t y = 0; y < 4; ++y) {
        for (size_t x = 0; x < 6; ++x) {
            const auto source = mixed.begin() + static_cast<ptrdiff_t>(((y / 2) * 3 + x / 2) * 4);
            EXPECT_EQ(pixelAt(*doubled, x, y), std::vector<uint8_t>(source, source + 4))
                << x << "," << y;
        }
    }
    std::optional<Image> same = desktop->createWindowImage(2);
    ASSERT_TRUE(same.has_value());
    EXPECT_EQ(same->pixels, gradient(16, 12));
}

TEST_F(SimPictures, RelativeNamesAreFoundBesideTheScenarioFile) {
    std::filesystem::create_directory(folder.path() / "pictures");
    std::filesystem::copy_file(file("screen.png"), folder.path() / "pictures" / "s.png");
    Json relative = scenario();
    relative["displays"][0]["contentImage"] = "pictures/s.png";
    const std::string scenarioFile = file("scenario.json");
    std::ofstream(scenarioFile) << relative.dump();

    SimOptions options;
    options.scenarioPath = scenarioFile;
    SimDesktop desktop(std::move(options));
    ASSERT_EQ(desktop.lastLoadError(), std::nullopt);
    std::optional<Image> image = desktop.createDisplayImage(1);
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->pixels, gradient(16, 12));

    EXPECT_TRUE(loadScenario(relative.dump(), folder.path()).scenario.has_value());
    EXPECT_THAT(loadScenario(relative.dump(), folder.path() / "pictures").error,
                ::testing::HasSubstr("no PNG file at"));
}

TEST_F(SimPictures, ScenariosWithUnusablePicturesAreRefusedWithTheReason) {
    std::ofstream(file("notes.png")) << "not a picture";
    ASSERT_TRUE(writePng(folder.path() / "wide.png", 16385, 1, std::vector<uint8_t>(16385 * 4)));
    const std::string at = "scenario.displays[0].contentImage: ";
    struct Case {
        const char* name;
        std::function<void(Json&)> change;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"missing file", [&](Json& s) { s["displays"][0]["contentImage"] = file("gone.png"); },
         at + "no PNG file at \"" + file("gone.png") + "\""},
        {"not a PNG", [&](Json& s) { s["displays"][0]["contentImage"] = file("notes.png"); },
         at + "\"" + file("notes.png") + "\" is not a readable PNG file"},
        {"a folder", [&](Json& s) { s["displays"][0]["contentImage"] = folder.path().string(); },
         at + "no PNG file at"},
        {"display picture of another size", [&](Json& s) { s["displays"][0]["scale"] = 1; },
         at + "the image is 16x12 pixels, the display 8x6; they must be equal"},
        {"too large", [&](Json& s) { s["displays"][0]["contentImage"] = file("wide.png"); },
         at + "\"" + file("wide.png") + "\" is 16385x1 pixels, beyond 16384 per side"},
        {"not a string", [&](Json& s) { s["displays"][0]["contentImage"] = 42; },
         "scenario.displays[0].contentImage: expected a string"},
        {"a window's missing file",
         [&](Json& s) {
             s["windows"] = {{{"number", 1}}, {{"number", 2}, {"contentImage", "gone.png"}}};
         },
         "scenario.windows[1].contentImage: no PNG file at"},
        {"an installed app's window's missing file",
         [&](Json& s) {
             s["installedApps"] = {{{"bundleId", "com.example.viewer"},
                                    {"windows", {{{"number", 9}, {"contentImage", "gone.png"}}}}}};
         },
         "scenario.installedApps[0].windows[0].contentImage: no PNG file at"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Json refused = scenario();
        c.change(refused);
        SimScenarioLoad load = loadScenario(refused.dump(), folder.path());
        EXPECT_FALSE(load.scenario.has_value());
        EXPECT_THAT(load.error, ::testing::StartsWith(c.error));
    }
}

} // namespace
} // namespace dorvex::platform::sim
