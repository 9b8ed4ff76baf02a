#pragma once

// A platform that answers every operation with "nothing there": no windows, no displays, no
// applications, every accessibility call failing. Tests derive from it and override only what
// their rule asks for.
#include "platform/Platform.h"

namespace dorvex::testing {

class StubPlatform : public platform::Platform {
public:
    bool isProcessTrusted() override { return false; }
    bool isProcessTrustedWithPrompt() override { return false; }
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

    std::optional<std::vector<platform::WindowRow>> copyWindowInfo(platform::WindowListOption,
                                                                   uint32_t) override {
        return std::nullopt;
    }

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
    std::optional<std::vector<uint8_t>> pngRepresentation(const platform::Image&) override {
        return std::nullopt;
    }

    platform::Event createKeyboardEvent(uint16_t, bool) override { return {}; }
    void setEventFlags(platform::Event&, uint64_t) override {}
    void setKeyboardEventText(platform::Event&, const std::u16string&) override {}
    platform::Event createMouseEvent(platform::MouseEventType, platform::Point,
                                     platform::MouseButton) override {
        return {};
    }
    void postEvent(const platform::Event&) override {}
    std::optional<platform::Point> cursorLocation() override { return std::nullopt; }
    int32_t windowLevelForKey(int32_t) override { return 0; }

    bool preflightScreenCaptureAccess() override { return false; }
    bool requestScreenCaptureAccess() override { return false; }
    bool preflightListenEventAccess() override { return false; }
    bool requestListenEventAccess() override { return false; }
    bool preflightPostEventAccess() override { return false; }
    bool requestPostEventAccess() override { return false; }

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

    bool runMainRunLoopOnce() override { return false; }
    std::string scriptInterpreterPath() override { return "/usr/bin/osascript"; }
};

} // namespace dorvex::testing
