// PNG encoding of a 2880x1800 display image: the capture's own settings beside libpng's
// defaults (adaptive filters, zlib level 6) on the same pixels. Prints median wall and CPU
// times, the file sizes and the two ratios.
#include "DorvexCore/PngEncoder.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

constexpr size_t displayWidth = 2880;
constexpr size_t displayHeight = 1800;

// A flat desktop: a plain background and overlapping windows, each a filled rectangle with a
// darker title bar, in colours derived from a window id.
std::vector<uint8_t> flatDesktopImage(size_t width, size_t height) {
    std::vector<uint8_t> rgba(width * height * 4);
    auto fill = [&](size_t x0, size_t y0, size_t x1, size_t y1, const uint8_t(&colour)[3]) {
        for (size_t y = y0; y < std::min(y1, height); ++y) {
            for (size_t x = x0; x < std::min(x1, width); ++x) {
                uint8_t* pixel = &rgba[(y * width + x) * 4];
                pixel[0] = colour[0], pixel[1] = colour[1], pixel[2] = colour[2], pixel[3] = 255;
            }
        }
    };
    fill(0, 0, width, height, {45, 90, 140});
    for (size_t i = 0; i < 8; ++i) {
        const size_t id = 1000 + i * 37;
        const uint8_t body[3] = {uint8_t(id * 53), uint8_t(id * 97), uint8_t(id * 29)};
        const uint8_t title[3] = {uint8_t(body[0] / 2), uint8_t(body[1] / 2), uint8_t(body[2] / 2)};
        const size_t x = 100 + i * 250, y = 80 + i * 150;
        fill(x, y, x + 1200, y + 800, body);
        fill(x, y, x + 1200, y + 56, title);
    }
    return rgba;
}

double cpuMillis() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

struct Measurement {
    double wallMs = 0;
    double cpuMs = 0;
    size_t bytes = 0;
};

Measurement measure(const std::vector<uint8_t>& rgba, const dorvex::png::EncoderSettings& settings,
                    int rounds) {
    std::vector<double> walls;
    std::vector<double> cpus;
    size_t bytes = 0;
    for (int round = 0; round < rounds; ++round) {
        const auto wallStart = std::chrono::steady_clock::now();
        const double cpuStart = cpuMillis();
        auto png = dorvex::png::encodeRgba(displayWidth, displayHeight, rgba, settings);
        cpus.push_back(cpuMillis() - cpuStart);
        walls.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wallStart)
                .count());
        if (!png) {
            std::fprintf(stderr, "encoding failed\n");
            std::exit(1);
        }
        bytes = png->size();
    }
    std::sort(walls.begin(), walls.end());
    std::sort(cpus.begin(), cpus.end());
    return {walls[walls.size() / 2], cpus[cpus.size() / 2], bytes};
}

} // namespace

int main() {
    const int rounds = 9;
    const std::vector<uint8_t> rgba = flatDesktopImage(displayWidth, displayHeight);
    const Measurement capture = measure(rgba, dorvex::png::screenImageSettings(), rounds);
    const Measurement baseline = measure(rgba, dorvex::png::libpngDefaultSettings(), rounds);
    // How much of the gain is the filter and zlib choice alone, with the alpha dropped in both.
    dorvex::png::EncoderSettings baselineRgb = dorvex::png::libpngDefaultSettings();
    baselineRgb.dropOpaqueAlpha = true;
    const Measurement baselineOpaque = measure(rgba, baselineRgb, rounds);
    std::printf("image %zux%zu, median of %d\n", displayWidth, displayHeight, rounds);
    std::printf("capture settings  : wall %7.1f ms  cpu %7.1f ms  %9zu bytes\n", capture.wallMs,
                capture.cpuMs, capture.bytes);
    std::printf("libpng level 6    : wall %7.1f ms  cpu %7.1f ms  %9zu bytes\n", baseline.wallMs,
                baseline.cpuMs, baseline.bytes);
    std::printf("libpng level 6 rgb: wall %7.1f ms  cpu %7.1f ms  %9zu bytes\n",
                baselineOpaque.wallMs, baselineOpaque.cpuMs, baselineOpaque.bytes);
    std::printf("against level 6: speed-up (cpu) %.2fx, size ratio %.2f\n",
                baseline.cpuMs / capture.cpuMs,
                static_cast<double>(capture.bytes) / static_cast<double>(baseline.bytes));
    std::printf("against level 6 rgb: speed-up (cpu) %.2fx, size ratio %.2f\n",
                baselineOpaque.cpuMs / capture.cpuMs,
                static_cast<double>(capture.bytes) / static_cast<double>(baselineOpaque.bytes));
    return 0;
}
