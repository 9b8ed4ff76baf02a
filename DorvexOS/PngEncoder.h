#pragma once

// PNG encoding of screen images, tuned for flat UI content.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace dorvex::png {

// How the encoder trades speed for size.
struct EncoderSettings {
    std::optional<int> rowFilters;   // libpng filter mask (PNG_FILTER_*); nothing: libpng's choice
    int zlibLevel = 6;               // 0..9
    std::optional<int> zlibStrategy; // Z_RLE, Z_FILTERED, ...; nothing: libpng's choice
    bool dropOpaqueAlpha = false;    // write RGB when every pixel is fully opaque
    friend bool operator==(const EncoderSettings&, const EncoderSettings&) = default;
};

// What captures use: one fixed row filter (Paeth), zlib's run-length matching at level 1, and
// no alpha channel when the image is opaque, as screen images are. Screen images are large
// areas of identical pixels, which these settings compress as well as the adaptive defaults
// in about a quarter of the time.
EncoderSettings screenImageSettings();

// libpng's own defaults (adaptive filters, zlib level 6): the baseline screen settings are
// measured against.
EncoderSettings libpngDefaultSettings();

// Encodes 8-bit RGBA pixels, row-major, width * height * 4 bytes. Nothing on bad sizes or
// when the encoder fails. The file decodes to the same pixels (an RGB file: alpha 255).
std::optional<std::vector<uint8_t>> encodeRgba(size_t width, size_t height,
                                               const std::vector<uint8_t>& rgba);

std::optional<std::vector<uint8_t>> encodeRgba(size_t width, size_t height,
                                               const std::vector<uint8_t>& rgba,
                                               const EncoderSettings& settings);

} // namespace dorvex::png
