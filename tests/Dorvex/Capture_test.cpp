// Screen capture and the display layout, in-process over a small fake desktop: two displays,
// a few window rows, and flat grey images the driver encodes.
#include "Dorvex/Displays.h"
#include "support/FakePlatform.h"
#include "support/InProcessDriver.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <map>
#include <png.h>
#include <regex>
#include <set>
#include <sys/stat.h>

namespace dorvex {
namespace {

namespace fs = std::filesystem;

struct FakeDisplay {
    platform::Rect bounds;
    std::optional<platform::Size> modePixels; // nothing: the mode cannot be read
    platform::Size fallbackPixels;
};

class CapturePlatform : public testing::NoDisplays, public testing::NoWindowServer {
public:
    std::vector<uint32_t> listOrder{2, 1};
    std::map<uint32_t, FakeDisplay> displays{
        {1, {{0, 0, 1440, 900}, platform::Size{2880, 1800}, {1440, 900}}},
        {2, {{1440, -200, 1920, 1080}, std::nullopt, {1920, 1080}}},
    };
    uint32_t mainId = 1;
    int32_t countCode = 0;
    int32_t listCode = 0;
    std::optional<uint32_t> reportedCount; // a count that differs from the list's length
    std::map<uint32_t, std::vector<platform::WindowRow>> windowRows{
        {42,
         {{{"kCGWindowNumber", 42},
           {"kCGWindowOwnerPID", 501},
           {"kCGWindowBounds", {{"X", 10.5}, {"Y", 20}, {"Width", 300}, {"Height", 200}}}}}},
    };
    bool imagesFail = false;
    bool pixelsShort = false; // a pixel buffer that does not match the image's size
    std::vector<uint32_t> windowsAsked;

    platform::DisplayCountResult activeDisplayCount() override {
        return {countCode, reportedCount.value_or(static_cast<uint32_t>(listOrder.size()))};
    }
    platform::DisplayListResult activeDisplayList(uint32_t capacity) override {
        std::vector<uint32_t> ids = listOrder;
        if (ids.size() > capacity && !reportedCount) ids.resize(capacity);
        return {listCode, ids};
    }
    platform::Rect displayBounds(uint32_t id) override { return displays.at(id).bounds; }
    uint32_t mainDisplayId() override { return mainId; }
    std::optional<platform::Size> displayModePixelSize(uint32_t id) override {
        return displays.at(id).modePixels;
    }
    platform::Size displayPixelsFallback(uint32_t id) override {
        return displays.at(id).fallbackPixels;
    }
    std::optional<std::vector<platform::WindowRow>>
    copyWindowInfo(platform::WindowListOption option, uint32_t window) override {
        EXPECT_EQ(option, platform::WindowListOption::includingWindow);
        windowsAsked.push_back(window);
        auto found = windowRows.find(window);
        if (found == windowRows.end()) return std::nullopt;
        return found->second;
    }
    std::optional<platform::Image> createDisplayImage(uint32_t id) override {
        const FakeDisplay& display = displays.at(id);
        platform::Size pixels = display.modePixels.value_or(display.fallbackPixels);
        return image(static_cast<size_t>(pixels.width / 4), static_cast<size_t>(pixels.height / 4));
    }
    std::optional<platform::Image> createWindowImage(uint32_t) override { return image(60, 40); }

private:
    std::optional<platform::Image> image(size_t width, size_t height) {
        if (imagesFail) return std::nullopt;
        std::vector<uint8_t> pixels(width * height * 4 - (pixelsShort ? 4 : 0), 0x80);
        return platform::Image{width, height, std::move(pixels)};
    }
};

size_t filesIn(const fs::path& directory) {
    std::error_code error;
    if (!fs::is_directory(directory, error)) return 0;
    return static_cast<size_t>(std::distance(fs::directory_iterator(directory), {}));
}

std::optional<std::pair<size_t, size_t>> pngSize(const fs::path& file) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, file.c_str())) return std::nullopt;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    const bool read = png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) != 0;
    if (!read) return std::nullopt;
    return std::pair<size_t, size_t>{image.width, image.height};
}

size_t pngFilesUnder(const fs::path& root) {
    size_t count = 0;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        count += entry.path().extension() == ".png";
    }
    return count;
}

Json captureAction(Json action) {
    action["actionType"] = "desktop_capture_screen";
    return action;
}

class CaptureTest : public ::testing::Test {
protected:
    CapturePlatform platform;
    testing::FakePlatform facets{platform};
    testing::InProcessDriver driver{facets};

    Json capture(Json action) { return driver.execute(captureAction(std::move(action))); }
    const fs::path& captures() { return driver.shared().settings.captureDirectory; }
};

TEST_F(CaptureTest, DisplayLayoutIsInIdOrderWithModePixelsOrTheFallback) {
    for (const std::vector<uint32_t>& order : {std::vector<uint32_t>{2, 1}, {1, 2}}) {
        platform.listOrder = order;
        Json layout = desktopDisplayLayout(platform);
        ASSERT_EQ(layout.size(), 2u);
        EXPECT_EQ(layout[0]["monitorId"], 1);
        EXPECT_EQ(layout[0]["pixelWidth"], 2880);
        EXPECT_EQ(layout[0]["pixelHeight"], 1800);
        EXPECT_EQ(layout[1]["monitorId"], 2);
        EXPECT_EQ(layout[1]["bounds"],
                  Json::parse(R"({"x":1440.0,"y":-200.0,"width":1920.0,"height":1080.0})"));
        EXPECT_EQ(layout[1]["pixelWidth"], 1920);
    }
    platform.countCode = -1;
    EXPECT_EQ(desktopDisplayLayout(platform), Json::array());
}

TEST_F(CaptureTest, CapturesTheNamedOrMainDisplay) {
    struct Case {
        const char* name;
        Json action;
        uint32_t display;
        size_t width;
        size_t height;
    };
    const std::vector<Case> cases = {
        {"no monitorId", Json::object(), 1, 720, 450},
        {"monitorId 0", {{"monitorId", 0}}, 1, 720, 450},
        {"monitorId not a number", {{"monitorId", "second"}}, 1, 720, 450},
        {"second display", {{"monitorId", 2}}, 2, 480, 270},
        {"second display as a string", {{"monitorId", "2"}}, 2, 480, 270},
    };
    const std::regex namePattern("capture-[0-9]+-[0-9A-F]{8}\\.png");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Json answer = capture(c.action);
        ASSERT_EQ(answer["ok"], true) << answer.dump();
        EXPECT_EQ(answer["pathUsed"], "screen_capture");
        EXPECT_EQ(answer["summary"], "Captured screen image.");
        const Json& result = answer["result"];
        EXPECT_EQ(result["monitorId"], c.display);
        EXPECT_TRUE(result["windowId"].is_null());
        EXPECT_TRUE(result["ownerPid"].is_null());
        EXPECT_EQ(result["width"], c.width);
        EXPECT_EQ(result["height"], c.height);
        EXPECT_EQ(result["bounds"]["width"], platform.displays.at(c.display).bounds.width);
        EXPECT_EQ(result["displayLayout"], desktopDisplayLayout(platform));
        const fs::path file = result["filePath"].get<std::string>();
        EXPECT_TRUE(file.is_absolute());
        EXPECT_EQ(file.parent_path(), captures());
        EXPECT_TRUE(std::regex_match(file.filename().string(), namePattern)) << file;
        EXPECT_EQ(pngSize(file), (std::pair<size_t, size_t>{c.width, c.height}));
    }
}

TEST_F(CaptureTest, WindowIdWinsOverMonitorIdAndReportsTheOwner) {
    Json answer = capture({{"windowId", 42}, {"monitorId", 2}});
    ASSERT_EQ(answer["ok"], true) << answer.dump();
    const Json& result = answer["result"];
    EXPECT_EQ(result["windowId"], 42);
    EXPECT_EQ(result["ownerPid"], 501);
    EXPECT_TRUE(result["monitorId"].is_null());
    EXPECT_EQ(result["bounds"], Json::parse(R"({"x":10.5,"y":20,"width":300,"height":200})"));
    EXPECT_EQ(result["width"], 60);
    EXPECT_EQ(result["height"], 40);

    platform.windowRows[42][0].erase("kCGWindowOwnerPID");
    answer = capture({{"windowId", "42"}});
    ASSERT_EQ(answer["ok"], true) << answer.dump();
    EXPECT_TRUE(answer["result"]["ownerPid"].is_null());
}

TEST_F(CaptureTest, WindowsTheServerDoesNotDescribeAreNotFound) {
    const Json validBounds = {{"X", 0}, {"Y", 0}, {"Width", 10}, {"Height", 10}};
    struct Case {
        const char* name;
        std::optional<std::vector<platform::WindowRow>> rows; // nothing: the list is unreadable
    };
    const std::vector<Case> cases = {
        {"no list", std::nullopt},
        {"no row", std::vector<platform::WindowRow>{}},
        {"no bounds", std::vector<platform::WindowRow>{{{"kCGWindowNumber", 7}}}},
        {"bounds not an object", std::vector<platform::WindowRow>{{{"kCGWindowBounds", "0,0"}}}},
        {"bounds without height",
         std::vector<platform::WindowRow>{
             {{"kCGWindowBounds", {{"X", 0}, {"Y", 0}, {"Width", 10}}}}}},
        {"bounds with a text width",
         std::vector<platform::WindowRow>{
             {{"kCGWindowBounds", {{"X", 0}, {"Y", 0}, {"Width", "10"}, {"Height", 10}}}}}},
        {"only the second row has bounds",
         std::vector<platform::WindowRow>{{{"kCGWindowNumber", 7}},
                                          {{"kCGWindowBounds", validBounds}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform.windowRows.erase(7);
        if (c.rows) platform.windowRows[7] = *c.rows;
        if (!c.rows) platform.windowRows.erase(7);
        Json answer = capture({{"windowId", 7}});
        EXPECT_EQ(answer["ok"], false);
        EXPECT_EQ(answer["status"], "execution_failed");
        EXPECT_EQ(answer["error"],
                  Json::parse(R"({"code":"window_not_found","message":"Window bounds unavailable.",
                                  "retryable":false})"));
    }
    EXPECT_EQ(filesIn(captures()), 0u);
}

// Ids beyond 32 bits must not wrap onto a real window (4294967296 + 42 would be window 42).
TEST_F(CaptureTest, WindowIdsOutsideTheServerRangeNameNoWindow) {
    for (int64_t id : {int64_t{-1}, int64_t{4294967296} + 42, int64_t{-4294967296} + 42}) {
        Json answer = capture({{"windowId", id}});
        EXPECT_EQ(answer["error"]["code"], "window_not_found") << id;
    }
    EXPECT_TRUE(platform.windowsAsked.empty());
    EXPECT_EQ(capture({{"windowId", 4294967295LL}})["error"]["code"], "window_not_found");
    EXPECT_EQ(platform.windowsAsked, std::vector<uint32_t>{4294967295u});
}

TEST_F(CaptureTest, DisplayRefusals) {
    struct Case {
        const char* name;
        std::function<void(CapturePlatform&)> setUp;
        Json monitorId;
        const char* status;
        const char* code;
        std::string message;
    };
    const std::string noDisplay = "; nothing was captured.";
    const std::vector<Case> cases = {
        {"count unreadable", [](CapturePlatform& p) { p.countCode = 1001; }, 2, "execution_failed",
         "display_query_failed", "Unable to query displays."},
        {"count unreadable beats a bad id", [](CapturePlatform& p) { p.countCode = 1001; }, -1,
         "execution_failed", "display_query_failed", "Unable to query displays."},
        {"negative id", [](CapturePlatform&) {}, -1, "invalid_request", "monitor_not_found",
         "No display has id -1" + noDisplay},
        {"id beyond 32 bits", [](CapturePlatform&) {}, 4294967296LL, "invalid_request",
         "monitor_not_found", "No display has id 4294967296" + noDisplay},
        {"id beyond 32 bits that would wrap to a display", [](CapturePlatform&) {}, 4294967298LL,
         "invalid_request", "monitor_not_found", "No display has id 4294967298" + noDisplay},
        {"inactive display", [](CapturePlatform&) {}, 3, "invalid_request", "monitor_not_found",
         "No display has id 3" + noDisplay},
        {"list unreadable", [](CapturePlatform& p) { p.listCode = 1001; }, 2, "invalid_request",
         "monitor_not_found", "No display has id 2" + noDisplay},
        {"listed beyond the count", [](CapturePlatform& p) { p.reportedCount = 1; }, 1,
         "invalid_request", "monitor_not_found", "No display has id 1" + noDisplay},
        {"no image", [](CapturePlatform& p) { p.imagesFail = true; }, 2, "execution_failed",
         "capture_failed", "Failed to capture screen image."},
        {"no image of the main display", [](CapturePlatform& p) { p.imagesFail = true; }, 0,
         "execution_failed", "capture_failed", "Failed to capture screen image."},
        {"pixels that do not fill the image", [](CapturePlatform& p) { p.pixelsShort = true; }, 2,
         "execution_failed", "encode_failed", "Failed to encode capture as PNG."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CapturePlatform fresh;
        c.setUp(fresh);
        testing::FakePlatform freshFacets(fresh);
        testing::InProcessDriver local(freshFacets);
        Json answer = local.execute(captureAction({{"monitorId", c.monitorId}}));
        EXPECT_EQ(answer["ok"], false);
        EXPECT_EQ(answer["actionType"], "desktop_capture_screen");
        EXPECT_EQ(answer["pathUsed"], "screen_capture");
        EXPECT_EQ(answer["status"], c.status);
        EXPECT_EQ(answer["error"],
                  (Json{{"code", c.code}, {"message", c.message}, {"retryable", false}}));
        EXPECT_FALSE(answer.contains("result"));
        EXPECT_EQ(filesIn(local.shared().settings.captureDirectory), 0u);
    }
}

TEST_F(CaptureTest, WindowImageRefusedByTheSystemIsCaptureFailed) {
    platform.imagesFail = true;
    EXPECT_EQ(capture({{"windowId", 42}})["error"]["code"], "capture_failed");
    EXPECT_EQ(filesIn(captures()), 0u);
}

// A driver whose captures go to `relative` under its own directory.
testing::InProcessDriver::SettingsChange capturesAt(fs::path relative) {
    return [relative](ProcessSettings& settings, const fs::path& root) {
        settings.captureDirectory = root / relative;
    };
}

// The directory may live in a shared /tmp: it is used only when it is this user's own real
// directory, so nobody can redirect captures through a planted link.
TEST_F(CaptureTest, UnusableCaptureDirectoryIsAnIoFailure) {
    struct Case {
        const char* name;
        const char* directory; // under the driver's own directory
        std::function<void(const fs::path& root)> plant;
    };
    const std::vector<Case> cases = {
        {"a file in its place", "nubo-desktop-captures",
         [](const fs::path& root) { std::ofstream(root / "nubo-desktop-captures") << "x"; }},
        {"a link to another directory", "nubo-desktop-captures",
         [](const fs::path& root) {
             fs::create_directory(root / "elsewhere");
             fs::create_directory_symlink(root / "elsewhere", root / "nubo-desktop-captures");
         }},
        {"temporary directory below a file", "plain/deeper/nubo-desktop-captures",
         [](const fs::path& root) { std::ofstream(root / "plain") << "x"; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::InProcessDriver local(facets, capturesAt(c.directory));
        const fs::path root = local.directory().path();
        c.plant(root);
        Json answer = local.execute(captureAction(Json::object()));
        EXPECT_EQ(answer["status"], "execution_failed");
        EXPECT_EQ(answer["error"], Json::parse(R"({"code":"io_failed",
            "message":"Failed to create capture directory.","retryable":false})"));
        EXPECT_EQ(pngFilesUnder(root), 0u);
    }
}

TEST_F(CaptureTest, CreatesAPrivateDirectoryWithMissingParents) {
    testing::InProcessDriver nested(facets, capturesAt("a/b/nubo-desktop-captures"));
    Json answer = nested.execute(captureAction(Json::object()));
    ASSERT_EQ(answer["ok"], true) << answer.dump();
    const fs::path directory = nested.directory().path() / "a" / "b" / "nubo-desktop-captures";
    EXPECT_EQ(fs::path(answer["result"]["filePath"].get<std::string>()).parent_path(), directory);
    struct stat status {};
    ASSERT_EQ(::stat(directory.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0077, 0u);
}

TEST_F(CaptureTest, CapturesWithinOneMillisecondGetDistinctFiles) {
    driver.driver().now = [] {
        return std::chrono::system_clock::time_point(std::chrono::milliseconds(1765324800123));
    };
    std::set<std::string> paths;
    for (int i = 0; i < 20; ++i) {
        Json answer = capture(Json::object());
        ASSERT_EQ(answer["ok"], true);
        const std::string path = answer["result"]["filePath"];
        EXPECT_THAT(path, ::testing::HasSubstr("capture-1765324800123-"));
        paths.insert(path);
    }
    EXPECT_EQ(paths.size(), 20u);
    EXPECT_EQ(filesIn(captures()), 20u);
}

} // namespace
} // namespace dorvex
