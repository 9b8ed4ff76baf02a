// Scenario files: the embedded default desktop, the examples, refused scenarios, reloading a
// changed file between requests, and the counters written at the end.
#include "platform/sim/DefaultScenario.h"
#include "support/SimDesktops.h"

#include <chrono>
#include <filesystem>
#include <future>
#include <gtest/gtest.h>

namespace dorvex::platform::sim {
namespace {

using testing::desktopFrom;
using testing::findByIdentifier;
using testing::readFile;
using testing::stringOf;
using testing::TempDir;
using testing::writeFileAtomically;

const std::string examplesDir = std::string(DORVEX_SOURCE_DIR) + "/examples/scenarios";

TEST(SimScenario, EmbeddedDefaultIsTheExampleFile) {
    EXPECT_EQ(defaultScenarioText(), readFile(examplesDir + "/default.json"));
}

TEST(SimScenario, DefaultDesktopHasAnEditorInFront) {
    SimOptions options;
    options.scenarioText = std::string(defaultScenarioText());
    SimDesktop desktop(options);
    ASSERT_EQ(desktop.lastLoadError(), std::nullopt);

    std::optional<RunningApplication> front = desktop.frontmostApplication();
    ASSERT_TRUE(front.has_value());
    EXPECT_EQ(front->bundleIdentifier, "com.apple.TextEdit");
    EXPECT_TRUE(front->isActive);
    EXPECT_EQ(desktop.runningApplicationsWithBundleId("com.apple.finder").size(), 1u);
    EXPECT_EQ(desktop.displayModePixelSize(desktop.mainDisplayId()), (Size{2880, 1800}));
    EXPECT_EQ(desktop.screens().at(0).visibleFrame, (Rect{0, 0, 1440, 875}));

    std::vector<WindowRow> rows =
        *desktop.copyWindowInfo(WindowListOption::onScreenWithoutDesktop, 0);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0]["kCGWindowName"], "Untitled");

    Element app = desktop.createApplicationElement(front->pid);
    for (const char* identifier : {"nameField", "passwordField", "okButton", "statusText",
                                   "settingsGroup", "optionsGroup", "rememberCheckBox"}) {
        EXPECT_TRUE(findByIdentifier(desktop, app, identifier)) << identifier;
    }
    Element password = findByIdentifier(desktop, app, "passwordField");
    EXPECT_EQ(stringOf(desktop, password, "AXSubrole"), "AXSecureTextField");

    // The cursor follows posted moves.
    desktop.postEvent(
        desktop.createMouseEvent(MouseEventType::mouseMoved, {3, 4}, MouseButton::left));
    EXPECT_EQ(desktop.cursorLocation(), (Point{3, 4}));
}

TEST(SimScenario, EveryExampleLoads) {
    size_t examples = 0;
    for (const auto& entry : std::filesystem::directory_iterator(examplesDir)) {
        if (entry.path().extension() != ".json") continue;
        ++examples;
        SCOPED_TRACE(entry.path().string());
        SimScenarioLoad load = loadScenario(readFile(entry.path().string()), examplesDir);
        EXPECT_TRUE(load.scenario.has_value()) << load.error;
    }
    EXPECT_GE(examples, 4u);
}

TEST(SimScenario, FaultyScenariosAreRefusedAndTheDesktopKept) {
    struct Case {
        std::string text;
        std::string error; // part of the refusal
    };
    const Case cases[] = {
        {"{\"apps\": [", "not valid JSON"},
        {"[]", "expected an object"},
        {R"({"windws": []})", "scenario.windws: unknown key"},
        {R"({"apps": [{"pid": 1}, {"pid": 1}]})", "pid 1 is used twice"},
        {R"({"apps": [{"pid": 0}]})", "scenario.apps[0].pid"},
        {R"({"apps": [{"name": "NoPid"}]})", "scenario.apps[0].pid: required"},
        {R"({"apps": [{"pid": 1, "activationPolicy": "background"}]})", "activationPolicy"},
        {R"({"apps": [{"pid": 1, "accessibility": {"children": [{"id": "a"}, {"id": "a"}]}}]})",
         "\"a\" is used twice"},
        {R"({"apps": [{"pid": 1, "accessibility": {"attributes": {"AXLink": {"element": "zz"}}}}]})",
         "no element has the id \"zz\""},
        {R"({"apps": [{"pid": 1, "accessibility": {"children": [{"windows": []}]}}]})",
         "only the application has windows"},
        {R"({"apps": [{"pid": 1, "accessibility": {"role": "AXApplication", "attributes": {"AXRole": "x"}}}]})",
         "AXRole is given twice"},
        {R"({"displays": [{"id": 1, "bounds": {"x": 0, "y": 0, "width": 10, "height": 10}, "main": true},
                          {"id": 2, "bounds": {"x": 10, "y": 0, "width": 10, "height": 10}, "main": true}]})",
         "more than one main display"},
        {R"({"displays": [{"id": 1, "bounds": {"x": 0, "y": 0, "width": 10, "height": 10}, "pixelSize": {"width": 1e9, "height": 1}}]})",
         "pixel size out of range"},
        {R"({"windows": [{"number": 4294967296}]})", "scenario.windows[0].number"},
        {R"({"hitTest": [{"rect": {"x": 0, "y": 0, "width": 1, "height": 1}, "element": "a", "error": -25200}]})",
         "exactly one of"},
        {R"({"cursor": {"mode": "wanders"}})", "scenario.cursor.mode"},
        {R"({"cursor": {"mode": "fixed", "readings": 2}})", "only for lags"},
        {R"({"cursor": {"mode": "lags", "readings": -1}})", "scenario.cursor.readings"},
        {R"({"apps": [{"pid": 1, "focusedElement": "nowhere"}]})",
         "scenario.apps[0].focusedElement"},
        {R"({"apps": [{"pid": 1, "accessibility": {"children": [{"id": "f"}]}}, {"pid": 2, "focusedElement": "f"}]})",
         "no element of this app has that id"},
        {R"({"processes": [{"pid": 88}]})", "scenario.processes[0].executablePath"},
        {R"({"processes": [{"pid": 88, "executablePath": "/a"}, {"pid": 88, "executablePath": "/b"}]})",
         "pid 88 is used twice"},
        {R"({"apps": [{"pid": 88}], "processes": [{"pid": 88, "executablePath": "/a"}]})",
         "pid 88 is a running app"},
        {R"({"windows": [{"number": 1, "hitAreas": [{"x": 0}]}]})",
         "scenario.windows[0].hitAreas[0]"},
        {R"({"faults": {"windowList": "sometimes"}})", "scenario.faults.windowList"},
    };
    auto desktop = desktopFrom(Json{{"apps", {{{"pid", 5}}}}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_FALSE(desktop->reloadFromText(c.text));
        std::optional<std::string> error = desktop->lastLoadError();
        ASSERT_TRUE(error.has_value());
        EXPECT_NE(error->find(c.error), std::string::npos) << *error;
        EXPECT_EQ(desktop->runningApplications().size(), 1u);
    }
    // Comments are allowed anywhere.
    EXPECT_TRUE(
        desktop->reloadFromText(R"({"_comment": "empty", "apps": [{"pid": 6, "_why": "x"}]})"));
    EXPECT_EQ(desktop->lastLoadError(), std::nullopt);
}

TEST(SimScenario, UnreadableFirstScenarioGivesAnEmptyDesktop) {
    SimOptions options;
    options.scenarioText = "not json";
    SimDesktop desktop(options);
    EXPECT_TRUE(desktop.lastLoadError().has_value());
    EXPECT_TRUE(desktop.runningApplications().empty());
    EXPECT_EQ(desktop.activeDisplayCount().count, 0u);
    EXPECT_EQ(desktop.frontmostApplication(), std::nullopt);
}

class SimScenarioFile : public ::testing::Test {
protected:
    std::unique_ptr<SimDesktop> open() {
        SimOptions options;
        options.scenarioPath = path;
        options.statsPath = dir.file("stats.json");
        return std::make_unique<SimDesktop>(options);
    }
    static std::string withApps(std::initializer_list<int> pids) {
        Json apps = Json::array();
        for (int pid : pids)
            apps.push_back({{"pid", pid}});
        return Json{{"apps", apps}}.dump();
    }

    TempDir dir;
    std::string path = dir.file("scenario.json");
};

TEST_F(SimScenarioFile, ChangedFileIsReadBeforeTheNextRequest) {
    writeFileAtomically(path, withApps({1}));
    auto desktop = open();
    EXPECT_EQ(desktop->runningApplications().size(), 1u);

    // Replaced by rename: a new inode.
    writeFileAtomically(path, withApps({1, 2}));
    EXPECT_EQ(desktop->runningApplications().size(), 1u); // not before the loop turns
    EXPECT_FALSE(desktop->runMainRunLoopOnce());
    EXPECT_EQ(desktop->runningApplications().size(), 2u);

    // Edited in place: another size.
    std::ofstream(path, std::ios::trunc) << withApps({1, 2, 3});
    desktop->runMainRunLoopOnce();
    EXPECT_EQ(desktop->runningApplications().size(), 3u);

    // A broken edit keeps the desktop; fixing it is picked up again.
    writeFileAtomically(path, "{\"apps\": [");
    desktop->runMainRunLoopOnce();
    EXPECT_TRUE(desktop->lastLoadError().has_value());
    EXPECT_EQ(desktop->runningApplications().size(), 3u);
    writeFileAtomically(path, withApps({4}));
    desktop->runMainRunLoopOnce();
    EXPECT_EQ(desktop->lastLoadError(), std::nullopt);
    EXPECT_EQ(desktop->runningApplications().at(0).pid, 4);

    // A file that disappears keeps the desktop too.
    std::filesystem::remove(path);
    desktop->runMainRunLoopOnce();
    EXPECT_EQ(desktop->runningApplications().size(), 1u);
}

TEST_F(SimScenarioFile, UnchangedFileKeepsHandlesValid) {
    writeFileAtomically(path, Json{{"apps", {{{"pid", 1}, {"name", "One"}}}}}.dump());
    auto desktop = open();
    Element app = desktop->createApplicationElement(1);
    desktop->runMainRunLoopOnce();
    desktop->runMainRunLoopOnce();
    EXPECT_EQ(stringOf(*desktop, app, "AXTitle"), "One");
}

TEST_F(SimScenarioFile, MissingFileGivesAnEmptyDesktop) {
    auto desktop = open();
    EXPECT_TRUE(desktop->lastLoadError().has_value());
    EXPECT_TRUE(desktop->runningApplications().empty());
    writeFileAtomically(path, withApps({9}));
    desktop->runMainRunLoopOnce();
    EXPECT_EQ(desktop->runningApplications().at(0).pid, 9);
}

// The driver may wait for a hanging read on the thread that would reload the file, so the
// changed file itself must end the hang; the desktop is replaced only at the next request.
TEST_F(SimScenarioFile, HangingReadEndsWhenTheFileChanges) {
    writeFileAtomically(
        path, Json{{"apps", {{{"pid", 1}}}}, {"faults", {{"runningAppsHang", true}}}}.dump());
    auto desktop = open();
    auto read = std::async(std::launch::async, [&] { return desktop->runningApplications(); });
    EXPECT_EQ(read.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);

    writeFileAtomically(path, withApps({1, 2}));
    ASSERT_EQ(read.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(read.get().size(), 1u);                     // still the loaded desktop
    EXPECT_EQ(desktop->runningApplications().size(), 1u); // a reload is pending: no hang
    desktop->runMainRunLoopOnce();
    EXPECT_EQ(desktop->runningApplications().size(), 2u);
}

TEST_F(SimScenarioFile, CountersAreWrittenWhenTheDesktopGoes) {
    writeFileAtomically(path, withApps({1}));
    auto desktop = open();
    desktop->runningApplications();
    desktop->runningApplications();
    desktop.reset();
    Json stats = Json::parse(readFile(dir.file("stats.json")));
    EXPECT_EQ(stats["calls"]["runningApplications"], 2);
    EXPECT_EQ(stats["roundTrips"], 2);
    EXPECT_TRUE(stats["valueReads"].is_array());
}

} // namespace
} // namespace dorvex::platform::sim
