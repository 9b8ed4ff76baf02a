#pragma once

// The simulated desktop as plain data: displays, applications with their accessibility trees,
// the window server's list, the cursor, permissions and injected faults. A scenario file in
// JSON describes all of it (docs/simulated-desktop.md); `loadScenario` reads and checks one.
#include "platform/Platform.h"
#include "platform/sim/SimElementTree.h"
#include "platform/sim/SimWindowList.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dorvex::platform::sim {

struct SimDisplay {
    uint32_t id = 0;
    Rect bounds;
    Size pixelSize;
    bool modeReadable = true;
    Size fallbackPixelSize; // what the display's own pixel counts answer
    Rect visibleFrame;      // global points, y down, like bounds
    bool main = false;
    std::optional<std::string> contentImage; // the file as the scenario names it
    SimPictureRef content;                   // its pixels, exactly the display's pixel size
};

struct SimApp {
    RunningApplication info;
    std::optional<std::string> executablePath; // what proc_pidpath answers for its pid
    SimTree tree;
};

// An application that can be launched: not running until `openApplication` starts it.
struct SimInstalledApp {
    SimApp app;                     // info.pid 0: the next free pid is given at launch
    std::string bundleURL;          // what `urlForApplication` answers and `openApplication` takes
    std::vector<SimWindow> windows; // put in front of the window list at launch
    std::optional<std::string> launchError;
    int64_t launchDelayMs = 0;
    bool launchCompletes = true;
};

enum class CursorMode { follows, fixed, unreadable, lags };

struct SimCursor {
    CursorMode mode = CursorMode::follows;
    Point location;
    int64_t lagReadings = 0; // lags: readings that still answer the old location after a move
    // lags: where the last posted event put the pointer, and the readings still to wait.
    std::optional<Point> arriving;
    int64_t readingsLeft = 0;
};

struct SimPermission {
    bool granted = true;
    bool grantOnRequest = false;
    // The grant reaches only processes that start with it: a desktop that reloaded into it
    // still answers not granted.
    bool needsRestart = false;
};

// What the Apple Events check answers for one target app, and what the user answers when the
// check may ask (the code from then on).
struct SimAppleEventsTarget {
    int32_t code = 0;
    std::optional<int32_t> onPrompt;
};

struct SimPermissions {
    SimPermission accessibility, screenCapture, listenEvent, postEvent;
};

// A region where the accessibility hit test is forced to an element or an error code.
struct SimHitRegion {
    Rect rect;
    std::optional<std::string> elementId;
    int32_t error = axerr::failure;
};

struct SimFaults {
    bool windowListAll = false;
    std::vector<uint32_t> windowListOptions; // options that fail when not all do
    bool displayCount = false;
    bool displayList = false;
    bool displayImage = false;
    bool windowImage = false;
    bool eventCreation = false;
    int64_t runningAppsDelayMs = 0;
    bool runningAppsHang = false;

    bool windowListFails(uint32_t option) const;
};

struct SimScenario {
    std::vector<SimDisplay> displays;
    std::vector<SimApp> apps;
    std::vector<SimInstalledApp> installedApps;
    std::vector<SimWindow> windows; // front to back
    std::optional<int32_t> frontmostPid;
    SimCursor cursor;
    std::map<int32_t, int32_t> windowLevels{{13, 1000}};
    SimPermissions permissions;
    std::map<std::string, SimAppleEventsTarget> appleEvents; // by bundle id; others answer 0
    bool hasWindowNumberFunction = true;
    std::string scriptInterpreterPath = "/bin/sh";
    int64_t latencyUs = 0;
    std::vector<SimHitRegion> hitRegions;
    std::map<int32_t, std::string> processPaths; // processes that are not apps, by pid
    std::vector<std::string> refusedUrlPrefixes;
    SimFaults faults;
    std::map<std::string, SimNodeRef> elementIds; // of running apps; rebuilt at each launch

    SimApp* app(int32_t pid);
    const SimApp* app(int32_t pid) const;
    const SimDisplay* display(uint32_t id) const;
    const SimDisplay* mainDisplay() const;
    void indexElementIds();
};

struct SimScenarioLoad {
    std::optional<SimScenario> scenario;
    std::string error; // why the text was refused, when it was
};

// Relative paths (bundles, executables, pictures) are taken from `baseDirectory`: the scenario
// file's folder, when there is one.
SimScenarioLoad loadScenario(std::string_view text, const std::string& baseDirectory = "/");

// One problem of a scenario for its author: where (a JSON pointer into the file, "" for the
// whole file, and the dotted path the driver's refusal names) and what was expected.
struct ScenarioProblem {
    std::string pointer;
    std::string path;
    std::string expected;
};

struct SimScenarioCheck {
    std::optional<SimScenario> scenario; // when there is no problem
    std::vector<ScenarioProblem> problems;
};

// Reads a scenario as `loadScenario` does, but goes on after a problem to find as many as it
// can, each with its pointer.
SimScenarioCheck checkScenario(std::string_view text, const std::string& baseDirectory = "/");

// The JSON pointer (RFC 6901) of a dotted scenario path in `document`: keys holding dots, like
// bundle ids, are matched against the document's own keys.
std::string scenarioPointer(const Json& document, const std::string& path);

// A file path as a file URL; `directory` adds the trailing slash of a bundle. Text that is
// already a file URL is kept.
std::string fileURL(const std::string& path, bool directory);

// Gives AX windows without a frame of their own the bounds of their window-server window.
void deriveWindowFrames(SimApp& app, const std::vector<SimWindow>& windows);

} // namespace dorvex::platform::sim
