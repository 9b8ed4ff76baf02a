// Screen capture of the default simulated desktop's 2880x1800 display, beside the same pixels
// encoded by libpng with its defaults (adaptive filters, zlib level 6). Prints median wall and
// CPU times, file sizes and ratios: the encoders alone, then the whole capture action.
#include "BenchDriver.h"
#include "Dorvex/ActionHandlers.h"
#include "Dorvex/Actions.h"
#include "DorvexOS/PngEncoder.h"
#include "platform/sim/DefaultScenario.h"
#include "platform/sim/SimDesktop.h"
#include "platform/sim/SimRender.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <vector>

namespace {

namespace fs = std::filesystem;
using dorvex::platform::sim::RgbaImage;

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

// Runs the step several times; the step answers the size of what it produced.
Measurement measure(int rounds, const std::function<size_t()>& step) {
    std::vector<double> walls;
    std::vector<double> cpus;
    size_t bytes = 0;
    for (int round = 0; round < rounds; ++round) {
        const auto wallStart = std::chrono::steady_clock::now();
        const double cpuStart = cpuMillis();
        bytes = step();
        cpus.push_back(cpuMillis() - cpuStart);
        walls.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wallStart)
                .count());
    }
    std::sort(walls.begin(), walls.end());
    std::sort(cpus.begin(), cpus.end());
    return {walls[walls.size() / 2], cpus[cpus.size() / 2], bytes};
}

size_t encoded(const RgbaImage& image, const dorvex::png::EncoderSettings& settings) {
    auto png = dorvex::png::encodeRgba(image.width, image.height, image.pixels, settings);
    if (!png) {
        std::fprintf(stderr, "encoding failed\n");
        std::exit(1);
    }
    return png->size();
}

void print(const char* label, const Measurement& m) {
    std::printf("%-38s wall %7.1f ms  cpu %7.1f ms  %9zu bytes\n", label, m.wallMs, m.cpuMs,
                m.bytes);
}

void compare(const char* label, const Measurement& fast, const Measurement& baseline) {
    std::printf("%-38s speed-up (cpu) %.2fx, size ratio %.2f\n", label, baseline.cpuMs / fast.cpuMs,
                static_cast<double>(fast.bytes) / static_cast<double>(baseline.bytes));
}

} // namespace

int main() {
    const int rounds = 9;
    dorvex::platform::sim::SimOptions options;
    options.scenarioText = std::string(dorvex::platform::sim::defaultScenarioText());
    dorvex::platform::sim::SimDesktop desktop(std::move(options));

    const uint32_t display = desktop.mainDisplayId();
    std::optional<dorvex::platform::Image> image = desktop.createDisplayImage(display);
    if (!image) {
        std::fprintf(stderr, "the default desktop gave no display image\n");
        return 1;
    }
    const RgbaImage& pixels = *image;

    const Measurement render = measure(rounds, [&] {
        auto rendered = desktop.createDisplayImage(display);
        return rendered ? rendered->width * rendered->height * 4 : 0; // raw RGBA bytes
    });
    // What the capture action encodes with: the screen settings.
    const Measurement capture = measure(rounds, [&] {
        auto png = dorvex::png::encodeRgba(pixels.width, pixels.height, pixels.pixels);
        return png ? png->size() : 0;
    });
    const Measurement baseline =
        measure(rounds, [&] { return encoded(pixels, dorvex::png::libpngDefaultSettings()); });
    // How much of the gain is the filter and zlib choice alone, with the alpha dropped in both.
    dorvex::png::EncoderSettings opaqueDefaults = dorvex::png::libpngDefaultSettings();
    opaqueDefaults.dropOpaqueAlpha = true;
    const Measurement baselineOpaque =
        measure(rounds, [&] { return encoded(pixels, opaqueDefaults); });

    // The whole action: render, encode, write the file, read the layout. The files go to the
    // bench driver's own temporary directory, removed with it.
    dorvex::bench::BenchDriver bench(desktop);
    const dorvex::ActionContext context = dorvex::actionContext("desktop_capture_screen");
    const Measurement action = measure(rounds, [&] {
        dorvex::Json answer =
            dorvex::handleCaptureScreen(bench.driver(), context, dorvex::Json::object());
        if (answer["ok"] != true) {
            std::fprintf(stderr, "capture failed: %s\n", answer.dump().c_str());
            std::exit(1);
        }
        return static_cast<size_t>(fs::file_size(answer["result"]["filePath"].get<std::string>()));
    });

    std::printf("default desktop, display %u, %zux%zu pixels, median of %d\n", display,
                pixels.width, pixels.height, rounds);
    print("render (createDisplayImage)", render);
    print("encode, capture settings", capture);
    print("encode, libpng level 6", baseline);
    print("encode, libpng level 6, no alpha", baselineOpaque);
    print("capture action (render+encode+write)", action);
    compare("capture vs level 6:", capture, baseline);
    compare("capture vs level 6, no alpha:", capture, baselineOpaque);
    return 0;
}
