#pragma once

// PNG rows before compression: the byte layout of a row (RGB or RGBA) and the row filters of
// filter method 0, which turn each row into a filter type byte and the differences to the
// prediction the filter makes. DEFLATE then finds the runs those differences form.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace dorvex::png {

enum class RowFilter : uint8_t {
    none,
    sub,     // the pixel to the left
    up,      // the pixel above
    average, // the mean of left and above
    paeth,   // whichever of left, above and upper left is closest to left + above - upper left
    adaptive // per row, whichever of sub, up and paeth gives the smallest sum of differences
};

const char* rowFilterName(RowFilter filter);

// Filters rows of one image. Holds the working rows the adaptive choice needs.
class RowFilterer {
public:
    // bytesPerPixel: 3 (RGB) or 4 (RGBA).
    RowFilterer(RowFilter filter, size_t bytesPerPixel, size_t rowBytes);

    // `row` and `above` hold rowBytes bytes each (`above` all zeros for the first row); writes
    // the filter type byte and rowBytes filtered bytes to `out`.
    void filter(const uint8_t* row, const uint8_t* above, uint8_t* out);

private:
    RowFilter filter_;
    size_t bytesPerPixel_;
    size_t rowBytes_;
    std::vector<uint8_t> candidates_; // adaptive only: sub, up and paeth rows
};

// Copies the red, green and blue bytes of `pixels` RGBA pixels to `rgb`.
void dropAlpha(const uint8_t* rgba, size_t pixels, uint8_t* rgb);

// True when every fourth byte, from the fourth on, is 255.
bool allOpaque(const uint8_t* rgba, size_t bytes);

} // namespace dorvex::png
