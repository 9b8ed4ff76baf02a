#pragma once

// The platform boundary. Everything the driver asks of the operating system passes through
// this interface, one operation per call, answering plain values. No rule lives behind it:
// bindings translate, the driver and its core library decide. Two bindings exist: the
// simulated desktop (platform/sim), used wherever macOS is absent, and the macOS binding
// (platform/macos), built on Apple hosts.

#include "DorvexCore/Json.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace dorvex::platform {

// Accessibility error codes the driver relies on by number.
namespace axerr {
inline constexpr int32_t success = 0;
inline constexpr int32_t failure = -25200;
inline constexpr int32_t illegalArgument = -25201;
inline constexpr int32_t invalidUIElement = -25202;
inline constexpr int32_t cannotComplete = -25204;
inline constexpr int32_t attributeUnsupported = -25205;
inline constexpr int32_t actionUnsupported = -25206;
inline constexpr int32_t notImplemented = -25208;
inline constexpr int32_t apiDisabled = -25211;
inline constexpr int32_t noValue = -25212;
} // namespace axerr

// An accessibility element: an opaque, reference-counted handle owned by the binding. A
// default-constructed Element names nothing.
class Element {
public:
    Element() = default;
    explicit Element(std::shared_ptr<const void> handle) : handle_(std::move(handle)) {}
    explicit operator bool() const { return handle_ != nullptr; }
    const void* raw() const { return handle_.get(); }
    const std::shared_ptr<const void>& handle() const { return handle_; }

private:
    std::shared_ptr<const void> handle_;
};

struct Point {
    double x = 0;
    double y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    double width = 0;
    double height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

// An accessibility attribute value, as the accessibility interface types it.
struct AXNumber {
    double value = 0;
    bool isBoolean = false; // a CFBoolean rather than a CFNumber
};
struct AXOtherType {
    std::string typeName; // a value of a type the driver does not read (URL, range, ...)
};
struct AXValue;
using AXValueList = std::vector<AXValue>;
struct AXValue {
    std::variant<std::monostate, std::string, AXNumber, AXValueList, Element, Point, Size,
                 AXOtherType>
        value;

    bool isNone() const { return std::holds_alternative<std::monostate>(value); }
    const std::string* string() const { return std::get_if<std::string>(&value); }
    const AXNumber* number() const { return std::get_if<AXNumber>(&value); }
    const AXValueList* list() const { return std::get_if<AXValueList>(&value); }
    const Element* element() const { return std::get_if<Element>(&value); }
    const Point* point() const { return std::get_if<Point>(&value); }
    const Size* size() const { return std::get_if<Size>(&value); }
};

struct AXAttributeResult {
    int32_t code = axerr::failure;
    AXValue value;
};

struct AXNamesResult {
    int32_t code = axerr::failure;
    std::vector<std::string> names;
};

struct AXElementResult {
    int32_t code = axerr::failure;
    Element element;
};

struct AXPidResult {
    int32_t code = axerr::failure;
    int32_t pid = 0;
};

struct AXWindowNumberResult {
    int32_t code = axerr::failure;
    uint32_t windowNumber = 0;
};

// Window list options of the window server, by their numeric values.
enum class WindowListOption : uint32_t {
    all = 0,
    onScreenOnly = 1,
    onScreenAboveWindow = 2,
    onScreenBelowWindow = 4,
    includingWindow = 8,
    excludeDesktopElements = 16,
    onScreenWithoutDesktop = 17,
    onScreenAboveWithoutDesktop = 18,
    onScreenBelowWithoutDesktop = 20,
};

// One window-list row: a dictionary keyed by the window server's key names
// ("kCGWindowNumber", "kCGWindowBounds", ...). Missing or mistyped keys are simply absent or of
// another JSON type; readers check.
using WindowRow = Json;

struct ScreenInfo {
    Rect frame;
    Rect visibleFrame;
    std::optional<uint32_t> displayId; // "NSScreenNumber"
};

struct DisplayCountResult {
    int32_t code = -1; // 0 on success
    uint32_t count = 0;
};

struct DisplayListResult {
    int32_t code = -1;                // 0 on success
    std::vector<uint32_t> displayIds; // at most the capacity asked for
};

// A captured image: its pixel size and the binding's own representation.
struct Image {
    size_t width = 0;
    size_t height = 0;
    std::shared_ptr<const void> handle;
};

// A synthesized input event, created by the binding and posted by it.
struct Event {
    std::shared_ptr<void> handle;
    explicit operator bool() const { return handle != nullptr; }
};

enum class MouseEventType : uint32_t {
    leftMouseDown = 1,
    leftMouseUp = 2,
    rightMouseDown = 3,
    rightMouseUp = 4,
    mouseMoved = 5,
    otherMouseDown = 25,
    otherMouseUp = 26,
};

enum class MouseButton : uint32_t { left = 0, right = 1, center = 2 };

enum class ActivationPolicy : int32_t { regular = 0, accessory = 1, prohibited = 2 };

// An application as the workspace reports it (NSRunningApplication's properties).
struct RunningApplication {
    int32_t pid = 0;
    std::optional<std::string> bundleIdentifier;
    std::optional<std::string> localizedName;
    std::optional<double> launchDate; // seconds since 1970
    bool isActive = false;
    bool isHidden = false;
    ActivationPolicy activationPolicy = ActivationPolicy::regular;
    std::optional<std::string> bundleURL;     // file URL of the bundle
    std::optional<std::string> executableURL; // file URL of the executable
};

struct OpenApplicationResult {
    std::optional<RunningApplication> app;
    std::optional<std::string> error; // the error's description when the open failed
};

class Platform {
public:
    virtual ~Platform() = default;

    // Accessibility (ApplicationServices).
    virtual bool isProcessTrusted() = 0;
    virtual bool isProcessTrustedWithPrompt() = 0;
    virtual Element createApplicationElement(int32_t pid) = 0;
    virtual Element createSystemWideElement() = 0;
    virtual AXElementResult copyElementAtPosition(const Element& root, Point point) = 0;
    virtual AXPidResult elementPid(const Element& element) = 0;
    virtual int32_t setMessagingTimeout(const Element& element, double seconds) = 0;
    virtual AXAttributeResult copyAttributeValue(const Element& element,
                                                 const std::string& attribute) = 0;
    virtual AXNamesResult copyAttributeNames(const Element& element) = 0;
    virtual int32_t performAction(const Element& element, const std::string& action) = 0;
    virtual int32_t setStringAttribute(const Element& element, const std::string& attribute,
                                       const std::string& value) = 0;
    virtual bool sameElement(const Element& a, const Element& b) = 0;
    // The private window-number function, looked up once by name; it may be missing.
    virtual bool hasWindowNumberFunction() = 0;
    virtual AXWindowNumberResult elementWindowNumber(const Element& element) = 0;

    // Window server. Nothing when the list cannot be read.
    virtual std::optional<std::vector<WindowRow>> copyWindowInfo(WindowListOption option,
                                                                 uint32_t relativeToWindow) = 0;

    // Displays.
    virtual DisplayCountResult activeDisplayCount() = 0;
    virtual DisplayListResult activeDisplayList(uint32_t capacity) = 0;
    virtual Rect displayBounds(uint32_t displayId) = 0;
    virtual uint32_t mainDisplayId() = 0;
    virtual std::vector<uint32_t> displaysWithPoint(Point point) = 0;
    // The current mode's pixel size, when the mode can be read.
    virtual std::optional<Size> displayModePixelSize(uint32_t displayId) = 0;
    virtual Size displayPixelsFallback(uint32_t displayId) = 0;
    virtual std::vector<ScreenInfo> screens() = 0;

    // Images.
    virtual std::optional<Image> createDisplayImage(uint32_t displayId) = 0;
    virtual std::optional<Image> createWindowImage(uint32_t windowId) = 0;
    virtual std::optional<std::vector<uint8_t>> pngRepresentation(const Image& image) = 0;

    // Input events.
    virtual Event createKeyboardEvent(uint16_t keyCode, bool keyDown) = 0;
    virtual void setEventFlags(Event& event, uint64_t flags) = 0;
    virtual void setKeyboardEventText(Event& event, const std::u16string& text) = 0;
    virtual Event createMouseEvent(MouseEventType type, Point point, MouseButton button) = 0;
    virtual void postEvent(const Event& event) = 0;
    virtual std::optional<Point> cursorLocation() = 0;
    virtual int32_t windowLevelForKey(int32_t key) = 0;

    // Privacy preflight and request calls.
    virtual bool preflightScreenCaptureAccess() = 0;
    virtual bool requestScreenCaptureAccess() = 0;
    virtual bool preflightListenEventAccess() = 0;
    virtual bool requestListenEventAccess() = 0;
    virtual bool preflightPostEventAccess() = 0;
    virtual bool requestPostEventAccess() = 0;

    // Workspace and running applications (AppKit). runningApplications must be safe to call
    // from another thread.
    virtual std::vector<RunningApplication> runningApplications() = 0;
    virtual std::optional<RunningApplication> frontmostApplication() = 0;
    virtual std::optional<std::string> urlForApplication(const std::string& bundleId) = 0;
    // The completion may run on another thread, once.
    virtual void openApplication(const std::string& url, bool activates,
                                 std::function<void(OpenApplicationResult)> completion) = 0;
    virtual bool openURL(const std::string& url) = 0;
    virtual std::vector<RunningApplication>
    runningApplicationsWithBundleId(const std::string& bundleId) = 0;
    virtual std::optional<RunningApplication> runningApplicationWithPid(int32_t pid) = 0;

    // The main thread's run loop: one zero-time pass; true when it handled a source.
    virtual bool runMainRunLoopOnce() = 0;

    // The program that runs an AppleScript file given as its only argument.
    virtual std::string scriptInterpreterPath() = 0;
};

// The binding for this host: macOS on Apple hosts, the simulated desktop elsewhere.
std::unique_ptr<Platform> makePlatform();

} // namespace dorvex::platform
