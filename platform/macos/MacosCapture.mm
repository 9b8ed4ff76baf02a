// The captures of the displays facet: ScreenCaptureKit where the system has it, CoreGraphics'
// image calls before.
#include "platform/macos/MacosCapture.h"

#include "platform/macos/MacosDesktop.h"

namespace dorvex::platform::macos {

std::optional<Image> MacosDesktop::createDisplayImage(uint32_t displayId) {
    if (screenCaptureKitAvailable()) return screenCaptureKitDisplayImage(displayId);
    return legacyCapture_.displayImage(displayId);
}

std::optional<Image> MacosDesktop::createWindowImage(uint32_t windowId) {
    if (screenCaptureKitAvailable()) return screenCaptureKitWindowImage(windowId);
    return legacyCapture_.windowImage(windowId);
}

} // namespace dorvex::platform::macos
