#pragma once

// Fakes of the platform's facets. Each No* facet answers "nothing there": no windows, no
// displays, no applications, every accessibility call failing. A test derives from the facets
// its rule touches, overrides only the calls it needs, and hands them to FakePlatform, which
// fills the other facets with these.
#include "platform/Platform.h"

#include <type_traits>

namespace dorvex::testing {

class NoAccessibility : public platform::Accessibility {
public:
    platform::Element createApplicationElement(int32_t) override { return {}; }
    platform::Element createSystemWideElement() override { return {}; }
    platform::AXElementResult copyElementAtPosition(const platform::Element&,
                                                    platform::Point) override {
        return {};
    }
    platform::AXPidResult elementPid(const platform::Element&) override { return {}; }
    int32_t setMessagingTimeout(const platform::Element&, double) override {
        return platform::axerr::failure;
    }
    platform::AXAttributeResult copyAttributeValue(const platform::Element&,
                                                   const std::string&) override {
        return {};
    }
    platform::AXAttributesResult
    copyMultipleAttributeValues(const platform::Element&,
                                const std::vector<std::string>&) override {
        return {};
    }
    platform::AXNamesResult copyAttributeNames(const platform::Element&) override { return {}; }
    int32_t performAction(const platform::Element&, const std::string&) override {
        return platform::axerr::failure;
    }
    int32_t setStringAttribute(const platform::Element&, const std::string&,
                               const std::string&) override {
        return platform::axerr::failure;
    }
    bool sameElement(const platform::Element& a, const platform::Element& b) override {
        return a.raw() == b.raw();
    }
    bool hasWindowNumberFunction() override { return false; }
    platform::AXWindowNumberResult elementWindowNumber(const platform::Element&) override {
        return {};
    }
};

class NoWindowServer : public platform::WindowServer {
public:
    std::optional<std::vector<platform::WindowRow>> copyWindowInfo(platform::WindowListOption,
                                                                   uint32_t) override {
        return std::nullopt;
    }
    int32_t windowLevelForKey(int32_t) override { return 0; }
};

class NoDisplays : public platform::Displays {
public:
    platform::DisplayCountResult activeDisplayCount() override { return {}; }
    platform::DisplayListResult activeDisplayList(uint32_t) override { return {}; }
    platform::Rect displayBounds(uint32_t) override { return {}; }
    uint32_t mainDisplayId() override { return 0; }
    std::vector<uint32_t> displaysWithPoint(platform::Point) override { return {}; }
    std::optional<platform::Size> displayModePixelSize(uint32_t) override { return std::nullopt; }
    platform::Size displayPixelsFallback(uint32_t) override { return {}; }
    std::vector<platform::ScreenInfo> screens() override { return {}; }
    std::optional<platform::Image> createDisplayImage(uint32_t) override { return std::nullopt; }
    std::optional<platform::Image> createWindowImage(uint32_t) override { return std::nullopt; }
};

class NoInput : public platform::Input {
public:
    platform::Event createKeyboardEvent(uint16_t, bool) override { return {}; }
    void setEventFlags(platform::Event&, uint64_t) override {}
    void setKeyboardEventText(platform::Event&, const std::u16string&) override {}
    platform::Event createMouseEvent(platform::MouseEventType, platform::Point,
                                     platform::MouseButton) override {
        return {};
    }
    void postEvent(const platform::Event&) override {}
    std::optional<platform::Point> cursorLocation() override { return std::nullopt; }
};

class NoPermissions : public platform::Permissions {
public:
    bool isProcessTrusted() override { return false; }
    bool isProcessTrustedWithPrompt() override { return false; }
    bool preflightScreenCaptureAccess() override { return false; }
    bool requestScreenCaptureAccess() override { return false; }
    bool preflightListenEventAccess() override { return false; }
    bool requestListenEventAccess() override { return false; }
    bool preflightPostEventAccess() override { return false; }
    bool requestPostEventAccess() override { return false; }
    int32_t determinePermissionToAutomate(int32_t, bool) override { return -600; }
};

class NoWorkspace : public platform::Workspace {
public:
    std::vector<platform::RunningApplication> runningApplications() override { return {}; }
    std::optional<platform::RunningApplication> frontmostApplication() override {
        return std::nullopt;
    }
    std::optional<std::string> urlForApplication(const std::string&) override {
        return std::nullopt;
    }
    void openApplication(const std::string&, bool,
                         std::function<void(platform::OpenApplicationResult)> completion) override {
        completion({std::nullopt, std::string("not available")});
    }
    bool openURL(const std::string&) override { return false; }
    std::vector<platform::RunningApplication>
    runningApplicationsWithBundleId(const std::string&) override {
        return {};
    }
    std::optional<platform::RunningApplication> runningApplicationWithPid(int32_t) override {
        return std::nullopt;
    }
    std::optional<std::string> processExecutablePath(int32_t) override { return std::nullopt; }
    bool runMainRunLoopOnce() override { return false; }
    std::string scriptInterpreterPath() override { return "/bin/sh"; }
    std::string platformName() override { return "darwin"; }
};

// The aggregate of the facets a test gives (an object may implement several), the "nothing
// there" fakes standing in for the rest. The facets must outlive it.
class FakePlatform {
public:
    template <class... Facets> explicit FakePlatform(Facets&... facets) { (use(facets), ...); }
    FakePlatform(const FakePlatform&) = delete;
    FakePlatform& operator=(const FakePlatform&) = delete;

    platform::Platform platform() {
        return {*accessibility_, *windowServer_, *displays_, *input_, *permissions_, *workspace_};
    }
    operator platform::Platform() { return platform(); }

private:
    template <class Facet> void use(Facet& facet) {
        if constexpr (std::is_base_of_v<platform::Accessibility, Facet>) accessibility_ = &facet;
        if constexpr (std::is_base_of_v<platform::WindowServer, Facet>) windowServer_ = &facet;
        if constexpr (std::is_base_of_v<platform::Displays, Facet>) displays_ = &facet;
        if constexpr (std::is_base_of_v<platform::Input, Facet>) input_ = &facet;
        if constexpr (std::is_base_of_v<platform::Permissions, Facet>) permissions_ = &facet;
        if constexpr (std::is_base_of_v<platform::Workspace, Facet>) workspace_ = &facet;
    }

    NoAccessibility noAccessibility_;
    NoWindowServer noWindowServer_;
    NoDisplays noDisplays_;
    NoInput noInput_;
    NoPermissions noPermissions_;
    NoWorkspace noWorkspace_;
    platform::Accessibility* accessibility_ = &noAccessibility_;
    platform::WindowServer* windowServer_ = &noWindowServer_;
    platform::Displays* displays_ = &noDisplays_;
    platform::Input* input_ = &noInput_;
    platform::Permissions* permissions_ = &noPermissions_;
    platform::Workspace* workspace_ = &noWorkspace_;
};

} // namespace dorvex::testing
