#include "DorvexScenario/ScenarioTool.h"

#include "DorvexOS/Files.h"
#include "DorvexOS/PngEncoder.h"
#include "platform/sim/SimRender.h"
#include "platform/sim/SimScenario.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <sstream>

namespace dorvex::scenario {
namespace {

namespace fs = std::filesystem;
using platform::sim::SimScenario;
using platform::sim::SimScenarioCheck;

constexpr const char* usage = "usage: dorvex-scenario check FILE\n"
                              "       dorvex-scenario render FILE DISPLAY OUT.png\n";

std::optional<std::string> readText(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return text.str();
}

// Relative paths inside a scenario are taken from its own folder, as the driver takes them.
std::string baseDirectoryOf(const std::string& file) {
    std::error_code error;
    fs::path absolute = fs::absolute(file, error);
    return (error ? fs::path(file) : absolute).parent_path().string();
}

// The scenario, or nothing after printing why it cannot be used.
std::optional<SimScenarioCheck> checked(const std::string& file, std::ostream& err) {
    std::optional<std::string> text = readText(file);
    if (!text) {
        err << file << ": cannot be read\n";
        return std::nullopt;
    }
    return platform::sim::checkScenario(*text, baseDirectoryOf(file));
}

void printProblems(const std::string& file, const SimScenarioCheck& check, std::ostream& out) {
    for (const platform::sim::ScenarioProblem& problem : check.problems) {
        out << file << ": " << (problem.pointer.empty() ? "(whole file)" : problem.pointer) << ": "
            << problem.expected << "\n";
    }
    out << file << ": " << check.problems.size()
        << (check.problems.size() == 1 ? " problem\n" : " problems\n");
}

size_t elementCount(const SimScenario& scenario) {
    size_t count = 0;
    for (const auto& app : scenario.apps)
        count += app.tree.nodes.size();
    for (const auto& installed : scenario.installedApps)
        count += installed.app.tree.nodes.size();
    return count;
}

std::optional<uint32_t> displayIdOf(const std::string& text) {
    if (text.empty() || text.size() > 10 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    const unsigned long long id = std::stoull(text);
    if (id == 0 || id > UINT32_MAX) return std::nullopt;
    return static_cast<uint32_t>(id);
}

std::string displayIds(const SimScenario& scenario) {
    std::string ids;
    for (const auto& display : scenario.displays)
        ids += (ids.empty() ? "" : ", ") + std::to_string(display.id);
    return ids.empty() ? "none" : ids;
}

} // namespace

int runCheck(const std::string& file, std::ostream& out, std::ostream& err) {
    std::optional<SimScenarioCheck> check = checked(file, err);
    if (!check) return 2;
    if (!check->problems.empty()) {
        printProblems(file, *check, out);
        return 1;
    }
    const SimScenario& scenario = *check->scenario;
    out << file << ": ok: " << scenario.displays.size() << " displays, " << scenario.apps.size()
        << " running apps, " << scenario.installedApps.size() << " installed apps, "
        << scenario.windows.size() << " windows, " << elementCount(scenario) << " elements\n";
    return 0;
}

int runRender(const std::string& file, const std::string& display, const std::string& png,
              std::ostream& out, std::ostream& err) {
    const std::optional<uint32_t> displayId = displayIdOf(display);
    if (!displayId) {
        err << "DISPLAY is a display's \"id\" in the scenario, a whole number from 1\n" << usage;
        return 2;
    }
    std::optional<SimScenarioCheck> check = checked(file, err);
    if (!check) return 2;
    if (!check->problems.empty()) {
        printProblems(file, *check, out);
        return 1;
    }
    const SimScenario& scenario = *check->scenario;
    const platform::sim::SimDisplay* shown = scenario.display(*displayId);
    if (shown == nullptr) {
        out << file << ": no display has the id " << *displayId << " (the scenario has "
            << displayIds(scenario) << ")\n";
        return 1;
    }
    const platform::sim::RgbaImage image = platform::sim::renderDisplay(
        shown->bounds, shown->pixelSize, scenario.windows, shown->content);
    std::optional<std::vector<uint8_t>> bytes =
        png::encodeRgba(image.width, image.height, image.pixels);
    if (!bytes ||
        !files::writeFileAtomically(
            png, std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()))) {
        err << png << ": cannot be written\n";
        return 2;
    }
    out << png << ": display " << *displayId << ", " << image.width << "x" << image.height
        << " pixels\n";
    return 0;
}

int runTool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    if (arguments.size() == 2 && arguments[0] == "check") return runCheck(arguments[1], out, err);
    if (arguments.size() == 4 && arguments[0] == "render") {
        return runRender(arguments[1], arguments[2], arguments[3], out, err);
    }
    err << usage;
    return 2;
}

} // namespace dorvex::scenario
