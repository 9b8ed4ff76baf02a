#pragma once

// PNG encoding of screen images: filtered rows compressed by ISA-L's igzip, in bands of rows
// compressed on separate threads and joined into one zlib stream; libpng writes the container.
#include "DorvexOS/PngRows.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace dorvex::png {

// How the encoder trades speed for size.
struct EncoderSettings {
    RowFilter filter = RowFilter::paeth;
    int level = 1;               // igzip's compression level, 0..3
    int windowBits = 12;         // log2 of the farthest a match may look back, 8..15
    unsigned bands = 1;          // bands of rows compressed at once, each on its own thread
    bool dropOpaqueAlpha = true; // write RGB when every pixel is fully opaque
    friend bool operator==(const EncoderSettings&, const EncoderSettings&) = default;
};

// What captures use; docs/benchmarks.md has the measurements behind the choice.
EncoderSettings screenImageSettings();

// Encodes 8-bit RGBA pixels, row-major, width * height * 4 bytes. Nothing on bad sizes or
// when the encoder fails. The file decodes to the same pixels (an RGB file: alpha 255).
std::optional<std::vector<uint8_t>> encodeRgba(size_t width, size_t height,
                                               const std::vector<uint8_t>& rgba);

std::optional<std::vector<uint8_t>> encodeRgba(size_t width, size_t height,
                                               const std::vector<uint8_t>& rgba,
                                               const EncoderSettings& settings);

// The two halves of the encoder, apart, so other DEFLATE libraries can be measured on exactly
// the rows the encoder compresses.

// Every row's filter type byte and filtered bytes, top row first, as the zlib stream of the
// file holds them; `alpha` tells whether the rows are RGBA or RGB.
struct FilteredRows {
    std::vector<uint8_t> bytes;
    bool alpha = true;
};
std::optional<FilteredRows> filterRows(size_t width, size_t height,
                                       const std::vector<uint8_t>& rgba, RowFilter filter,
                                       bool dropOpaqueAlpha);

// A PNG file holding a zlib stream of filtered rows; nothing on bad sizes or when libpng
// refuses them.
std::optional<std::vector<uint8_t>> pngFromZlibStream(size_t width, size_t height, bool alpha,
                                                      const std::vector<uint8_t>& zlibStream);

} // namespace dorvex::png
