// Single-frame captures through ScreenCaptureKit (macOS 14 and later). Translation only: find
// the display or window, capture one frame at its pixel size, hand the pixels on. Compiled
// into a build whose SDK has ScreenCaptureKit; elsewhere it reports itself unavailable and
// captures take CoreGraphics' path.
#include "platform/macos/MacosCapture.h"

#if __has_include(<ScreenCaptureKit/ScreenCaptureKit.h>)

#import <Foundation/Foundation.h>
#import <ScreenCaptureKit/ScreenCaptureKit.h>
#include <memory>

namespace dorvex::platform::macos {
namespace {

// The system answers on its own queue; a capture that does not answer by then gives nothing.
constexpr int64_t answerWaitNs = 10 * static_cast<int64_t>(NSEC_PER_SEC);

bool waitFor(dispatch_semaphore_t done) {
    return dispatch_semaphore_wait(done, dispatch_time(DISPATCH_TIME_NOW, answerWaitNs)) == 0;
}

SCShareableContent* shareableContent() API_AVAILABLE(macos(14.0)) {
    __block SCShareableContent* found = nil;
    dispatch_semaphore_t done = dispatch_semaphore_create(0);
    [SCShareableContent
        getShareableContentWithCompletionHandler:^(SCShareableContent* content, NSError* error) {
          (void)error;
          found = content;
          dispatch_semaphore_signal(done);
        }];
    return waitFor(done) ? found : nil;
}

// The captured frame, filled in on the system's queue and read only after it signalled.
struct Frame {
    std::optional<Image> image;
};

std::optional<Image> capture(SCContentFilter* filter) API_AVAILABLE(macos(14.0)) {
    SCStreamConfiguration* configuration = [[SCStreamConfiguration alloc] init];
    const CGRect points = filter.contentRect;
    const CGFloat scale = filter.pointPixelScale;
    configuration.width = static_cast<size_t>(points.size.width * scale);
    configuration.height = static_cast<size_t>(points.size.height * scale);
    configuration.showsCursor = NO;
    configuration.ignoreShadowsSingleWindow = YES;
    configuration.captureResolution = SCCaptureResolutionBest;
    auto frame = std::make_shared<Frame>();
    dispatch_semaphore_t done = dispatch_semaphore_create(0);
    [SCScreenshotManager captureImageWithFilter:filter
                                  configuration:configuration
                              completionHandler:^(CGImageRef image, NSError* error) {
                                (void)error;
                                frame->image = rgbaImage(image);
                                dispatch_semaphore_signal(done);
                              }];
    if (!waitFor(done)) return std::nullopt;
    return std::move(frame->image);
}

} // namespace

bool screenCaptureKitAvailable() {
    if (@available(macOS 14.0, *)) return true;
    return false;
}

std::optional<Image> screenCaptureKitDisplayImage(uint32_t displayId) {
    if (@available(macOS 14.0, *)) {
        @autoreleasepool {
            for (SCDisplay* display in shareableContent().displays) {
                if (display.displayID != displayId) continue;
                return capture([[SCContentFilter alloc] initWithDisplay:display
                                                       excludingWindows:@[]]);
            }
        }
    }
    return std::nullopt;
}

std::optional<Image> screenCaptureKitWindowImage(uint32_t windowId) {
    if (@available(macOS 14.0, *)) {
        @autoreleasepool {
            for (SCWindow* window in shareableContent().windows) {
                if (window.windowID != windowId) continue;
                return capture([[SCContentFilter alloc] initWithDesktopIndependentWindow:window]);
            }
        }
    }
    return std::nullopt;
}

} // namespace dorvex::platform::macos

#else

namespace dorvex::platform::macos {

bool screenCaptureKitAvailable() {
    return false;
}
std::optional<Image> screenCaptureKitDisplayImage(uint32_t) {
    return std::nullopt;
}
std::optional<Image> screenCaptureKitWindowImage(uint32_t) {
    return std::nullopt;
}

} // namespace dorvex::platform::macos

#endif
