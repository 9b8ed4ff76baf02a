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

// A rectangle in an image's pixels before clipping: it may reach beyond the image on any side.
struct PixelRect {
    int64_t left = 0, top = 0, right = 0, bottom = 0;
};

// Scenario numbers can be anything; far beyond any image they all clip the same way.
int64_t roundedPixel(double value) {
    constexpr double far = 1e12;
    if (!(value > -far)) return static_cast<int64_t>(-far);
    return static_cast<int64_t>(std::llround(std::min(value, far)));
}

PixelRect toPixelRect(const Rect& rect, const Rect& origin, double scaleX, double scaleY) {
    return {roundedPixel((rect.x - origin.x) * scaleX), roundedPixel((rect.y - origin.y) * scaleY),
            roundedPixel((rect.x + rect.width - origin.x) * scaleX),
            roundedPixel((rect.y + rect.height - origin.y) * scaleY)};
}

size_t clipped(int64_t value, size_t limit) {
    return static_cast<size_t>(std::clamp<int64_t>(value, 0, static_cast<int64_t>(limit)));
}

PixelSpan clip(const PixelRect& rect, const RgbaImage& image) {
    return {clipped(rect.left, image.width), clipped(rect.top, image.height),
            clipped(rect.right, image.width), clipped(rect.bottom, image.height)};
}

PixelSpan toPixels(const Rect& rect, const Rect& origin, double scaleX, double scaleY,
                   const RgbaImage& image) {
    return clip(toPixelRect(rect, origin, scaleX, scaleY), image);
}

size_t clampedPixel(double value, size_t limit) {
    return clipped(roundedPixel(value), limit);
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

// Source over destination, rounded to the nearest level.
void layOver(uint8_t* under, const uint8_t* over) {
    const uint32_t alpha = over[3];
    if (alpha == 255) {
        std::memcpy(under, over, 4);
        return;
    }
    const uint32_t rest = 255 - alpha;
    for (int channel = 0; channel < 3; ++channel) {
        under[channel] =
            static_cast<uint8_t>((over[channel] * alpha + under[channel] * rest + 127) / 255);
    }
    under[3] = static_cast<uint8_t>(alpha + (under[3] * rest + 127) / 255);
}

// The picture scaled to `rect` by nearest neighbour, within the image. Laid over what is there
// when `blend`, else copied with its alpha; rows of an unscaled picture that covers what is
// beneath are copied whole.
void drawPicture(RgbaImage& image, const PixelRect& rect, const SimPicture& picture, bool blend) {
    const PixelSpan span = clip(rect, image);
    if (span.empty()) return;
    const Image& source = picture.image;
    const auto width = rect.right - rect.left, height = rect.bottom - rect.top;
    std::vector<size_t> columns(span.right - span.left);
    for (size_t i = 0; i < columns.size(); ++i) {
        const auto x = static_cast<int64_t>(span.left + i) - rect.left;
        columns[i] = static_cast<size_t>(x * static_cast<int64_t>(source.width) / width);
    }
    const bool layered = blend && !picture.opaque;
    const bool wholeRows = !layered && static_cast<size_t>(width) == source.width;
    for (size_t y = span.top; y < span.bottom; ++y) {
        const auto row = static_cast<size_t>((static_cast<int64_t>(y) - rect.top) *
                                             static_cast<int64_t>(source.height) / height);
        const uint8_t* from = &source.pixels[row * source.width * 4];
        uint8_t* to = &image.pixels[(y * image.width + span.left) * 4];
        if (wholeRows) {
            std::memcpy(to, from + columns.front() * 4, columns.size() * 4);
            continue;
        }
        for (size_t i = 0; i < columns.size(); ++i) {
            if (layered) {
                layOver(to + i * 4, from + columns[i] * 4);
            } else {
                std::memcpy(to + i * 4, from + columns[i] * 4, 4);
            }
        }
    }
}

void drawWindow(RgbaImage& image, const SimWindow& window, const Rect& origin, double scaleX,
                double scaleY, bool blend) {
    const Rect& bounds = *window.bounds;
    if (window.content) {
        drawPicture(image, toPixelRect(bounds, origin, scaleX, scaleY), *window.content, blend);
        return;
    }
    uint32_t body = windowColor(window.number);
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
                        const std::vector<SimWindow>& windowsFrontToBack,
                        const SimPictureRef& background) {
    if (!imageSizeAllowed(pixelSize.width, pixelSize.height)) pixelSize = {};
    const size_t width = clampedPixel(pixelSize.width, maxImageSide);
    const size_t height = clampedPixel(pixelSize.height, maxImageSide);
    RgbaImage image;
    if (background && background->image.width == width && background->image.height == height) {
        image = background->image;
    } else {
        image = blank(width, height);
        fill(image, {0, 0, image.width, image.height}, desktopColor);
    }
    if (displayBounds.width <= 0 || displayBounds.height <= 0) return image;
    double scaleX = static_cast<double>(image.width) / displayBounds.width;
    double scaleY = static_cast<double>(image.height) / displayBounds.height;
    for (auto window = windowsFrontToBack.rbegin(); window != windowsFrontToBack.rend(); ++window) {
        if (!window->isVisible() || !window->bounds || !meets(*window->bounds, displayBounds)) {
            continue;
        }
        drawWindow(image, *window, displayBounds, scaleX, scaleY, true);
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
    drawWindow(image, window, origin, scale, scale, false);
    return image;
}

} // namespace dorvex::platform::sim
