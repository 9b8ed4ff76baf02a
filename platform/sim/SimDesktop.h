#pragma once

// The simulated desktop: the platform binding used wherever macOS is absent. It answers every
// platform call from a scenario model (SimScenario) and records what it was asked to do
// (SimRecorder). When the scenario comes from a file, the file is re-read whenever it changes
// between requests, so a test can change the desktop under a running driver.
#include "platform/Platform.h"
#include "platform/sim/SimInput.h"
#include "platform/sim/SimRecorder.h"
#include "platform/sim/SimScenario.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace dorvex::platform::sim {

struct SimOptions {
    std::optional<std::string> scenarioPath; // re-read when it changes between requests
    std::string scenarioText;                // used when no path is given
    // A scenario already read, used instead of the text when no path is given: a caller that
    // builds many desktops from one scenario reads it once.
    std::optional<SimScenario> scenario;
    std::optional<std::string> eventLogPath; // one JSON line per event, appended
    std::optional<std::string> statsPath;    // counters, written when the desktop is destroyed
    // Where relative bundle and executable paths start; the scenario file's directory when
    // there is one, else the current directory.
    std::optional<std::string> baseDirectory;
    std::optional<int64_t> latencyUs; // replaces every scenario's "latencyUs"
};

struct SimMessagingTimeout {
    std::string target; // "systemWide", or "pid/role/title" of the element
    double seconds = 0;
};

struct SimFileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    int64_t modifiedSeconds = 0;
    int64_t modifiedNanoseconds = 0;
    friend bool operator==(const SimFileStamp&, const SimFileStamp&) = default;
};

class SimDesktop final : public Binding {
public:
    explicit SimDesktop(SimOptions options);
    ~SimDesktop() override;
    SimDesktop(const SimDesktop&) = delete;
    SimDesktop& operator=(const SimDesktop&) = delete;

    // Replaces the model as a changed scenario file would; false (model kept) when refused.
    bool reloadFromText(std::string_view text);
    // Replaces the model with a scenario already read.
    void reload(SimScenario scenario);
    std::optional<std::string> lastLoadError() const;
    Json stats() const { return recorder_.stats(); }
    std::vector<Json> events() const { return recorder_.events(); }
    std::vector<SimMessagingTimeout> messagingTimeouts() const;

    // Accessibility.
    bool isProcessTrusted() override;
    bool isProcessTrustedWithPrompt() override;
    Element createApplicationElement(int32_t pid) override;
    Element createSystemWideElement() override;
    AXElementResult copyElementAtPosition(const Element& root, Point point) override;
    AXPidResult elementPid(const Element& element) override;
    int32_t setMessagingTimeout(const Element& element, double seconds) override;
    AXAttributeResult copyAttributeValue(const Element& element,
                                         const std::string& attribute) override;
    AXAttributesResult
    copyMultipleAttributeValues(const Element& element,
                                const std::vector<std::string>& attributes) override;
    AXNamesResult copyAttributeNames(const Element& element) override;
    int32_t performAction(const Element& element, const std::string& action) override;
    int32_t setStringAttribute(const Element& element, const std::string& attribute,
                               const std::string& value) override;
    bool sameElement(const Element& a, const Element& b) override;
    bool hasWindowNumberFunction() override;
    AXWindowNumberResult elementWindowNumber(const Element& element) override;

    // Window server, displays, images.
    std::optional<std::vector<WindowRow>> copyWindowInfo(WindowListOption option,
                                                         uint32_t relativeToWindow) override;
    DisplayCountResult activeDisplayCount() override;
    DisplayListResult activeDisplayList(uint32_t capacity) override;
    Rect displayBounds(uint32_t displayId) override;
    uint32_t mainDisplayId() override;
    std::vector<uint32_t> displaysWithPoint(Point point) override;
    std::optional<Size> displayModePixelSize(uint32_t displayId) override;
    Size displayPixelsFallback(uint32_t displayId) override;
    std::vector<ScreenInfo> screens() override;
    std::optional<Image> createDisplayImage(uint32_t displayId) override;
    std::optional<Image> createWindowImage(uint32_t windowId) override;

    // Input events.
    Event createKeyboardEvent(uint16_t keyCode, bool keyDown) override;
    void setEventFlags(Event& event, uint64_t flags) override;
    void setKeyboardEventText(Event& event, const std::u16string& text) override;
    Event createMouseEvent(MouseEventType type, Point point, MouseButton button) override;
    void postEvent(const Event& event) override;
    std::optional<Point> cursorLocation() override;
    int32_t windowLevelForKey(int32_t key) override;

    // Permissions.
    bool preflightScreenCaptureAccess() override;
    bool requestScreenCaptureAccess() override;
    bool preflightListenEventAccess() override;
    bool requestListenEventAccess() override;
    bool preflightPostEventAccess() override;
    bool requestPostEventAccess() override;
    int32_t determinePermissionToAutomate(int32_t pid, bool askUserIfNeeded) override;

    // Workspace.
    std::vector<RunningApplication> runningApplications() override;
    std::optional<RunningApplication> frontmostApplication() override;
    std::optional<std::string> urlForApplication(const std::string& bundleId) override;
    void openApplication(const std::string& url, bool activates,
                         std::function<void(OpenApplicationResult)> completion) override;
    bool openURL(const std::string& url) override;
    std::vector<RunningApplication>
    runningApplicationsWithBundleId(const std::string& bundleId) override;
    std::optional<RunningApplication> runningApplicationWithPid(int32_t pid) override;
    std::optional<std::string> processExecutablePath(int32_t pid) override;

    bool runMainRunLoopOnce() override;
    std::string scriptInterpreterPath() override;
    std::string platformName() override;

private:
    // Counts one platform call, waits out the latency knob (for a round trip to the app), and
    // keeps the desktop alive until the call has left: the destructor waits for calls still
    // running on other threads.
    class Call {
    public:
        enum class Kind { roundTrip, local };
        Call(SimDesktop& desktop, const char* name, Kind kind = Kind::roundTrip);
        ~Call();
        Call(const Call&) = delete;
        Call& operator=(const Call&) = delete;

    private:
        SimDesktop& desktop_;
    };

    // What an element handle names in the current model. Holds mutex_.
    struct Target {
        SimApp* app = nullptr;
        uint32_t index = 0;
        bool systemWide = false;
        int32_t code = axerr::success;
    };

    // All of these run with mutex_ held.
    Target resolve(const Element& element);
    Element elementFor(SimNodeRef ref) const;
    AXValue toAXValue(const SimValue& value) const;
    SimElementLabel labelOf(const SimApp& app, uint32_t index) const;
    void install(SimScenario scenario);
    AXAttributeResult systemWideAttribute(const std::string& attribute);
    // What the hit test finds at a point: an element, or the code it answers.
    struct SimHit {
        int32_t code = axerr::failure;
        std::optional<SimNodeRef> node;
    };
    SimHit hitNode(std::optional<int32_t> onlyPid, Point point) const;
    void deliverKey(const SimEvent& event, Json& line);
    void deliverMouse(const SimEvent& event, std::vector<Json>& consequences);
    void click(SimNodeRef ref, std::vector<Json>& consequences);
    bool request(SimPermission& permission, const char* name);
    bool seesGranted(const SimPermission& permission) const;
    double scaleForWindow(const SimWindow& window) const;
    OpenApplicationResult launch(const std::string& url, bool activates, Json& event);
    SimApp& startApp(const SimInstalledApp& installed);
    void activate(int32_t pid);

    void waitForScenarioChange(std::unique_lock<std::mutex>& lock);
    std::optional<SimFileStamp> statScenarioFile() const;
    void loadInitialScenario();
    void checkScenarioFile();
    void deliverLater(std::function<void(OpenApplicationResult)> completion,
                      OpenApplicationResult result, int64_t delayMs);

    SimOptions options_;
    SimRecorder recorder_;
    std::atomic<int64_t> latencyUs_{0};

    mutable std::mutex mutex_;        // guards everything below
    std::condition_variable changed_; // a reload or shutdown
    std::condition_variable idle_;    // the last running call left
    SimScenario model_;
    uint64_t generation_ = 1;
    bool startModel_ = false; // the model is the one this process started with
    bool stopping_ = false;
    int activeCalls_ = 0;
    std::optional<SimFileStamp> stamp_;
    std::optional<std::string> lastLoadError_;
    std::string baseDirectory_;
    std::vector<SimMessagingTimeout> timeouts_;
    std::vector<std::thread> completions_;
    std::optional<SimNodeRef> pressed_; // under the left button since its last press
};

} // namespace dorvex::platform::sim
