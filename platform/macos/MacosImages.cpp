// CoreGraphics images into the boundary's pixels, and CoreGraphics' own image calls for the
// systems before ScreenCaptureKit's single-frame capture.
#include "platform/macos/CFRef.h"
#include "platform/macos/MacosCapture.h"
#include "platform/macos/MacosTables.h"

#include <dlfcn.h>

namespace dorvex::platform::macos {
namespace {

// One window, its own bounds without the frame's shadow, at the display's best resolution.
constexpr CGWindowListOption oneWindow = kCGWindowListOptionIncludingWindow;
constexpr uint32_t imageOptions = static_cast<uint32_t>(kCGWindowImageBoundsIgnoreFraming) |
                                  static_cast<uint32_t>(kCGWindowImageBestResolution);
static_assert(imageOptions == 9);

} // namespace

std::optional<Image> rgbaImage(CGImageRef image) {
    if (image == nullptr) return std::nullopt;
    const size_t width = CGImageGetWidth(image);
    const size_t height = CGImageGetHeight(image);
    std::optional<size_t> bytes = rgbaByteCount(width, height);
    if (!bytes || *bytes == 0) return std::nullopt;
    Image result{width, height, std::vector<uint8_t>(*bytes)};
    CFRef<CGColorSpaceRef> space =
        CFRef<CGColorSpaceRef>::adopt(CGColorSpaceCreateWithName(kCGColorSpaceSRGB));
    const uint32_t layout = static_cast<uint32_t>(kCGImageAlphaPremultipliedLast) |
                            static_cast<uint32_t>(kCGBitmapByteOrder32Big);
    CFRef<CGContextRef> context = CFRef<CGContextRef>::adopt(CGBitmapContextCreate(
        result.pixels.data(), width, height, 8, width * 4, space.get(), layout));
    if (!context) return std::nullopt;
    CGContextSetBlendMode(context.get(), kCGBlendModeCopy);
    CGContextDrawImage(context.get(),
                       CGRectMake(0, 0, static_cast<CGFloat>(width), static_cast<CGFloat>(height)),
                       image);
    context.reset();
    unpremultiplyRGBA(result.pixels);
    return result;
}

CoreGraphicsCapture::CoreGraphicsCapture()
    : displayImage_(reinterpret_cast<DisplayImage>(::dlsym(RTLD_DEFAULT, "CGDisplayCreateImage"))),
      windowImage_(
          reinterpret_cast<WindowImage>(::dlsym(RTLD_DEFAULT, "CGWindowListCreateImage"))) {}

std::optional<Image> CoreGraphicsCapture::displayImage(uint32_t displayId) const {
    if (!displayImage_) return std::nullopt;
    CFRef<CGImageRef> image = CFRef<CGImageRef>::adopt(displayImage_(displayId));
    return rgbaImage(image.get());
}

std::optional<Image> CoreGraphicsCapture::windowImage(uint32_t windowId) const {
    if (!windowImage_) return std::nullopt;
    CFRef<CGImageRef> image = CFRef<CGImageRef>::adopt(windowImage_(
        CGRectNull, oneWindow, windowId, static_cast<CGWindowImageOption>(imageOptions)));
    return rgbaImage(image.get());
}

} // namespace dorvex::platform::macos
