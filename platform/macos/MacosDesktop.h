#pragma once

// The real macOS desktop: every boundary operation as the one system call it names, over
// ApplicationServices, CoreGraphics, AppKit, CoreFoundation and Apple Events. It translates
// and decides nothing; the driver's rules decide.
//
// Threads: the driver calls it on its main thread, except runningApplications (any thread)
// and the completion of openApplication (the system's thread). AppKit calls that belong to
// the main thread (screens) answer nothing elsewhere.
#include "platform/Platform.h"
#include "platform/macos/MacosCapture.h"

#include <cstdint>

namespace dorvex::platform::macos {

class MacosDesktop final : public Binding {
public:
    MacosDesktop();

    // Accessibility.
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

    // Window server.
    std::optional<std::vector<WindowRow>> copyWindowInfo(WindowListOption option,
                                                         uint32_t relativeToWindow) override;
    int32_t windowLevelForKey(int32_t key) override;

    // Displays and captures.
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

    // Permissions.
    bool isProcessTrusted() override;
    bool isProcessTrustedWithPrompt() override;
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
    // The private window-number function, looked up once by name; null when missing.
    using WindowNumberFunction = int32_t (*)(const void* element, uint32_t* windowNumber);
    WindowNumberFunction windowNumberFunction_ = nullptr;
    CoreGraphicsCapture legacyCapture_;
};

} // namespace dorvex::platform::macos
