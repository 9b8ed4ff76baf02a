#include "DorvexOS/PngEncoder.h"

#include <gtest/gtest.h>
#include <limits>
#include <png.h>
#include <random>

namespace dorvex::png {
namespace {

struct Decoded {
    size_t width = 0;
    size_t height = 0;
    bool hasAlpha = false; // the file's own colour type carries alpha
    std::vector<uint8_t> rgba;
};

// Reads the bytes back with libpng's own reader, as RGBA.
std::optional<Decoded> decode(const std::vector<uint8_t>& bytes) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return {};
    const bool hasAlpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    image.format = PNG_FORMAT_RGBA;
    Decoded out{image.width, image.height, hasAlpha, std::vector<uint8_t>(PNG_IMAGE_SIZE(image))};
    if (!png_image_finish_read(&image, nullptr, out.rgba.data(), 0, nullptr)) {
        png_image_free(&image);
        return {};
    }
    return out;
}

std::vector<uint8_t> noise(size_t width, size_t height, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> rgba(width * height * 4);
    for (uint8_t& byte : rgba)
        byte = static_cast<uint8_t>(random());
    return rgba;
}

std::vector<uint8_t> withAlpha(std::vector<uint8_t> rgba, uint8_t alpha) {
    for (size_t i = 3; i < rgba.size(); i += 4)
        rgba[i] = alpha;
    return rgba;
}

std::vector<uint8_t> withLastAlpha(std::vector<uint8_t> rgba, uint8_t alpha) {
    rgba.back() = alpha;
    return rgba;
}

// A desktop in miniature: a flat background and overlapping windows with darker title bars,
// some of them translucent at the edge, so every row filter sees edges in both directions.
std::vector<uint8_t> flatDesktop(size_t width, size_t height) {
    std::vector<uint8_t> rgba(width * height * 4);
    auto fill = [&](size_t x0, size_t y0, size_t x1, size_t y1, uint8_t r, uint8_t g, uint8_t b,
                    uint8_t a) {
        for (size_t y = y0; y < std::min(y1, height); ++y) {
            for (size_t x = x0; x < std::min(x1, width); ++x) {
                uint8_t* pixel = &rgba[(y * width + x) * 4];
                pixel[0] = r, pixel[1] = g, pixel[2] = b, pixel[3] = a;
            }
        }
    };
    fill(0, 0, width, height, 40, 90, 150, 255);
    for (size_t i = 0; i < 5; ++i) {
        size_t x = 10 + i * width / 7, y = 8 + i * height / 8;
        auto shade = static_cast<uint8_t>(60 + i * 35);
        fill(x, y, x + width / 2, y + height / 2, shade, 200, 255 - shade, 255);
        fill(x, y, x + width / 2, y + 12, shade / 2, 100, (255 - shade) / 2, 255);
        fill(x + width / 2 - 2, y, x + width / 2, y + height / 2, 0, 0, 0, 128);
    }
    return rgba;
}

TEST(PngEncoder, DecodesBackToTheSamePixelsAndSize) {
    struct Case {
        const char* name;
        size_t width;
        size_t height;
        std::vector<uint8_t> rgba;
    };
    const std::vector<Case> cases = {
        {"single pixel", 1, 1, {1, 2, 3, 4}},
        {"odd sizes of noise", 17, 5, noise(17, 5, 1)},
        {"one wide row", 3000, 1, noise(3000, 1, 2)},
        {"one tall column", 1, 700, noise(1, 700, 3)},
        {"flat desktop", 320, 200, flatDesktop(320, 200)},
        {"opaque flat desktop", 320, 200, withAlpha(flatDesktop(320, 200), 255)},
        {"opaque but for the last pixel", 9, 7, withLastAlpha(withAlpha(noise(9, 7, 5), 255), 254)},
        {"noise large enough for several output chunks", 300, 300, noise(300, 300, 4)},
    };
    for (const EncoderSettings& settings : {screenImageSettings(), libpngDefaultSettings()}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            std::optional<std::vector<uint8_t>> bytes =
                encodeRgba(c.width, c.height, c.rgba, settings);
            ASSERT_TRUE(bytes.has_value());
            std::optional<Decoded> decoded = decode(*bytes);
            ASSERT_TRUE(decoded.has_value());
            EXPECT_EQ(decoded->width, c.width);
            EXPECT_EQ(decoded->height, c.height);
            EXPECT_TRUE(decoded->rgba == c.rgba);
        }
    }
}

// Alpha is dropped only when it carries nothing; otherwise it must survive.
TEST(PngEncoder, WritesAlphaOnlyWhenSomePixelIsNotOpaque) {
    struct Case {
        const char* name;
        std::vector<uint8_t> rgba;
        bool expectAlpha;
    };
    const std::vector<Case> cases = {
        {"opaque", withAlpha(noise(8, 8, 6), 255), false},
        {"first pixel translucent",
         [] {
             auto rgba = withAlpha(noise(8, 8, 7), 255);
             rgba[3] = 0;
             return rgba;
         }(),
         true},
        {"last pixel translucent", withLastAlpha(withAlpha(noise(8, 8, 8), 255), 254), true},
    };
    for (const Case& c : cases) {
        auto bytes = encodeRgba(8, 8, c.rgba);
        ASSERT_TRUE(bytes.has_value()) << c.name;
        auto decoded = decode(*bytes);
        ASSERT_TRUE(decoded.has_value()) << c.name;
        EXPECT_EQ(decoded->hasAlpha, c.expectAlpha) << c.name;
        EXPECT_TRUE(decoded->rgba == c.rgba) << c.name;
    }
}

TEST(PngEncoder, DefaultEncodingUsesTheScreenSettings) {
    const std::vector<uint8_t> rgba = flatDesktop(200, 120);
    EXPECT_EQ(encodeRgba(200, 120, rgba), encodeRgba(200, 120, rgba, screenImageSettings()));
}

// Speed belongs to the benchmark; size is deterministic, so the trade is checked here.
TEST(PngEncoder, ScreenSettingsStayCloseToTheDefaultsInSizeOnFlatImages) {
    const std::vector<uint8_t> rgba = withAlpha(flatDesktop(1440, 900), 255);
    auto screen = encodeRgba(1440, 900, rgba, screenImageSettings());
    auto baseline = encodeRgba(1440, 900, rgba, libpngDefaultSettings());
    ASSERT_TRUE(screen && baseline);
    EXPECT_LE(static_cast<double>(screen->size()), 1.25 * static_cast<double>(baseline->size()));
}

TEST(PngEncoder, BadSizesGiveNothing) {
    constexpr size_t huge = std::numeric_limits<size_t>::max();
    struct Case {
        const char* name;
        size_t width;
        size_t height;
        size_t bufferSize;
    } cases[] = {
        {"zero width", 0, 4, 0},
        {"zero height", 4, 0, 0},
        {"buffer one byte short", 4, 4, 63},
        {"buffer one byte long", 4, 4, 65},
        {"buffer of a different shape", 4, 4, 4 * 8 * 4},
        {"width beyond the format", 0x80000000ULL, 1, 16},
        {"area overflowing size_t", 0x7fffffff, huge / 4, 16},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> rgba(c.bufferSize, 7);
        EXPECT_FALSE(encodeRgba(c.width, c.height, rgba).has_value()) << c.name;
    }
}

// A size the format allows but libpng refuses goes through its error path, which must give
// nothing without crashing or printing.
TEST(PngEncoder, LibpngRefusalGivesNothingQuietly) {
    const size_t width = 1'000'001; // beyond libpng's default width limit
    std::vector<uint8_t> rgba(width * 4, 200);
    ::testing::internal::CaptureStderr();
    std::optional<std::vector<uint8_t>> bytes = encodeRgba(width, 1, rgba);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(bytes.has_value());
}

} // namespace
} // namespace dorvex::png
