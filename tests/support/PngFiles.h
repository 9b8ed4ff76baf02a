#pragma once

// PNG files in tests and benchmarks: decoding with libpng's own reader, libpng's own writer as
// the reference encoders are measured against, and the real-screen fixtures.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <png.h>
#include <string>
#include <vector>
#include <zlib.h>

namespace dorvex::testing {

struct DecodedPng {
    size_t width = 0;
    size_t height = 0;
    bool hasAlpha = false; // the file's own colour type carries alpha
    std::vector<uint8_t> rgba;
};

namespace detail {
inline std::optional<DecodedPng> finishDecoding(png_image& image) {
    const bool hasAlpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    image.format = PNG_FORMAT_RGBA;
    DecodedPng out{image.width, image.height, hasAlpha,
                   std::vector<uint8_t>(PNG_IMAGE_SIZE(image))};
    if (!png_image_finish_read(&image, nullptr, out.rgba.data(), 0, nullptr)) {
        png_image_free(&image);
        return std::nullopt;
    }
    return out;
}
} // namespace detail

// Reads PNG bytes back as RGBA with libpng's reader.
inline std::optional<DecodedPng> decodePng(const std::vector<uint8_t>& bytes) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return std::nullopt;
    return detail::finishDecoding(image);
}

inline std::optional<DecodedPng> decodePngFile(const std::filesystem::path& file) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, file.c_str())) return std::nullopt;
    return detail::finishDecoding(image);
}

// libpng writing the whole file itself.
struct LibpngSettings {
    std::optional<int> rowFilters;   // PNG_FILTER_* mask; nothing: libpng's adaptive choice
    int zlibLevel = 6;               // 0..9
    std::optional<int> zlibStrategy; // Z_RLE, ...; nothing: libpng's choice
    bool dropOpaqueAlpha = false;    // write RGB when every pixel is opaque
};

// libpng's defaults on RGBA pixels: the baseline for captures.
inline LibpngSettings libpngDefaults() {
    return {};
}

// What captures were encoded with before igzip: fixed Paeth, zlib level 1 with run-length
// matching, RGB when opaque.
inline LibpngSettings previousCaptureSettings() {
    return {PNG_FILTER_PAETH, 1, Z_RLE, true};
}

namespace detail {
struct Sink {
    std::vector<uint8_t> bytes;
};
inline void append(png_structp png, png_bytep data, size_t length) {
    auto* sink = static_cast<Sink*>(png_get_io_ptr(png));
    sink->bytes.insert(sink->bytes.end(), data, data + length);
}
inline void flushNothing(png_structp) {}
[[noreturn]] inline void fail(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
inline bool opaque(const std::vector<uint8_t>& rgba) {
    for (size_t i = 3; i < rgba.size(); i += 4) {
        if (rgba[i] != 255) return false;
    }
    return true;
}
// The setjmp frame owns nothing.
inline bool writeRows(png_structp png, png_infop info, size_t width, size_t height,
                      const uint8_t* rgba, bool rgb, const LibpngSettings& settings) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_IHDR(png, info, static_cast<uint32_t>(width), static_cast<uint32_t>(height), 8,
                 rgb ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (settings.rowFilters) png_set_filter(png, PNG_FILTER_TYPE_BASE, *settings.rowFilters);
    png_set_compression_level(png, settings.zlibLevel);
    if (settings.zlibStrategy) png_set_compression_strategy(png, *settings.zlibStrategy);
    png_write_info(png, info);
    if (rgb) png_set_filler(png, 0, PNG_FILLER_AFTER);
    for (size_t row = 0; row < height; ++row)
        png_write_row(png, rgba + row * width * 4);
    png_write_end(png, info);
    return true;
}
} // namespace detail

inline std::optional<std::vector<uint8_t>> encodeWithLibpng(size_t width, size_t height,
                                                            const std::vector<uint8_t>& rgba,
                                                            const LibpngSettings& settings) {
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, detail::fail, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    detail::Sink sink;
    bool written = false;
    if (png && info) {
        png_set_write_fn(png, &sink, detail::append, detail::flushNothing);
        const bool rgb = settings.dropOpaqueAlpha && detail::opaque(rgba);
        written = detail::writeRows(png, info, width, height, rgba.data(), rgb, settings);
    }
    png_destroy_write_struct(&png, &info);
    if (!written) return std::nullopt;
    return std::move(sink.bytes);
}

// The concatenated data of every IDAT chunk: the file's zlib stream. Nothing when the chunk
// structure is broken.
inline std::optional<std::vector<uint8_t>> zlibStreamOf(const std::vector<uint8_t>& png) {
    auto be32 = [&](size_t at) {
        return (uint32_t{png[at]} << 24) | (uint32_t{png[at + 1]} << 16) |
               (uint32_t{png[at + 2]} << 8) | uint32_t{png[at + 3]};
    };
    std::vector<uint8_t> stream;
    for (size_t at = 8; at + 12 <= png.size();) {
        const size_t length = be32(at);
        if (at + 12 + length > png.size()) return std::nullopt;
        const std::string type(png.begin() + static_cast<ptrdiff_t>(at + 4),
                               png.begin() + static_cast<ptrdiff_t>(at + 8));
        const auto data = png.begin() + static_cast<ptrdiff_t>(at + 8);
        if (type == "IDAT")
            stream.insert(stream.end(), data, data + static_cast<ptrdiff_t>(length));
        if (type == "IEND") return stream;
        at += 12 + length;
    }
    return std::nullopt;
}

// Inflates a whole zlib stream that must hold exactly `size` bytes: a wrong checksum, a
// truncated stream or bytes after its end give nothing.
inline std::optional<std::vector<uint8_t>> inflateExactly(const std::vector<uint8_t>& stream,
                                                          size_t size) {
    std::vector<uint8_t> out(size + 1);
    uLongf length = static_cast<uLongf>(out.size());
    uLong consumed = static_cast<uLong>(stream.size());
    if (uncompress2(out.data(), &length, stream.data(), &consumed) != Z_OK) return std::nullopt;
    if (length != size || consumed != stream.size()) return std::nullopt;
    out.resize(size);
    return out;
}

// Writes RGBA pixels to a PNG file with libpng's simplified writer; `alpha` false writes RGB.
inline bool writePng(const std::filesystem::path& file, size_t width, size_t height,
                     const std::vector<uint8_t>& rgba, bool alpha = true) {
    std::vector<uint8_t> pixels = rgba;
    if (!alpha) {
        for (size_t i = 0; i < width * height; ++i) {
            for (size_t channel = 0; channel < 3; ++channel)
                pixels[i * 3 + channel] = rgba[i * 4 + channel];
        }
        pixels.resize(width * height * 3);
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    return png_image_write_to_file(&image, file.c_str(), 0, pixels.data(), 0, nullptr) != 0;
}

// The real-screen fixtures: two 2880x1800 screenshots kept beside the repository, never in it.
// DORVEX_SCREEN_FIXTURES names another folder.
inline std::filesystem::path screenFixtureDirectory() {
    if (const char* named = std::getenv("DORVEX_SCREEN_FIXTURES"); named && *named) return named;
    return std::filesystem::path(DORVEX_SOURCE_DIR) / ".." / "shared" / "fixtures" / "screens";
}

inline constexpr const char* screenFixtureNames[] = {"app-widgets-2880x1800.png",
                                                     "desktop-wallpaper-2880x1800.png"};

} // namespace dorvex::testing
