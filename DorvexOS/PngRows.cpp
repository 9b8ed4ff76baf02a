// The loops here are written so compilers vectorize them: byte-wide, no branches that depend
// on earlier results, 16-bit arithmetic where a sum may leave the byte range. The build compiles
// this file with -O3, the level at which g++ vectorizes loops of unknown length.
#include "DorvexOS/PngRows.h"

#include <cstring>

namespace dorvex::png {
namespace {

enum FilterType : uint8_t { typeNone = 0, typeSub = 1, typeUp = 2, typeAverage = 3, typePaeth = 4 };

// The first pixel of a row has no left neighbour: PNG treats it as zero.
template <size_t bpp> void sub(const uint8_t* __restrict row, uint8_t* __restrict out, size_t n) {
    for (size_t x = 0; x < bpp; ++x)
        out[x] = row[x];
    for (size_t x = bpp; x < n; ++x)
        out[x] = static_cast<uint8_t>(row[x] - row[x - bpp]);
}

void up(const uint8_t* __restrict row, const uint8_t* __restrict above, uint8_t* __restrict out,
        size_t n) {
    for (size_t x = 0; x < n; ++x)
        out[x] = static_cast<uint8_t>(row[x] - above[x]);
}

template <size_t bpp>
void average(const uint8_t* __restrict row, const uint8_t* __restrict above,
             uint8_t* __restrict out, size_t n) {
    for (size_t x = 0; x < bpp; ++x)
        out[x] = static_cast<uint8_t>(row[x] - (above[x] >> 1));
    for (size_t x = bpp; x < n; ++x) {
        const uint16_t mean = static_cast<uint16_t>((row[x - bpp] + above[x]) >> 1);
        out[x] = static_cast<uint8_t>(row[x] - mean);
    }
}

// Paeth's predictor with |p - a| = |b - c|, |p - b| = |a - c| and |p - c| = |b - c + a - c|;
// ties go to left, then above, as the format requires.
template <size_t bpp>
void paeth(const uint8_t* __restrict row, const uint8_t* __restrict above, uint8_t* __restrict out,
           size_t n) {
    for (size_t x = 0; x < bpp; ++x)
        out[x] = static_cast<uint8_t>(row[x] - above[x]); // left and upper left are zero
    for (size_t x = bpp; x < n; ++x) {
        const int16_t a = row[x - bpp], b = above[x], c = above[x - bpp];
        const int16_t toB = static_cast<int16_t>(b - c), toA = static_cast<int16_t>(a - c);
        const int16_t both = static_cast<int16_t>(toB + toA);
        const int16_t pa = toB < 0 ? static_cast<int16_t>(-toB) : toB;
        const int16_t pb = toA < 0 ? static_cast<int16_t>(-toA) : toA;
        const int16_t pc = both < 0 ? static_cast<int16_t>(-both) : both;
        const int16_t predicted = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
        out[x] = static_cast<uint8_t>(row[x] - predicted);
    }
}

// The usual heuristic for choosing a filter: the differences read as signed bytes, summed by
// magnitude; small sums mean long runs of small values, which compress best.
uint32_t magnitude(const uint8_t* __restrict bytes, size_t n) {
    uint32_t sum = 0;
    for (size_t i = 0; i < n; ++i) {
        const int8_t value = static_cast<int8_t>(bytes[i]);
        sum += static_cast<uint32_t>(value < 0 ? -value : value);
    }
    return sum;
}

template <size_t bpp>
void filterFixed(RowFilter filter, const uint8_t* row, const uint8_t* above, uint8_t* out,
                 size_t n) {
    switch (filter) {
    case RowFilter::sub:
        out[0] = typeSub;
        return sub<bpp>(row, out + 1, n);
    case RowFilter::up:
        out[0] = typeUp;
        return up(row, above, out + 1, n);
    case RowFilter::average:
        out[0] = typeAverage;
        return average<bpp>(row, above, out + 1, n);
    case RowFilter::paeth:
        out[0] = typePaeth;
        return paeth<bpp>(row, above, out + 1, n);
    case RowFilter::none:
    case RowFilter::adaptive:
        break;
    }
    out[0] = typeNone;
    std::memcpy(out + 1, row, n);
}

} // namespace

const char* rowFilterName(RowFilter filter) {
    switch (filter) {
    case RowFilter::none:
        return "none";
    case RowFilter::sub:
        return "sub";
    case RowFilter::up:
        return "up";
    case RowFilter::average:
        return "average";
    case RowFilter::paeth:
        return "paeth";
    case RowFilter::adaptive:
        return "adaptive";
    }
    return "unknown";
}

RowFilterer::RowFilterer(RowFilter filter, size_t bytesPerPixel, size_t rowBytes)
    : filter_(filter), bytesPerPixel_(bytesPerPixel), rowBytes_(rowBytes) {
    if (filter_ == RowFilter::adaptive) candidates_.resize(3 * (rowBytes_ + 1));
}

void RowFilterer::filter(const uint8_t* row, const uint8_t* above, uint8_t* out) {
    auto fixed = [&](RowFilter filter, uint8_t* target) {
        if (bytesPerPixel_ == 3) return filterFixed<3>(filter, row, above, target, rowBytes_);
        filterFixed<4>(filter, row, above, target, rowBytes_);
    };
    if (filter_ != RowFilter::adaptive) return fixed(filter_, out);
    const RowFilter choices[] = {RowFilter::up, RowFilter::sub, RowFilter::paeth};
    size_t best = 0;
    uint32_t bestSum = UINT32_MAX;
    for (size_t i = 0; i < 3; ++i) {
        uint8_t* candidate = &candidates_[i * (rowBytes_ + 1)];
        fixed(choices[i], candidate);
        const uint32_t sum = magnitude(candidate + 1, rowBytes_);
        if (sum < bestSum) best = i, bestSum = sum;
    }
    std::memcpy(out, &candidates_[best * (rowBytes_ + 1)], rowBytes_ + 1);
}

void dropAlpha(const uint8_t* __restrict rgba, size_t pixels, uint8_t* __restrict rgb) {
    for (size_t i = 0; i < pixels; ++i) {
        rgb[3 * i] = rgba[4 * i];
        rgb[3 * i + 1] = rgba[4 * i + 1];
        rgb[3 * i + 2] = rgba[4 * i + 2];
    }
}

bool allOpaque(const uint8_t* rgba, size_t bytes) {
    uint8_t all = 0xff;
    for (size_t alpha = 3; alpha < bytes; alpha += 4)
        all &= rgba[alpha];
    return all == 0xff;
}

} // namespace dorvex::png
