// The display layout and screen captures through the built driver on simulated desktops.
#include "support/DriverProcess.h"
#include "support/PngFiles.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <png.h>
#include <regex>
#include <set>

namespace dorvex::testing {
namespace {

namespace fs = std::filesystem;

// Displays listed out of id order; the main one is neither first nor lowest; one display's
// mode cannot be read. One small window on the main display.
const char* const threeDisplays = R"({
  "displays": [
    {"id": 7, "bounds": {"x": 0, "y": 0, "width": 800, "height": 600}, "scale": 2, "main": true},
    {"id": 3, "bounds": {"x": -640, "y": 0, "width": 640, "height": 480}},
    {"id": 5, "bounds": {"x": 800, "y": 0, "width": 1024, "height": 768}, "scale": 2,
     "modeReadable": false, "fallbackPixelSize": {"width": 1000, "height": 700}}
  ],
  "apps": [{"pid": 300, "bundleId": "com.example.editor", "name": "Editor", "active": true}],
  "windows": [
    {"number": 20, "ownerPid": 300, "ownerName": "Editor", "title": "Doc",
     "bounds": {"x": 100, "y": 80, "width": 200, "height": 150}, "layer": 0, "onScreen": true}
  ]
})";

Json captureAction(Json parameters = Json::object()) {
    parameters["actionType"] = "desktop_capture_screen";
    return parameters;
}

std::optional<std::pair<int64_t, int64_t>> decodedSize(const std::string& file) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, file.c_str())) return std::nullopt;
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return std::nullopt;
    return std::pair<int64_t, int64_t>{image.width, image.height};
}

size_t captureFiles(const DriverProcess& driver) {
    const fs::path directory = fs::path(driver.directory()) / "tmp" / "nubo-desktop-captures";
    std::error_code error;
    if (!fs::is_directory(directory, error)) return 0;
    return static_cast<size_t>(std::distance(fs::directory_iterator(directory), {}));
}

TEST(CaptureEndToEnd, MonitorsAreListedByIdWhateverTheSystemOrder) {
    DriverProcess driver(onDesktop(threeDisplays));
    Json answer = driver.execute({{"actionType", "desktop_list_monitors"}});
    EXPECT_EQ(answer["ok"], true);
    EXPECT_EQ(answer["pathUsed"], "screen_capture");
    EXPECT_EQ(answer["summary"], "Enumerated displays.");
    EXPECT_EQ(answer["result"], Json::parse(R"([
      {"monitorId": 3, "bounds": {"x": -640.0, "y": 0.0, "width": 640.0, "height": 480.0},
       "pixelWidth": 640, "pixelHeight": 480},
      {"monitorId": 5, "bounds": {"x": 800.0, "y": 0.0, "width": 1024.0, "height": 768.0},
       "pixelWidth": 1000, "pixelHeight": 700},
      {"monitorId": 7, "bounds": {"x": 0.0, "y": 0.0, "width": 800.0, "height": 600.0},
       "pixelWidth": 1600, "pixelHeight": 1200}])"));
}

TEST(CaptureEndToEnd, MainDisplayWhenMonitorIdIsZeroOrAbsent) {
    DriverProcess driver(onDesktop(threeDisplays));
    const std::regex namePattern("capture-[0-9]+-[0-9A-F]{8}\\.png");
    for (const Json& action : {captureAction(), captureAction({{"monitorId", 0}})}) {
        Json answer = driver.execute(action);
        ASSERT_EQ(answer["ok"], true) << answer.dump();
        const Json& result = answer["result"];
        EXPECT_EQ(result["monitorId"], 7);
        EXPECT_EQ(result["bounds"], Json::parse(R"({"x":0,"y":0,"width":800,"height":600})"));
        EXPECT_EQ(result["width"], 1600);
        EXPECT_EQ(result["height"], 1200);
        EXPECT_TRUE(result["windowId"].is_null() && result["ownerPid"].is_null());
        EXPECT_EQ(result["displayLayout"].size(), 3u);
        const fs::path file = result["filePath"].get<std::string>();
        EXPECT_EQ(file.parent_path(),
                  fs::path(driver.directory()) / "tmp" / "nubo-desktop-captures");
        EXPECT_TRUE(std::regex_match(file.filename().string(), namePattern)) << file;
        EXPECT_EQ(decodedSize(file), (std::pair<int64_t, int64_t>{1600, 1200}));
    }
}

TEST(CaptureEndToEnd, DisplaysThatDoNotExistAreRefused) {
    DriverProcess driver(onDesktop(threeDisplays));
    // 4294967299 would be display 3 if the id were cut to 32 bits.
    for (int64_t id : {int64_t{-1}, int64_t{4294967296}, int64_t{4294967299}, int64_t{4}}) {
        Json answer = driver.execute(captureAction({{"monitorId", id}}));
        EXPECT_EQ(answer["ok"], false);
        EXPECT_EQ(answer["status"], "invalid_request");
        EXPECT_EQ(answer["pathUsed"], "screen_capture");
        EXPECT_EQ(answer["error"], (Json{{"code", "monitor_not_found"},
                                         {"message", "No display has id " + std::to_string(id) +
                                                         "; nothing was captured."},
                                         {"retryable", false}}));
    }
    EXPECT_EQ(captureFiles(driver), 0u);
}

TEST(CaptureEndToEnd, WindowCaptureAndAClosedWindow) {
    DriverProcess driver(onDesktop(threeDisplays));
    Json answer = driver.execute(captureAction({{"windowId", 20}, {"monitorId", 3}}));
    ASSERT_EQ(answer["ok"], true) << answer.dump();
    const Json& result = answer["result"];
    EXPECT_EQ(result["windowId"], 20);
    EXPECT_EQ(result["ownerPid"], 300);
    EXPECT_TRUE(result["monitorId"].is_null());
    EXPECT_EQ(result["bounds"], Json::parse(R"({"x":100,"y":80,"width":200,"height":150})"));
    EXPECT_EQ(result["width"], 400); // at the main display's scale of 2
    EXPECT_EQ(result["height"], 300);
    EXPECT_EQ(decodedSize(result["filePath"]), (std::pair<int64_t, int64_t>{400, 300}));
    ASSERT_EQ(captureFiles(driver), 1u);

    Json closed = Json::parse(threeDisplays);
    closed["windows"] = Json::array();
    driver.setScenario(closed.dump());
    for (const Json& id : {Json(20), Json("20"), Json(4294967296LL + 20), Json(-1)}) {
        Json refused = driver.execute(captureAction({{"windowId", id}}));
        EXPECT_EQ(refused["status"], "execution_failed") << id;
        EXPECT_EQ(refused["error"], Json::parse(R"({"code":"window_not_found",
            "message":"Window bounds unavailable.","retryable":false})"));
    }
    EXPECT_EQ(captureFiles(driver), 1u);
}

TEST(CaptureEndToEnd, DefaultDesktopCapturesAtFullPixelSize) {
    DriverProcess driver;
    Json answer = driver.execute(captureAction());
    ASSERT_EQ(answer["ok"], true) << answer.dump();
    const Json& layout = answer["result"]["displayLayout"];
    ASSERT_EQ(layout.size(), 1u);
    EXPECT_EQ(answer["result"]["width"], layout[0]["pixelWidth"]);
    EXPECT_EQ(answer["result"]["height"], layout[0]["pixelHeight"]);
    EXPECT_EQ(decodedSize(answer["result"]["filePath"]),
              (std::pair<int64_t, int64_t>{layout[0]["pixelWidth"], layout[0]["pixelHeight"]}));
}

// Many captures in one burst land within the same milliseconds; none may share a file.
TEST(CaptureEndToEnd, BurstOfCapturesGetsDistinctFiles) {
    DriverProcess driver(onDesktop(threeDisplays));
    std::string burst;
    const int count = 25;
    for (int i = 0; i < count; ++i) {
        burst += Json{{"jsonrpc", "2.0"},
                      {"id", "b" + std::to_string(i)},
                      {"method", "automation.execute"},
                      {"params", {{"action", captureAction({{"windowId", 20}})}}}}
                     .dump() +
                 "\n";
    }
    driver.sendRaw(burst);
    std::set<std::string> paths;
    for (int i = 0; i < count; ++i) {
        std::optional<Json> line = driver.readLine();
        ASSERT_TRUE(line.has_value());
        ASSERT_EQ((*line)["result"]["ok"], true) << line->dump();
        paths.insert((*line)["result"]["result"]["filePath"].get<std::string>());
    }
    EXPECT_EQ(paths.size(), static_cast<size_t>(count));
    EXPECT_EQ(captureFiles(driver), static_cast<size_t>(count));
}

TEST(CaptureEndToEnd, SystemFailuresBecomeFailureEnvelopes) {
    struct Case {
        const char* name;
        const char* faults;
        Json action;
        const char* status;
        const char* code;
    };
    const std::vector<Case> cases = {
        {"display count", R"({"displayCount": true})", captureAction({{"monitorId", 5}}),
         "execution_failed", "display_query_failed"},
        {"display list", R"({"displayList": true})", captureAction({{"monitorId", 5}}),
         "invalid_request", "monitor_not_found"},
        {"display image", R"({"displayImage": true})", captureAction(), "execution_failed",
         "capture_failed"},
        {"window image", R"({"windowImage": true})", captureAction({{"windowId", 20}}),
         "execution_failed", "capture_failed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Json scenario = Json::parse(threeDisplays);
        scenario["faults"] = Json::parse(c.faults);
        DriverProcess driver(onDesktop(scenario.dump()));
        Json answer = driver.execute(c.action);
        EXPECT_EQ(answer["ok"], false) << answer.dump();
        EXPECT_EQ(answer["status"], c.status);
        EXPECT_EQ(answer["error"]["code"], c.code);
        EXPECT_EQ(captureFiles(driver), 0u);
    }
}

// Captures go under TMPDIR, into a directory made private with any missing parents, and only
// when it is a real directory: a planted file there is an I/O failure.
TEST(CaptureEndToEnd, CaptureDirectoryIsAPrivateOneUnderTmpdir) {
    TempDir elsewhere;
    DriverOptions nested = onDesktop(threeDisplays);
    nested.env = {{"TMPDIR", (elsewhere.path() / "a" / "b").string()}};
    DriverProcess driver(nested);
    Json answer = driver.execute(captureAction());
    ASSERT_EQ(answer["ok"], true) << answer.dump();
    const fs::path directory = elsewhere.path() / "a" / "b" / "nubo-desktop-captures";
    EXPECT_EQ(fs::path(answer["result"]["filePath"].get<std::string>()).parent_path(), directory);
    EXPECT_EQ(fs::status(directory).permissions() & fs::perms::all, fs::perms::owner_all);

    DriverProcess planted(onDesktop(threeDisplays));
    std::ofstream(fs::path(planted.directory()) / "tmp" / "nubo-desktop-captures") << "x";
    EXPECT_EQ(planted.execute(captureAction()),
              Json::parse(R"({"ok":false,"status":"execution_failed",
                  "actionType":"desktop_capture_screen","pathUsed":"screen_capture","error":{
                  "code":"io_failed","message":"Failed to create capture directory.",
                  "retryable":false}})"));
}

// The main display needs no display count; the layout read after the file is then empty.
TEST(CaptureEndToEnd, MainDisplayCaptureSurvivesAnUnreadableDisplayCount) {
    Json scenario = Json::parse(threeDisplays);
    scenario["faults"] = {{"displayCount", true}};
    DriverProcess driver(onDesktop(scenario.dump()));
    Json answer = driver.execute(captureAction());
    ASSERT_EQ(answer["ok"], true) << answer.dump();
    EXPECT_EQ(answer["result"]["monitorId"], 7);
    EXPECT_EQ(answer["result"]["displayLayout"], Json::array());
}

// What a scenario's pictures show is what the capture file holds, pixel for pixel: an opaque
// screen as RGB, a window with translucent pixels with its alpha.
TEST(CaptureEndToEnd, PicturesOfTheScenarioAreCapturedPixelForPixel) {
    TempDir pictures;
    std::vector<uint8_t> screen, window;
    for (size_t i = 0; i < 64 * 40; ++i) {
        screen.insert(screen.end(),
                      {static_cast<uint8_t>(i), static_cast<uint8_t>(i / 64), 9, 255});
    }
    for (size_t i = 0; i < 8 * 6; ++i) {
        window.insert(window.end(),
                      {static_cast<uint8_t>(i * 5), 1, 2, static_cast<uint8_t>(i * 5)});
    }
    ASSERT_TRUE(writePng(pictures.path() / "screen.png", 64, 40, screen, false));
    ASSERT_TRUE(writePng(pictures.path() / "window.png", 8, 6, window));
    const Json scenario = {{"displays",
                            {{{"id", 1},
                              {"bounds", {{"x", 0}, {"y", 0}, {"width", 32}, {"height", 20}}},
                              {"scale", 2},
                              {"contentImage", (pictures.path() / "screen.png").string()}}}},
                           {"windows",
                            {{{"number", 5},
                              {"bounds", {{"x", 2}, {"y", 2}, {"width", 4}, {"height", 3}}},
                              {"contentImage", (pictures.path() / "window.png").string()}}}}};
    DriverProcess driver(onDesktop(scenario.dump()));
    struct Case {
        Json action;
        const std::vector<uint8_t>& pixels;
        bool alpha;
    };
    for (const Case& c : {Case{captureAction(), screen, false},
                          Case{captureAction({{"windowId", 5}}), window, true}}) {
        SCOPED_TRACE(c.action.dump());
        Json answer = driver.execute(c.action);
        ASSERT_EQ(answer["ok"], true) << answer.dump();
        auto decoded = decodePngFile(answer["result"]["filePath"].get<std::string>());
        ASSERT_TRUE(decoded.has_value());
        EXPECT_EQ(decoded->hasAlpha, c.alpha);
        EXPECT_TRUE(decoded->rgba == c.pixels);
    }
}

// A real screen through the whole path: the picture read by the desktop, the capture encoded
// and written by the driver, the file read back.
TEST(CaptureEndToEnd, RealScreensAreCapturedLosslessly) {
    const fs::path folder = screenFixtureDirectory();
    if (!fs::is_directory(folder)) GTEST_SKIP() << "no fixtures at " << folder;
    for (const char* name : screenFixtureNames) {
        SCOPED_TRACE(name);
        const Json scenario = {
            {"displays",
             {{{"id", 1},
               {"bounds", {{"x", 0}, {"y", 0}, {"width", 1440}, {"height", 900}}},
               {"scale", 2},
               {"contentImage", fs::absolute(folder / name).string()}}}}};
        DriverProcess driver(onDesktop(scenario.dump()));
        Json answer = driver.execute(captureAction());
        ASSERT_EQ(answer["ok"], true) << answer.dump();
        auto captured = decodePngFile(answer["result"]["filePath"].get<std::string>());
        auto fixture = decodePngFile(folder / name);
        ASSERT_TRUE(captured && fixture);
        EXPECT_TRUE(captured->rgba == fixture->rgba);
    }
}

} // namespace
} // namespace dorvex::testing
