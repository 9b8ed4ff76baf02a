#include "DorvexOS/PngEncoder.h"

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstring>
#include <isa-l/igzip_lib.h>
#include <limits>
#include <memory>
#include <new>
#include <png.h>
#include <span>
#include <system_error>
#include <thread>
#include <utility>
#include <zlib.h>

namespace dorvex::png {
namespace {

// Filtered rows go to the compressor in batches of about this size: small enough to stay in
// the cache between filtering and compressing, large enough that calls cost nothing.
constexpr size_t batchBytes = 256 << 10;
// Image data is split into IDAT chunks of at most this size, as readers that load one chunk at
// a time expect.
constexpr size_t maxChunkBytes = 1 << 20;
// The two bytes that open a zlib stream: DEFLATE with the window used, and a check value that
// makes the pair a multiple of 31.
std::array<uint8_t, 2> zlibHeader(int windowBits) {
    const auto method = static_cast<uint8_t>(((windowBits - 8) << 4) | 8);
    return {method, static_cast<uint8_t>(31 - (method << 8) % 31)};
}

// The image as the file stores it.
struct Layout {
    size_t width = 0;
    size_t height = 0;
    bool alpha = true;

    size_t bytesPerPixel() const { return alpha ? 4 : 3; }
    size_t rowBytes() const { return width * bytesPerPixel(); }
};

// Rows in the file's pixel layout: RGBA rows are read in place, RGB rows are made in one of two
// alternating working rows, so the row above stays valid while the next one is made.
class RowSource {
public:
    RowSource(const Layout& layout, const uint8_t* rgba)
        : layout_(layout), rgba_(rgba), working_(layout.alpha ? 0 : 2 * layout.rowBytes()) {}

    const uint8_t* row(size_t y) {
        const uint8_t* pixels = rgba_ + y * layout_.width * 4;
        if (layout_.alpha) return pixels;
        uint8_t* rgb = &working_[next_ * layout_.rowBytes()];
        next_ ^= 1;
        dropAlpha(pixels, layout_.width, rgb);
        return rgb;
    }

private:
    const Layout& layout_;
    const uint8_t* rgba_;
    std::vector<uint8_t> working_;
    size_t next_ = 0;
};

// Filters rows [first, end) batch by batch and hands each batch to `consume`; false when
// `consume` refuses one.
template <class Consume>
bool filterBatches(const Layout& layout, const uint8_t* rgba, RowFilter filter, size_t first,
                   size_t end, Consume&& consume) {
    const size_t lineBytes = layout.rowBytes() + 1;
    const size_t rowsPerBatch = std::max<size_t>(1, batchBytes / lineBytes);
    std::vector<uint8_t> batch(std::min(rowsPerBatch, end - first) * lineBytes);
    const std::vector<uint8_t> zeros(first == 0 ? layout.rowBytes() : 0);
    RowSource source(layout, rgba);
    RowFilterer filterer(filter, layout.bytesPerPixel(), layout.rowBytes());
    const uint8_t* above = first == 0 ? zeros.data() : source.row(first - 1);
    for (size_t y = first; y < end;) {
        const size_t rows = std::min(rowsPerBatch, end - y);
        for (size_t i = 0; i < rows; ++i, ++y) {
            const uint8_t* row = source.row(y);
            filterer.filter(row, above, &batch[i * lineBytes]);
            above = row;
        }
        if (!consume(std::span<const uint8_t>(batch.data(), rows * lineBytes), y == end)) {
            return false;
        }
    }
    return true;
}

// How a batch ends the compressed data of its band.
enum class Finish { none, sync, stream };

size_t levelBufferSize(int level) {
    switch (level) {
    case 1:
        return ISAL_DEF_LVL1_DEFAULT;
    case 2:
        return ISAL_DEF_LVL2_DEFAULT;
    case 3:
        return ISAL_DEF_LVL3_DEFAULT;
    default:
        return 0;
    }
}

// One igzip stream writing raw DEFLATE into a growing buffer.
class Deflater {
public:
    Deflater(int level, int windowBits, std::span<const uint8_t> prefix, size_t expectedBytes)
        : stream_(std::make_unique<isal_zstream>()), levelBuffer_(levelBufferSize(level)),
          out_(prefix.size() + expectedBytes), used_(prefix.size()) {
        std::copy(prefix.begin(), prefix.end(), out_.begin());
        isal_deflate_init(stream_.get());
        stream_->level = static_cast<uint32_t>(level);
        stream_->level_buf = levelBuffer_.empty() ? nullptr : levelBuffer_.data();
        stream_->level_buf_size = static_cast<uint32_t>(levelBuffer_.size());
        stream_->gzip_flag = IGZIP_DEFLATE;
        stream_->hist_bits = static_cast<uint16_t>(windowBits);
    }

    bool add(std::span<const uint8_t> input, Finish finish);
    std::vector<uint8_t> take() {
        out_.resize(used_);
        return std::move(out_);
    }

private:
    std::unique_ptr<isal_zstream> stream_;
    std::vector<uint8_t> levelBuffer_;
    std::vector<uint8_t> out_;
    size_t used_;
};

// igzip returns when the input is used up or the output is full; a full output may hold back
// more, so it is called until it leaves room.
bool Deflater::add(std::span<const uint8_t> input, Finish finish) {
    constexpr size_t minimumRoom = 64 << 10;
    if (input.size() > std::numeric_limits<uint32_t>::max()) return false;
    isal_zstream& stream = *stream_;
    stream.next_in = const_cast<uint8_t*>(input.data()); // igzip only reads it
    stream.avail_in = static_cast<uint32_t>(input.size());
    stream.flush = finish == Finish::sync ? SYNC_FLUSH : NO_FLUSH;
    stream.end_of_stream = finish == Finish::stream ? 1 : 0;
    do {
        if (out_.size() - used_ < minimumRoom)
            out_.resize(std::max(2 * out_.size(), used_ + minimumRoom));
        const size_t room =
            std::min<size_t>(out_.size() - used_, std::numeric_limits<uint32_t>::max());
        stream.next_out = out_.data() + used_;
        stream.avail_out = static_cast<uint32_t>(room);
        const uint32_t inputBefore = stream.avail_in;
        if (isal_deflate(&stream) != COMP_OK) return false;
        used_ += room - stream.avail_out;
        if (stream.avail_in == inputBefore && stream.avail_out == room && stream.avail_in > 0) {
            return false; // no progress: never loop forever on a confused stream
        }
    } while (stream.avail_in > 0 || stream.avail_out == 0);
    return finish != Finish::stream || stream.internal_state.state == ZSTATE_END;
}

// A window that reaches into the row above lets igzip's quick search take a match there, whose
// long distance costs more bits than the short run it replaces: flat images came out two to
// three times larger. So the window stays within one row (and at least DEFLATE's 256 bytes).
int effectiveWindowBits(const Layout& layout, int windowBits) {
    while (windowBits > 8 && (size_t{1} << windowBits) > layout.rowBytes())
        --windowBits;
    return windowBits;
}

// One band's compressed rows and the Adler-32 of its uncompressed bytes.
struct Band {
    std::vector<uint8_t> deflated;
    uint32_t adler = 1;
    size_t length = 0;
    bool ok = false;
};

// The first band opens the zlib stream; every band but the last ends on a byte boundary with a
// sync flush and not as the final block, so the bands join into one DEFLATE stream.
Band compressBand(const Layout& layout, const uint8_t* rgba, const EncoderSettings& settings,
                  size_t first, size_t end, bool opens, bool closes) noexcept {
    const int windowBits = effectiveWindowBits(layout, settings.windowBits);
    try {
        Band band;
        const size_t rawBytes = (end - first) * (layout.rowBytes() + 1);
        const std::array<uint8_t, 2> header = zlibHeader(windowBits);
        Deflater deflater(settings.level, windowBits,
                          opens ? std::span<const uint8_t>(header) : std::span<const uint8_t>(),
                          rawBytes / 8);
        auto consume = [&](std::span<const uint8_t> batch, bool last) {
            band.adler = isal_adler32(band.adler, batch.data(), batch.size());
            band.length += batch.size();
            const Finish finish = !last ? Finish::none : closes ? Finish::stream : Finish::sync;
            return deflater.add(batch, finish);
        };
        if (!filterBatches(layout, rgba, settings.filter, first, end, consume)) return {};
        band.deflated = deflater.take();
        band.ok = true;
        return band;
    } catch (const std::exception&) {
        return {};
    }
}

// A thread joined when it goes, as a std::jthread would be; macOS's C++ library has no
// std::jthread.
class JoiningThread {
public:
    template <typename Function, typename... Arguments>
    explicit JoiningThread(Function&& function, Arguments&&... arguments)
        : thread_(std::forward<Function>(function), std::forward<Arguments>(arguments)...) {}
    JoiningThread(JoiningThread&&) = default;
    JoiningThread& operator=(JoiningThread&&) = delete;
    ~JoiningThread() {
        if (thread_.joinable()) thread_.join();
    }

private:
    std::thread thread_;
};

// Bands beyond the first run on threads of their own; when a thread cannot be started, its
// band runs here after the first.
std::vector<Band> compressBands(const Layout& layout, const uint8_t* rgba,
                                const EncoderSettings& settings) {
    const size_t count = std::clamp<size_t>(settings.bands, 1, layout.height);
    std::vector<Band> bands(count);
    auto work = [&](size_t i) {
        bands[i] = compressBand(layout, rgba, settings, layout.height * i / count,
                                layout.height * (i + 1) / count, i == 0, i + 1 == count);
    };
    std::vector<JoiningThread> helpers;
    helpers.reserve(count - 1);
    size_t started = 1;
    try {
        for (; started < count; ++started)
            helpers.emplace_back(work, started);
    } catch (const std::system_error&) {
    }
    work(0);
    for (size_t i = started; i < count; ++i)
        work(i);
    helpers.clear(); // joins
    return bands;
}

// Appends the Adler-32 of all bands, big-endian, to close the zlib stream.
void appendChecksum(std::vector<Band>& bands) {
    uint32_t adler = bands.front().adler;
    for (size_t i = 1; i < bands.size(); ++i) {
        adler = static_cast<uint32_t>(
            adler32_combine(adler, bands[i].adler, static_cast<z_off_t>(bands[i].length)));
    }
    for (int shift = 24; shift >= 0; shift -= 8)
        bands.back().deflated.push_back(static_cast<uint8_t>(adler >> shift));
}

// Where libpng's bytes go, and whether appending to them failed.
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

// The setjmp frames below must not own memory: an error jumps back into them and skips every
// destructor in between.
bool writeHeader(png_structp png, png_infop info, const Layout& layout) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_IHDR(png, info, static_cast<uint32_t>(layout.width),
                 static_cast<uint32_t>(layout.height), 8,
                 layout.alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    return true;
}

bool writeImageData(png_structp png, const std::vector<std::span<const uint8_t>>& pieces) {
    static constexpr png_byte idat[5] = {'I', 'D', 'A', 'T', '\0'};
    static constexpr png_byte iend[5] = {'I', 'E', 'N', 'D', '\0'};
    if (setjmp(png_jmpbuf(png))) return false;
    for (const std::span<const uint8_t>& piece : pieces) {
        for (size_t offset = 0; offset < piece.size(); offset += maxChunkBytes) {
            png_write_chunk(png, idat, piece.data() + offset,
                            std::min(maxChunkBytes, piece.size() - offset));
        }
    }
    png_write_chunk(png, iend, nullptr, 0);
    return true;
}

// libpng writes the signature and the header, checking the size against its limits, and frames
// the compressed data in chunks with their checksums.
class Container {
public:
    Container()
        : png_(png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, failQuietly, ignoreWarning)),
          info_(png_ ? png_create_info_struct(png_) : nullptr) {
        if (png_) png_set_write_fn(png_, &sink_, appendToSink, flushNothing);
    }
    ~Container() { png_destroy_write_struct(&png_, &info_); }
    Container(const Container&) = delete;
    Container& operator=(const Container&) = delete;

    bool begin(const Layout& layout) { return png_ && info_ && writeHeader(png_, info_, layout); }
    std::optional<std::vector<uint8_t>> finish(const std::vector<std::span<const uint8_t>>& data) {
        if (!writeImageData(png_, data)) return std::nullopt;
        return std::move(sink_.bytes);
    }

private:
    png_structp png_;
    png_infop info_;
    MemorySink sink_;
};

// PNG dimensions are 1..2^31-1; the buffer must hold exactly width * height RGBA pixels.
bool validSize(size_t width, size_t height, size_t bufferSize) {
    constexpr size_t maxSide = 0x7fffffff;
    if (width == 0 || height == 0 || width > maxSide || height > maxSide) return false;
    const size_t stride = width * 4;
    if (height > std::numeric_limits<size_t>::max() / stride) return false;
    return stride * height == bufferSize;
}

Layout layoutFor(size_t width, size_t height, const std::vector<uint8_t>& rgba,
                 bool dropOpaqueAlpha) {
    return {width, height, !(dropOpaqueAlpha && allOpaque(rgba.data(), rgba.size()))};
}

std::optional<std::vector<uint8_t>> encode(const Layout& layout, const std::vector<uint8_t>& rgba,
                                           const EncoderSettings& settings) {
    Container container;
    if (!container.begin(layout)) return std::nullopt;
    std::vector<Band> bands = compressBands(layout, rgba.data(), settings);
    if (!std::all_of(bands.begin(), bands.end(), [](const Band& band) { return band.ok; })) {
        return std::nullopt;
    }
    appendChecksum(bands);
    std::vector<std::span<const uint8_t>> pieces;
    for (const Band& band : bands)
        pieces.emplace_back(band.deflated);
    return container.finish(pieces);
}

} // namespace

// Measured on real screens (docs/benchmarks.md): Paeth leaves flat areas and text edges as
// runs of zeros, and igzip's fastest level then comes within a few percent of zlib's level 6 at
// a tenth of the time or less. A 4 KiB window keeps its match distances short, which made
// files smaller on every image measured, flat ones most. Two bands halve the wall time when a
// second core is free.
EncoderSettings screenImageSettings() {
    return EncoderSettings{RowFilter::paeth, 1, 12, 2, true};
}

std::optional<std::vector<uint8_t>> encodeRgba(size_t width, size_t height,
                                               const std::vector<uint8_t>& rgba) {
    return encodeRgba(width, height, rgba, screenImageSettings());
}

std::optional<std::vector<uint8_t>> encodeRgba(size_t width, size_t height,
                                               const std::vector<uint8_t>& rgba,
                                               const EncoderSettings& settings) {
    if (!validSize(width, height, rgba.size())) return std::nullopt;
    if (settings.level < 0 || settings.level > ISAL_DEF_MAX_LEVEL) return std::nullopt;
    if (settings.windowBits < 8 || settings.windowBits > 15) return std::nullopt;
    try {
        return encode(layoutFor(width, height, rgba, settings.dropOpaqueAlpha), rgba, settings);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

std::optional<FilteredRows> filterRows(size_t width, size_t height,
                                       const std::vector<uint8_t>& rgba, RowFilter filter,
                                       bool dropOpaqueAlpha) {
    if (!validSize(width, height, rgba.size())) return std::nullopt;
    const Layout layout = layoutFor(width, height, rgba, dropOpaqueAlpha);
    FilteredRows rows{{}, layout.alpha};
    rows.bytes.reserve(height * (layout.rowBytes() + 1));
    filterBatches(layout, rgba.data(), filter, 0, height,
                  [&](std::span<const uint8_t> batch, bool) {
                      rows.bytes.insert(rows.bytes.end(), batch.begin(), batch.end());
                      return true;
                  });
    return rows;
}

std::optional<std::vector<uint8_t>> pngFromZlibStream(size_t width, size_t height, bool alpha,
                                                      const std::vector<uint8_t>& zlibStream) {
    if (width == 0 || height == 0 || width > 0x7fffffff || height > 0x7fffffff) {
        return std::nullopt;
    }
    Container container;
    if (!container.begin({width, height, alpha})) return std::nullopt;
    return container.finish({std::span<const uint8_t>(zlibStream)});
}

} // namespace dorvex::png
