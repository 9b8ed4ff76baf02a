#include "DorvexOS/PngEncoder.h"
#include "support/PngFiles.h"

#include <gtest/gtest.h>
#include <limits>
#include <random>

namespace dorvex::png {
namespace {

using testing::DecodedPng;
using testing::decodePng;

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

// Values near 0 and 255 in every channel and neighbour, where a predictor's sums leave the
// byte range and its ties decide.
std::vector<uint8_t> extremes(size_t width, size_t height) {
    const uint8_t levels[] = {0, 1, 127, 128, 254, 255};
    std::vector<uint8_t> rgba(width * height * 4);
    for (size_t i = 0; i < rgba.size(); ++i)
        rgba[i] = levels[(i * 7 + i / 13) % 6];
    return rgba;
}

struct Image {
    const char* name;
    size_t width;
    size_t height;
    std::vector<uint8_t> rgba;
};

std::vector<Image> syntheticImages() {
    return {
        {"single pixel", 1, 1, {1, 2, 3, 4}},
        {"odd sizes of noise", 17, 5, noise(17, 5, 1)},
        {"one wide row", 3000, 1, noise(3000, 1, 2)},
        {"one tall column", 1, 700, noise(1, 700, 3)},
        {"flat desktop", 320, 200, flatDesktop(320, 200)},
        {"opaque flat desktop", 320, 200, withAlpha(flatDesktop(320, 200), 255)},
        {"opaque but for the last pixel", 9, 7, withLastAlpha(withAlpha(noise(9, 7, 5), 255), 254)},
        {"extreme values, RGBA", 33, 9, extremes(33, 9)},
        {"extreme values, RGB", 33, 9, withAlpha(extremes(33, 9), 255)},
        // Incompressible and over 1 MiB: several batches per band and several IDAT chunks.
        {"noise over a mebibyte", 700, 400, noise(700, 400, 4)},
    };
}

std::string describe(const EncoderSettings& settings) {
    return std::string(rowFilterName(settings.filter)) + ", level " +
           std::to_string(settings.level) + ", window 2^" + std::to_string(settings.windowBits) +
           ", " + std::to_string(settings.bands) + " bands";
}

std::vector<EncoderSettings> settingsToTry() {
    std::vector<EncoderSettings> all{screenImageSettings()};
    for (RowFilter filter : {RowFilter::none, RowFilter::sub, RowFilter::up, RowFilter::average,
                             RowFilter::paeth, RowFilter::adaptive}) {
        all.push_back({filter, 1, 12, 1, true});
        all.push_back({filter, 1, 15, 3, true});
    }
    for (int level : {0, 2, 3})
        all.push_back({RowFilter::paeth, level, 8 + level * 2, 2, true});
    return all;
}

TEST(PngEncoder, DecodesBackToTheSamePixelsAndSize) {
    const std::vector<Image> images = syntheticImages();
    for (const EncoderSettings& settings : settingsToTry()) {
        SCOPED_TRACE(describe(settings));
        for (const Image& image : images) {
            SCOPED_TRACE(image.name);
            auto bytes = encodeRgba(image.width, image.height, image.rgba, settings);
            ASSERT_TRUE(bytes.has_value());
            std::optional<DecodedPng> decoded = decodePng(*bytes);
            ASSERT_TRUE(decoded.has_value());
            EXPECT_EQ(decoded->width, image.width);
            EXPECT_EQ(decoded->height, image.height);
            EXPECT_TRUE(decoded->rgba == image.rgba);
        }
    }
}

// Bands compressed apart must join into one zlib stream: every band but the last ends on a
// byte boundary without the final-block bit, and the checksum covers all of them. zlib's own
// inflate, stricter than a PNG reader about what follows the end, must give back exactly the
// filtered rows.
TEST(PngEncoder, BandsJoinIntoOneValidZlibStream) {
    struct Case {
        size_t width;
        size_t height;
        unsigned bands;
        int windowBits; // the most; zlib refuses a match farther back than the header declares
    };
    const Case cases[] = {
        {1, 1, 2, 12},  {3, 1, 2, 12},  {1, 2, 2, 8},      {5, 3, 2, 12},   {7, 5, 4, 15},
        {2, 17, 3, 12}, {4, 4, 16, 12}, {1000, 601, 2, 8}, {999, 7, 3, 12}, {31, 1001, 2, 15},
    };
    for (const Case& c : cases) {
        for (bool opaque : {true, false}) {
            SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " in " +
                         std::to_string(c.bands) + " bands, window 2^" +
                         std::to_string(c.windowBits) + (opaque ? ", opaque" : ""));
            std::vector<uint8_t> rgba = noise(c.width, c.height, 11);
            if (opaque) rgba = withAlpha(std::move(rgba), 255);
            const EncoderSettings settings{RowFilter::paeth, 1, c.windowBits, c.bands, true};
            auto bytes = encodeRgba(c.width, c.height, rgba, settings);
            ASSERT_TRUE(bytes.has_value());
            auto rows = filterRows(c.width, c.height, rgba, RowFilter::paeth, true);
            ASSERT_TRUE(rows.has_value());
            EXPECT_EQ(rows->alpha, !opaque);
            auto stream = testing::zlibStreamOf(*bytes);
            ASSERT_TRUE(stream.has_value());
            // The window is at most the one asked for, and never reaches into the row above.
            const int declared = ((*stream)[0] >> 4) + 8;
            EXPECT_LE(declared, c.windowBits);
            EXPECT_LE(size_t{1} << declared, std::max<size_t>(256, c.width * (opaque ? 3 : 4)));
            EXPECT_EQ(testing::inflateExactly(*stream, rows->bytes.size()), rows->bytes);
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
        auto decoded = decodePng(*bytes);
        ASSERT_TRUE(decoded.has_value()) << c.name;
        EXPECT_EQ(decoded->hasAlpha, c.expectAlpha) << c.name;
        EXPECT_TRUE(decoded->rgba == c.rgba) << c.name;
    }
    EncoderSettings keep = screenImageSettings();
    keep.dropOpaqueAlpha = false;
    auto kept = decodePng(*encodeRgba(8, 8, withAlpha(noise(8, 8, 9), 255), keep));
    ASSERT_TRUE(kept.has_value());
    EXPECT_TRUE(kept->hasAlpha);
}

TEST(PngEncoder, DefaultEncodingUsesTheScreenSettings) {
    const std::vector<uint8_t> rgba = flatDesktop(200, 120);
    EXPECT_EQ(encodeRgba(200, 120, rgba), encodeRgba(200, 120, rgba, screenImageSettings()));
}

TEST(PngEncoder, BadSizesAndSettingsGiveNothing) {
    constexpr size_t huge = std::numeric_limits<size_t>::max();
    struct Case {
        const char* name;
        size_t width;
        size_t height;
        size_t bufferSize;
        int level;
        int windowBits;
    } cases[] = {
        {"zero width", 0, 4, 0, 1, 12},
        {"zero height", 4, 0, 0, 1, 12},
        {"buffer one byte short", 4, 4, 63, 1, 12},
        {"buffer one byte long", 4, 4, 65, 1, 12},
        {"buffer of a different shape", 4, 4, 4 * 8 * 4, 1, 12},
        {"width beyond the format", 0x80000000ULL, 1, 16, 1, 12},
        {"area overflowing size_t", 0x7fffffff, huge / 4, 16, 1, 12},
        {"level below igzip's", 4, 4, 64, -1, 12},
        {"level above igzip's", 4, 4, 64, 4, 12},
        {"window below DEFLATE's", 4, 4, 64, 1, 7},
        {"window above DEFLATE's", 4, 4, 64, 1, 16},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> rgba(c.bufferSize, 7);
        EncoderSettings settings = screenImageSettings();
        settings.level = c.level;
        settings.windowBits = c.windowBits;
        EXPECT_FALSE(encodeRgba(c.width, c.height, rgba, settings).has_value()) << c.name;
        if (c.level == 1 && c.windowBits == 12) {
            EXPECT_FALSE(filterRows(c.width, c.height, rgba, RowFilter::up, true)) << c.name;
        }
    }
    EXPECT_FALSE(pngFromZlibStream(0, 1, false, {}).has_value());
}

// A size the format allows but libpng refuses goes through its error path, which must give
// nothing without crashing or printing.
TEST(PngEncoder, LibpngRefusalGivesNothingQuietly) {
    const size_t width = 1'000'001; // beyond libpng's default width limit
    std::vector<uint8_t> rgba(width * 4, 200);
    ::testing::internal::CaptureStderr();
    std::optional<std::vector<uint8_t>> bytes = encodeRgba(width, 1, rgba);
    std::optional<std::vector<uint8_t>> framed = pngFromZlibStream(width, 1, true, {1, 2, 3});
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(bytes.has_value());
    EXPECT_FALSE(framed.has_value());
}

// Filtered rows compressed by another library and framed by the encoder make the same picture:
// what the benchmark relies on to compare libraries.
TEST(PngEncoder, FilteredRowsFramedWithAnyZlibStreamDecode) {
    const std::vector<uint8_t> rgba = flatDesktop(64, 48);
    for (bool drop : {true, false}) {
        auto rows = filterRows(64, 48, withAlpha(rgba, 255), RowFilter::adaptive, drop);
        ASSERT_TRUE(rows.has_value());
        EXPECT_EQ(rows->alpha, !drop);
        std::vector<uint8_t> stream(compressBound(static_cast<uLong>(rows->bytes.size())));
        uLongf length = static_cast<uLongf>(stream.size());
        ASSERT_EQ(compress2(stream.data(), &length, rows->bytes.data(),
                            static_cast<uLong>(rows->bytes.size()), 9),
                  Z_OK);
        stream.resize(length);
        auto png = pngFromZlibStream(64, 48, rows->alpha, stream);
        ASSERT_TRUE(png.has_value());
        auto decoded = decodePng(*png);
        ASSERT_TRUE(decoded.has_value());
        EXPECT_TRUE(decoded->rgba == withAlpha(rgba, 255));
    }
}

// Real screens: text, widgets, gradients and a photograph, where a filter that is wrong at
// one edge case would show. Speed belongs to the benchmark; size is deterministic, so the
// trade against libpng's defaults is checked here.
TEST(PngEncoder, RealScreensDecodeBackToTheSamePixelsWithinTheSizeOfLibpngsDefaults) {
    const auto folder = testing::screenFixtureDirectory();
    if (!std::filesystem::is_directory(folder)) GTEST_SKIP() << "no fixtures at " << folder;
    for (const char* name : testing::screenFixtureNames) {
        SCOPED_TRACE(name);
        auto fixture = testing::decodePngFile(folder / name);
        ASSERT_TRUE(fixture.has_value());
        const size_t width = fixture->width, height = fixture->height;
        auto baseline =
            testing::encodeWithLibpng(width, height, fixture->rgba, testing::libpngDefaults());
        ASSERT_TRUE(baseline.has_value());
        for (EncoderSettings settings :
             {screenImageSettings(), EncoderSettings{RowFilter::adaptive, 2, 15, 1, true}}) {
            SCOPED_TRACE(describe(settings));
            auto bytes = encodeRgba(width, height, fixture->rgba, settings);
            ASSERT_TRUE(bytes.has_value());
            auto decoded = decodePng(*bytes);
            ASSERT_TRUE(decoded.has_value());
            EXPECT_FALSE(decoded->hasAlpha); // screens are opaque
            EXPECT_EQ(decoded->width, width);
            EXPECT_TRUE(decoded->rgba == fixture->rgba);
            if (settings == screenImageSettings()) {
                EXPECT_LE(static_cast<double>(bytes->size()),
                          1.2 * static_cast<double>(baseline->size()));
            }
        }
    }
}

} // namespace
} // namespace dorvex::png
