// Screen capture on real screens: the two 2880x1800 fixtures (../shared/fixtures/screens, or
// DORVEX_SCREEN_FIXTURES) encoded by the capture encoder beside libpng's defaults (adaptive
// filters, zlib level 6) on the same RGBA pixels; the choices the encoder was picked from
// (row filter, DEFLATE library and level, window, bands); and the whole capture action on a
// simulated desktop that shows the fixture. Then the default simulated desktop, whose flat
// rectangles are the opposite kind of screen.
//
// Usage: capture_bench [rounds]   (default 7; every figure is the median of its rounds, and the
// encoders of one table take turns within each round, so a change of machine load hits all).
#include "BenchDriver.h"
#include "Dorvex/ActionHandlers.h"
#include "Dorvex/Actions.h"
#include "DorvexOS/PngEncoder.h"
#include "platform/sim/DefaultScenario.h"
#include "platform/sim/SimDesktop.h"
#include "support/PngFiles.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <libdeflate.h>
#include <memory>
#include <string>
#include <thread>
#include <vector>
#include <zlib.h>

namespace {

namespace fs = std::filesystem;
namespace png = dorvex::png;
using dorvex::testing::DecodedPng;

double cpuMillis() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// One thing measured: it answers the size of what it produced.
struct Step {
    std::string label;
    std::function<size_t()> run;
    bool encodes = true; // its size compares with the baseline's
};

struct Figures {
    double wallMs = 0;
    double cpuMs = 0; // of the whole process: every thread the step uses
    size_t bytes = 0;
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Each round runs every step once, in turn.
std::vector<Figures> interleaved(const std::vector<Step>& steps, int rounds) {
    std::vector<std::vector<double>> walls(steps.size()), cpus(steps.size());
    std::vector<Figures> figures(steps.size());
    for (int round = 0; round < rounds; ++round) {
        for (size_t i = 0; i < steps.size(); ++i) {
            const auto wallStart = std::chrono::steady_clock::now();
            const double cpuStart = cpuMillis();
            figures[i].bytes = steps[i].run();
            cpus[i].push_back(cpuMillis() - cpuStart);
            walls[i].push_back(std::chrono::duration<double, std::milli>(
                                   std::chrono::steady_clock::now() - wallStart)
                                   .count());
        }
    }
    for (size_t i = 0; i < steps.size(); ++i) {
        figures[i].wallMs = median(walls[i]);
        figures[i].cpuMs = median(cpus[i]);
    }
    return figures;
}

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "capture_bench: %s\n", what.c_str());
    std::exit(1);
}

size_t sizeOf(const std::optional<std::vector<uint8_t>>& bytes, const char* what) {
    if (!bytes) fail(std::string(what) + " failed");
    return bytes->size();
}

// The figures of every step against the first, the baseline.
void printTable(const std::vector<Step>& steps, const std::vector<Figures>& figures) {
    const Figures& base = figures.front();
    std::printf("  %-52s %8s %8s %9s %7s %7s %6s\n", "", "wall ms", "cpu ms", "bytes", "x wall",
                "x cpu", "size");
    for (size_t i = 0; i < steps.size(); ++i) {
        const Figures& f = figures[i];
        std::printf("  %-52s %8.1f %8.1f %9zu %7.1f %7.1f", steps[i].label.c_str(), f.wallMs,
                    f.cpuMs, f.bytes, base.wallMs / f.wallMs, base.cpuMs / f.cpuMs);
        if (steps[i].encodes) {
            std::printf(" %6.3f", static_cast<double>(f.bytes) / static_cast<double>(base.bytes));
        }
        std::printf("\n");
    }
}

Step libpngStep(const std::string& label, const DecodedPng& image,
                const dorvex::testing::LibpngSettings& settings) {
    return {label, [&image, settings] {
                return sizeOf(dorvex::testing::encodeWithLibpng(image.width, image.height,
                                                                image.rgba, settings),
                              "libpng");
            }};
}

Step encoderStep(const std::string& label, const DecodedPng& image, png::EncoderSettings settings) {
    return {label, [&image, settings] {
                return sizeOf(png::encodeRgba(image.width, image.height, image.rgba, settings),
                              "the capture encoder");
            }};
}

std::string describe(const png::EncoderSettings& s) {
    return std::string(png::rowFilterName(s.filter)) + ", igzip " + std::to_string(s.level) +
           ", window 2^" + std::to_string(s.windowBits) + ", " + std::to_string(s.bands) +
           (s.bands == 1 ? " band" : " bands");
}

// The same filtered rows through another DEFLATE library, framed by the encoder's container.
using Compress = std::function<std::vector<uint8_t>(const std::vector<uint8_t>&)>;

Step otherLibraryStep(const std::string& label, const DecodedPng& image, png::RowFilter filter,
                      Compress compress) {
    return {label, [&image, filter, compress] {
                auto rows = png::filterRows(image.width, image.height, image.rgba, filter, true);
                if (!rows) fail("filtering failed");
                return sizeOf(png::pngFromZlibStream(image.width, image.height, rows->alpha,
                                                     compress(rows->bytes)),
                              "framing");
            }};
}

Compress libdeflateAt(int level) {
    auto compressor = std::shared_ptr<libdeflate_compressor>(libdeflate_alloc_compressor(level),
                                                             libdeflate_free_compressor);
    return [compressor](const std::vector<uint8_t>& rows) {
        std::vector<uint8_t> out(libdeflate_zlib_compress_bound(compressor.get(), rows.size()));
        out.resize(libdeflate_zlib_compress(compressor.get(), rows.data(), rows.size(), out.data(),
                                            out.size()));
        return out;
    };
}

Compress zlibAt(int level, int strategy) {
    return [level, strategy](const std::vector<uint8_t>& rows) {
        z_stream stream{};
        deflateInit2(&stream, level, Z_DEFLATED, 15, 8, strategy);
        std::vector<uint8_t> out(deflateBound(&stream, static_cast<uLong>(rows.size())));
        stream.next_in = const_cast<uint8_t*>(rows.data());
        stream.avail_in = static_cast<uInt>(rows.size());
        stream.next_out = out.data();
        stream.avail_out = static_cast<uInt>(out.size());
        deflate(&stream, Z_FINISH);
        out.resize(stream.total_out);
        deflateEnd(&stream);
        return out;
    };
}

// The targets: the capture encoder against libpng's defaults on the same RGBA pixels.
void compareWithLibpng(const DecodedPng& image, int rounds) {
    const png::EncoderSettings chosen = png::screenImageSettings();
    png::EncoderSettings oneBand = chosen;
    oneBand.bands = 1;
    const std::vector<Step> steps = {
        libpngStep("libpng level 6, default filters, RGBA (baseline)", image,
                   dorvex::testing::libpngDefaults()),
        libpngStep("previous capture encoder (libpng paeth, zlib 1 RLE)", image,
                   dorvex::testing::previousCaptureSettings()),
        encoderStep("capture encoder: " + describe(chosen), image, chosen),
        encoderStep("capture encoder, " + describe(oneBand), image, oneBand),
    };
    std::printf(" encoders, median of %d rounds:\n", rounds);
    printTable(steps, interleaved(steps, rounds));
}

// What the choice was made from: one band each, so CPU and wall time say the same.
void compareChoices(const DecodedPng& image, int rounds) {
    std::vector<Step> steps = {libpngStep("libpng level 6, default filters, RGBA (baseline)", image,
                                          dorvex::testing::libpngDefaults())};
    for (png::RowFilter filter :
         {png::RowFilter::none, png::RowFilter::sub, png::RowFilter::up, png::RowFilter::average,
          png::RowFilter::paeth, png::RowFilter::adaptive}) {
        for (int windowBits : {12, 15}) {
            const png::EncoderSettings settings{filter, 1, windowBits, 1, true};
            steps.push_back(encoderStep(describe(settings), image, settings));
        }
    }
    for (int level : {0, 2, 3}) {
        const png::EncoderSettings settings{png::RowFilter::paeth, level, 12, 1, true};
        steps.push_back(encoderStep(describe(settings), image, settings));
    }
    for (png::RowFilter filter : {png::RowFilter::paeth, png::RowFilter::adaptive}) {
        const std::string name = png::rowFilterName(filter);
        steps.push_back(otherLibraryStep(name + ", libdeflate 1", image, filter, libdeflateAt(1)));
        steps.push_back(otherLibraryStep(name + ", libdeflate 6", image, filter, libdeflateAt(6)));
        steps.push_back(otherLibraryStep(name + ", zlib 1 RLE", image, filter, zlibAt(1, Z_RLE)));
        steps.push_back(
            otherLibraryStep(name + ", zlib 6", image, filter, zlibAt(6, Z_DEFAULT_STRATEGY)));
    }
    std::printf(" choices (RGB rows, one thread), median of %d rounds:\n", rounds);
    printTable(steps, interleaved(steps, rounds));
}

dorvex::Json captureAnswer(dorvex::bench::BenchDriver& bench) {
    const dorvex::ActionContext context = dorvex::actionContext("desktop_capture_screen");
    dorvex::Json answer =
        dorvex::handleCaptureScreen(bench.driver(), context, dorvex::Json::object());
    if (answer["ok"] != true) fail("capture failed: " + answer.dump());
    return answer;
}

// Render, encode, write and layout through "desktop_capture_screen", in process.
void captureThroughTheAction(dorvex::platform::sim::SimDesktop& desktop,
                             const DecodedPng& baselineImage, int rounds) {
    const uint32_t display = desktop.mainDisplayId();
    dorvex::bench::BenchDriver bench(desktop);
    const std::vector<Step> steps = {
        libpngStep("libpng level 6 encode alone (baseline)", baselineImage,
                   dorvex::testing::libpngDefaults()),
        {"render (createDisplayImage)",
         [&] {
             auto image = desktop.createDisplayImage(display);
             if (!image) fail("no display image");
             return image->pixels.size(); // raw RGBA bytes
         },
         false},
        {"capture action (render, encode, write, layout)",
         [&] {
             const dorvex::Json answer = captureAnswer(bench);
             return static_cast<size_t>(
                 fs::file_size(answer["result"]["filePath"].get<std::string>()));
         }},
    };
    std::printf(" the capture action, median of %d rounds:\n", rounds);
    printTable(steps, interleaved(steps, rounds));
}

// A desktop whose one 1440x900-point display at 2x shows the fixture.
std::unique_ptr<dorvex::platform::sim::SimDesktop> desktopShowing(const fs::path& fixture) {
    const dorvex::Json scenario = {
        {"displays",
         {{{"id", 1},
           {"bounds", {{"x", 0}, {"y", 0}, {"width", 1440}, {"height", 900}}},
           {"scale", 2},
           {"contentImage", fs::absolute(fixture).string()}}}}};
    dorvex::platform::sim::SimOptions options;
    options.scenarioText = scenario.dump();
    auto desktop = std::make_unique<dorvex::platform::sim::SimDesktop>(std::move(options));
    if (auto error = desktop->lastLoadError()) fail("scenario refused: " + *error);
    return desktop;
}

void benchFixture(const fs::path& file, int rounds) {
    std::optional<DecodedPng> image = dorvex::testing::decodePngFile(file);
    if (!image) fail("cannot read " + file.string());
    std::printf("\n== %s (%zux%zu)\n", file.filename().c_str(), image->width, image->height);
    compareWithLibpng(*image, rounds);
    compareChoices(*image, std::max(3, rounds / 2));
    auto desktop = desktopShowing(file);
    auto shown = desktop->createDisplayImage(desktop->mainDisplayId());
    if (!shown || shown->pixels != image->rgba) fail("the desktop does not show the fixture");
    captureThroughTheAction(*desktop, *image, rounds);
}

void benchDefaultDesktop(int rounds) {
    dorvex::platform::sim::SimOptions options;
    options.scenarioText = std::string(dorvex::platform::sim::defaultScenarioText());
    dorvex::platform::sim::SimDesktop desktop(std::move(options));
    auto rendered = desktop.createDisplayImage(desktop.mainDisplayId());
    if (!rendered) fail("the default desktop gave no display image");
    const DecodedPng image{rendered->width, rendered->height, true, rendered->pixels};
    std::printf("\n== default simulated desktop, flat rectangles (%zux%zu)\n", image.width,
                image.height);
    compareWithLibpng(image, rounds);
    captureThroughTheAction(desktop, image, rounds);
}

std::string loadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five;
    in >> one >> five;
    return in ? one + " " + five : "unknown";
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    std::printf("capture_bench: %u hardware threads, load average %s at the start\n",
                std::thread::hardware_concurrency(), loadAverage().c_str());
    std::printf("x wall, x cpu: the baseline's time over the step's; size: bytes over the "
                "baseline's\n");
    const fs::path folder = dorvex::testing::screenFixtureDirectory();
    if (fs::is_directory(folder)) {
        for (const char* name : dorvex::testing::screenFixtureNames)
            benchFixture(folder / name, rounds);
    } else {
        std::printf("\nno screen fixtures at %s: real screens skipped\n", folder.c_str());
    }
    benchDefaultDesktop(rounds);
    std::printf("\nload average %s at the end\n", loadAverage().c_str());
    return 0;
}
