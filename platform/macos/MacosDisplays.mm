// The displays facet: CoreGraphics' display calls and AppKit's screens. Captures are in
// MacosCapture.mm.
#include "platform/macos/MacosDesktop.h"

#import <AppKit/AppKit.h>
#include <CoreGraphics/CoreGraphics.h>
#include <algorithm>

namespace dorvex::platform::macos {
namespace {

Rect rect(CGRect value) {
    return {value.origin.x, value.origin.y, value.size.width, value.size.height};
}

} // namespace

DisplayCountResult MacosDesktop::activeDisplayCount() {
    uint32_t count = 0;
    CGError error = CGGetActiveDisplayList(0, nullptr, &count);
    return {static_cast<int32_t>(error), error == kCGErrorSuccess ? count : 0};
}

DisplayListResult MacosDesktop::activeDisplayList(uint32_t capacity) {
    std::vector<CGDirectDisplayID> ids(capacity);
    uint32_t count = 0;
    CGError error = CGGetActiveDisplayList(capacity, ids.data(), &count);
    if (error != kCGErrorSuccess) return {static_cast<int32_t>(error), {}};
    ids.resize(std::min(count, capacity));
    return {0, std::vector<uint32_t>(ids.begin(), ids.end())};
}

Rect MacosDesktop::displayBounds(uint32_t displayId) {
    return rect(CGDisplayBounds(displayId));
}

uint32_t MacosDesktop::mainDisplayId() {
    return CGMainDisplayID();
}

std::vector<uint32_t> MacosDesktop::displaysWithPoint(Point point) {
    const CGPoint at = CGPointMake(point.x, point.y);
    uint32_t count = 0;
    if (CGGetDisplaysWithPoint(at, 0, nullptr, &count) != kCGErrorSuccess || count == 0) return {};
    std::vector<CGDirectDisplayID> ids(count);
    if (CGGetDisplaysWithPoint(at, count, ids.data(), &count) != kCGErrorSuccess) return {};
    ids.resize(std::min<size_t>(count, ids.size()));
    return std::vector<uint32_t>(ids.begin(), ids.end());
}

std::optional<Size> MacosDesktop::displayModePixelSize(uint32_t displayId) {
    CGDisplayModeRef mode = CGDisplayCopyDisplayMode(displayId);
    if (mode == nullptr) return std::nullopt;
    const Size size{static_cast<double>(CGDisplayModeGetPixelWidth(mode)),
                    static_cast<double>(CGDisplayModeGetPixelHeight(mode))};
    CGDisplayModeRelease(mode);
    return size;
}

Size MacosDesktop::displayPixelsFallback(uint32_t displayId) {
    return {static_cast<double>(CGDisplayPixelsWide(displayId)),
            static_cast<double>(CGDisplayPixelsHigh(displayId))};
}

std::vector<ScreenInfo> MacosDesktop::screens() {
    // AppKit's screens belong to the main thread.
    if (![NSThread isMainThread]) return {};
    std::vector<ScreenInfo> result;
    @autoreleasepool {
        for (NSScreen* screen in [NSScreen screens]) {
            ScreenInfo info{rect(screen.frame), rect(screen.visibleFrame), std::nullopt};
            id number = screen.deviceDescription[@"NSScreenNumber"];
            if ([number isKindOfClass:[NSNumber class]]) {
                info.displayId = [static_cast<NSNumber*>(number) unsignedIntValue];
            }
            result.push_back(info);
        }
    }
    return result;
}

} // namespace dorvex::platform::macos
