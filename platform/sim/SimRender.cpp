#include "platform/sim/SimRender.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace dorvex::platform::sim {
namespace {

// A clipped pixel rectangle: [left, right) x [top, bottom).
struct PixelSpan {
    size_t left = 0, top = 0, right = 0, bottom = 0;
    bool empty() const { return left >= right || top >= bottom; }
};

size_t clampedPixel(double value, size_t limit) {
    if (!(value > 0)) return 0;
    double rounded = std::round(value);
    return rounded >= static_cast<double>(limit) ? limit : static_cast<size_t>(rounded);
}

PixelSpan toPixels(const Rect& rect, const Rect& origin, double scaleX, double scaleY,
                   const RgbaImage& image) {
    return {clampedPixel((rect.x - origin.x) * scaleX, image.width),
            clampedPixel((rect.y - origin.y) * scaleY, image.height),
            clampedPixel((rect.x + rect.width - origin.x) * scaleX, image.width),
            clampedPixel((rect.y + rect.height - origin.y) * scaleY, image.height)};
}

// Fills with one prepared row copied line by line: a full display stays a few milliseconds.
void fill(RgbaImage& image, PixelSpan span, uint32_t rgba) {
    if (span.empty()) return;
    const uint8_t pixel[4] = {static_cast<uint8_t>(rgba >> 24), static_cast<uint8_t>(rgba >> 16),
                              static_cast<uint8_t>(rgba >> 8), static_cast<uint8_t>(rgba)};
    size_t rowBytes = (span.right - span.left) * 4;
    std::vector<uint8_t> row(rowBytes);
    for (size_t x = 0; x < rowBytes; x += 4)
        std::memcpy(&row[x], pixel, 4);
    for (size_t y = span.top; y < span.bottom; ++y) {
        std::memcpy(&image.pixels[(y * image.width + span.left) * 4], row.data(), rowBytes);
    }
}

void drawWindow(RgbaImage& image, const SimWindow& window, const Rect& origin, double scaleX,
                double scaleY) {
    uint32_t body = windowColor(window.number);
    const Rect& bounds = *window.bounds;
    fill(image, toPixels(bounds, origin, scaleX, scaleY, image), body);
    Rect bar{bounds.x, bounds.y, bounds.width, std::min(titleBarHeight, bounds.height)};
    fill(image, toPixels(bar, origin, scaleX, scaleY, image), titleBarColor(body));
}

bool meets(const Rect& a, const Rect& b) {
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height &&
           b.y < a.y + a.height;
}

RgbaImage blank(size_t width, size_t height) {
    return {width, height, std::vector<uint8_t>(width * height * 4)};
}

} // namespace

bool imageSizeAllowed(double width, double height) {
    return width >= 0 && height >= 0 && width <= maxImageSide && height <= maxImageSide &&
           width * height <= static_cast<double>(maxImagePixels);
}

uint32_t windowColor(std::optional<uint32_t> number) {
    // A multiplicative hash spreads neighbouring window numbers over distinct colours; each
    // channel stays in 96..223 so bodies never vanish into black or white.
    uint32_t hash = number.value_or(0) * 2654435761u;
    uint32_t red = 96 + ((hash >> 24) & 0x7f);
    uint32_t green = 96 + ((hash >> 16) & 0x7f);
    uint32_t blue = 96 + ((hash >> 8) & 0x7f);
    return (red << 24) | (green << 16) | (blue << 8) | 0xff;
}

uint32_t titleBarColor(uint32_t bodyColor) {
    auto darker = [&](int shift) { return ((bodyColor >> shift) & 0xff) * 3 / 5; };
    return (darker(24) << 24) | (darker(16) << 16) | (darker(8) << 8) | 0xff;
}

RgbaImage renderDisplay(const Rect& displayBounds, Size pixelSize,
                        const std::vector<SimWindow>& windowsFrontToBack) {
    if (!imageSizeAllowed(pixelSize.width, pixelSize.height)) pixelSize = {};
    RgbaImage image = blank(clampedPixel(pixelSize.width, maxImageSide),
                            clampedPixel(pixelSize.height, maxImageSide));
    fill(image, {0, 0, image.width, image.height}, desktopColor);
    if (displayBounds.width <= 0 || displayBounds.height <= 0) return image;
    double scaleX = static_cast<double>(image.width) / displayBounds.width;
    double scaleY = static_cast<double>(image.height) / displayBounds.height;
    for (auto window = windowsFrontToBack.rbegin(); window != windowsFrontToBack.rend(); ++window) {
        if (!window->isVisible() || !window->bounds || !meets(*window->bounds, displayBounds)) {
            continue;
        }
        drawWindow(image, *window, displayBounds, scaleX, scaleY);
    }
    return image;
}

std::optional<RgbaImage> renderWindow(const SimWindow& window, double scale) {
    if (!window.bounds || !(scale > 0)) return std::nullopt;
    double scaledWidth = std::round(window.bounds->width * scale);
    double scaledHeight = std::round(window.bounds->height * scale);
    if (!imageSizeAllowed(scaledWidth, scaledHeight)) return std::nullopt;
    size_t width = clampedPixel(scaledWidth, maxImageSide);
    size_t height = clampedPixel(scaledHeight, maxImageSide);
    if (width == 0 || height == 0) return std::nullopt;
    RgbaImage image = blank(width, height);
    Rect origin{window.bounds->x, window.bounds->y, 0, 0};
    drawWindow(image, window, origin, scale, scale);
    return image;
}

} // namespace dorvex::platform::sim
