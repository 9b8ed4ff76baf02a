#include "DorvexOS/PngEncoder.h"

#include <csetjmp>
#include <limits>
#include <new>
#include <png.h>
#include <zlib.h>

namespace dorvex::png {
namespace {

// Where the encoded bytes go, and whether appending to them failed.
struct MemorySink {
    std::vector<uint8_t> bytes;
    bool outOfMemory = false;
};

// libpng reports errors by calling this and expecting it never to return. Its default
// handler would print to standard error, which belongs to nobody here.
[[noreturn]] void failQuietly(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

void ignoreWarning(png_structp, png_const_charp) {}

void appendToSink(png_structp png, png_bytep data, size_t length) {
    auto* sink = static_cast<MemorySink*>(png_get_io_ptr(png));
    try {
        sink->bytes.insert(sink->bytes.end(), data, data + length);
    } catch (const std::bad_alloc&) {
        sink->outOfMemory = true;
    }
    // Leave the catch block before jumping: a longjmp must not skip a live C++ object.
    if (sink->outOfMemory) png_error(png, "out of memory");
}

void flushNothing(png_structp) {}

// Owns libpng's write structures.
class PngWriter {
public:
    PngWriter()
        : png_(png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, failQuietly, ignoreWarning)),
          info_(png_ ? png_create_info_struct(png_) : nullptr) {}
    ~PngWriter() { png_destroy_write_struct(&png_, &info_); }
    PngWriter(const PngWriter&) = delete;
    PngWriter& operator=(const PngWriter&) = delete;

    explicit operator bool() const { return png_ && info_; }
    png_structp png() const { return png_; }
    png_infop info() const { return info_; }

private:
    png_structp png_;
    png_infop info_;
};

void applySettings(png_structp png, const EncoderSettings& settings) {
    if (settings.rowFilters) png_set_filter(png, PNG_FILTER_TYPE_BASE, *settings.rowFilters);
    png_set_compression_level(png, settings.zlibLevel);
    if (settings.zlibStrategy) png_set_compression_strategy(png, *settings.zlibStrategy);
}

bool fullyOpaque(const std::vector<uint8_t>& rgba) {
    uint8_t all = 0xff;
    for (size_t alpha = 3; alpha < rgba.size(); alpha += 4)
        all &= rgba[alpha];
    return all == 0xff;
}

// The setjmp frame: nothing here may own memory, because an error jumps back into it and
// skips every destructor in between.
bool writeImage(png_structp png, png_infop info, uint32_t width, uint32_t height,
                const uint8_t* rgba, bool dropAlpha, const EncoderSettings& settings) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_IHDR(png, info, width, height, 8, dropAlpha ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGBA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    applySettings(png, settings);
    png_write_info(png, info);
    // Rows still arrive as RGBA; libpng strips the fourth byte of each pixel.
    if (dropAlpha) png_set_filler(png, 0, PNG_FILLER_AFTER);
    const size_t stride = size_t{width} * 4;
    for (uint32_t row = 0; row < height; ++row)
        png_write_row(png, rgba + row * stride);
    png_write_end(png, info);
    return true;
}

// PNG dimensions are 1..2^31-1; the buffer must hold exactly width * height RGBA pixels.
bool validSize(size_t width, size_t height, size_t bufferSize) {
    constexpr size_t maxSide = 0x7fffffff;
    if (width == 0 || height == 0 || width > maxSide || height > maxSide) return false;
    const size_t stride = width * 4;
    if (height > std::numeric_limits<size_t>::max() / stride) return false;
    return stride * height == bufferSize;
}

} // namespace

// Paeth turns every flat area into zeros, along rows and down columns alike, so only window
// corners are left; run-length matching then needs none of zlib's slower match searches. An
// opaque image's alpha bytes are a quarter of the work and carry nothing.
EncoderSettings screenImageSettings() {
    return EncoderSettings{PNG_FILTER_PAETH, 1, Z_RLE, true};
}

EncoderSettings libpngDefaultSettings() {
    return EncoderSettings{std::nullopt, 6, std::nullopt, false};
}

std::optional<std::vector<uint8_t>> encodeRgba(size_t width, size_t height,
                                               const std::vector<uint8_t>& rgba) {
    return encodeRgba(width, height, rgba, screenImageSettings());
}

std::optional<std::vector<uint8_t>> encodeRgba(size_t width, size_t height,
                                               const std::vector<uint8_t>& rgba,
                                               const EncoderSettings& settings) {
    if (!validSize(width, height, rgba.size())) return std::nullopt;
    PngWriter writer;
    if (!writer) return std::nullopt;
    MemorySink sink;
    png_set_write_fn(writer.png(), &sink, appendToSink, flushNothing);
    if (!writeImage(writer.png(), writer.info(), static_cast<uint32_t>(width),
                    static_cast<uint32_t>(height), rgba.data(),
                    settings.dropOpaqueAlpha && fullyOpaque(rgba), settings)) {
        return std::nullopt;
    }
    return std::move(sink.bytes);
}

} // namespace dorvex::png
