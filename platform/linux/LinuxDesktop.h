#pragma once

// The Linux binding: every facet over one X connection and one accessibility-bus connection.
// docs/linux.md says what each answer means here and what Linux cannot express.
#include "platform/Platform.h"
#include "platform/linux/AtspiAccess.h"
#include "platform/linux/XDisplay.h"

namespace dorvex::platform::linux_desktop {

class LinuxDesktop final : public Binding {
public:
    LinuxDesktop();

    // How many round trips the accessibility bus has seen (for the benchmark).
    uint64_t accessibilityRoundTrips() { return atspi_.roundTrips(); }
    uint64_t accessibilityWaitNanos() { return atspi_.waitedNanos(); }

    // Accessibility
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
    bool hasWindowNumberFunction() override { return false; }
    AXWindowNumberResult elementWindowNumber(const Element& element) override;

    // WindowServer
    std::optional<std::vector<WindowRow>> copyWindowInfo(WindowListOption option,
                                                         uint32_t relativeToWindow) override;
    int32_t windowLevelForKey(int32_t key) override;

    // Displays
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

    // Input
    Event createKeyboardEvent(uint16_t keyCode, bool keyDown) override;
    void setEventFlags(Event& event, uint64_t flags) override;
    void setKeyboardEventText(Event& event, const std::u16string& text) override;
    Event createMouseEvent(MouseEventType type, Point point, MouseButton button) override;
    void postEvent(const Event& event) override;
    std::optional<Point> cursorLocation() override;

    // Permissions
    bool isProcessTrusted() override;
    bool isProcessTrustedWithPrompt() override;
    bool preflightScreenCaptureAccess() override;
    bool requestScreenCaptureAccess() override;
    bool preflightListenEventAccess() override;
    bool requestListenEventAccess() override;
    bool preflightPostEventAccess() override;
    bool requestPostEventAccess() override;
    int32_t determinePermissionToAutomate(int32_t pid, bool askUserIfNeeded) override;

    // Workspace
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
    // Nothing to pump; the pass before each request is where the last request's snapshots of
    // the applications are dropped.
    bool runMainRunLoopOnce() override {
        atspi_.forgetSnapshots();
        return false;
    }
    std::string scriptInterpreterPath() override { return "/bin/sh"; }
    std::string platformName() override { return "linux"; }

private:
    std::optional<Monitor> monitor(uint32_t displayId);
    RunningApplication application(int32_t pid, const std::vector<XWindow>& windows,
                                   const std::vector<AtspiApplication>& registered,
                                   std::optional<int32_t> active);

    XDisplay x_;
    AtspiAccess atspi_;
};

} // namespace dorvex::platform::linux_desktop
