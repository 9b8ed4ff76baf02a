#pragma once

// The simulated window server: windows front to back, turned into the rows and the filtered
// lists that the window list call answers.
#include "platform/Platform.h"
#include "platform/sim/SimPicture.h"
#include "platform/types/Json.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dorvex::platform::sim {

// One window as the scenario gives it. Every optional field left out is absent from the row.
struct SimWindow {
    std::optional<uint32_t> number;
    std::optional<int64_t> ownerPid;
    std::optional<std::string> ownerName;
    std::optional<std::string> title;
    std::optional<Rect> bounds;
    std::optional<int64_t> layer;
    std::optional<double> alpha;
    std::optional<bool> onScreen;
    bool desktopElement = false;
    // Where the hit test finds the window (absent: all of its bounds); an overlay that lets
    // clicks through elsewhere, as the Dock's does, names only the part that takes them.
    std::optional<std::vector<Rect>> hitAreas;
    Json rawKeys = Json::object(); // merged into the row last; null removes a key
    std::optional<std::string> contentImage; // the file as the scenario names it
    SimPictureRef content;                   // its pixels, once the scenario has loaded

    bool isOnScreen() const { return onScreen.value_or(false); }
    bool isVisible() const { return isOnScreen() && alpha.value_or(1.0) > 0; }
};

// Throws ScenarioError.
SimWindow parseWindow(const Json& value, const std::string& path);

WindowRow windowRow(const SimWindow& window);

// The rows for a window list option and relative window, front to back.
std::vector<WindowRow> windowList(const std::vector<SimWindow>& windows, uint32_t option,
                                  uint32_t relativeToWindow);

const SimWindow* findWindow(const std::vector<SimWindow>& windows, uint32_t number);

// The front-most visible window whose bounds, and hit areas when it has them, hold the point,
// optionally of one owner only.
const SimWindow* windowAt(const std::vector<SimWindow>& windows, Point point,
                          std::optional<int32_t> ownerPid);

} // namespace dorvex::platform::sim
