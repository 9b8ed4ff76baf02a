#pragma once

// Display and window images, as raw RGBA pixels. Two paths: ScreenCaptureKit's single-frame
// capture (macOS 14 and later, compiled where the SDK has it), and CoreGraphics' image calls
// for older systems, found at run time only: they are obsoleted from the macOS 15 SDK on and
// gone from macOS 26, where a binary that linked them would not load.
#include "platform/types/Displays.h"

#include <CoreGraphics/CoreGraphics.h>
#include <cstdint>
#include <optional>

namespace dorvex::platform::macos {

// A CoreGraphics image drawn into straight (not premultiplied) sRGB RGBA pixels.
std::optional<Image> rgbaImage(CGImageRef image);

// Whether this build has ScreenCaptureKit and the system runs it (macOS 14 and later).
bool screenCaptureKitAvailable();
std::optional<Image> screenCaptureKitDisplayImage(uint32_t displayId);
std::optional<Image> screenCaptureKitWindowImage(uint32_t windowId);

// CoreGraphics' image calls, looked up by name once; either may be missing.
class CoreGraphicsCapture {
public:
    CoreGraphicsCapture();
    std::optional<Image> displayImage(uint32_t displayId) const;
    std::optional<Image> windowImage(uint32_t windowId) const;

private:
    using DisplayImage = CGImageRef (*)(CGDirectDisplayID);
    using WindowImage = CGImageRef (*)(CGRect, CGWindowListOption, CGWindowID, CGWindowImageOption);
    DisplayImage displayImage_ = nullptr;
    WindowImage windowImage_ = nullptr;
};

} // namespace dorvex::platform::macos
