#include "platform/sim/SimScenario.h"

#include "platform/sim/SimJsonReader.h"
#include "platform/sim/SimRender.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <set>

namespace dorvex::platform::sim {
namespace {

constexpr int64_t maxPid = std::numeric_limits<int32_t>::max();
constexpr int64_t maxDelayMs = 3'600'000;
constexpr int64_t defaultLagReadings = 3;
constexpr int64_t maxLagReadings = 1'000'000;

std::string indexed(const std::string& path, size_t i) {
    return path + "[" + std::to_string(i) + "]";
}

// Where the load goes after a refusal. The driver stops at the first (`everyProblem` false:
// the refusal propagates); the scenario checker notes it and goes on with the next
// independent part, leaving the refused one out.
class ProblemLog {
public:
    explicit ProblemLog(bool everyProblem) : everyProblem_(everyProblem) {}

    template <class Part> void attempt(Part&& part) {
        if (!everyProblem_) return part();
        try {
            part();
        } catch (const ScenarioError& error) {
            refusals_.insert(refusals_.end(), error.refusals.begin(), error.refusals.end());
        }
    }
    bool clean() const { return refusals_.empty(); }
    std::vector<ScenarioRefusal> take() { return std::move(refusals_); }

private:
    bool everyProblem_;
    std::vector<ScenarioRefusal> refusals_;
};

// A relative path is taken from the scenario's directory, so a scenario and the bundles beside
// it can move together.
std::string locatedPath(const std::string& path, const std::string& baseDirectory) {
    if (path.empty() || path.front() == '/' || path.rfind("file://", 0) == 0) return path;
    return (std::filesystem::path(baseDirectory) / path).lexically_normal().string();
}

SimDisplay parseDisplay(const Json& value, const std::string& path) {
    ObjectReader reader(value, path);
    SimDisplay display;
    display.id = static_cast<uint32_t>(
        reader.integer("id", 1, std::numeric_limits<uint32_t>::max()).value_or(0));
    if (display.id == 0) refuse(reader.pathOf("id"), "required");
    std::optional<Rect> bounds = reader.rect("bounds");
    if (!bounds || bounds->width <= 0 || bounds->height <= 0) {
        refuse(reader.pathOf("bounds"), "required, with a positive size");
    }
    display.bounds = *bounds;
    double scale = reader.number("scale").value_or(1.0);
    display.pixelSize =
        reader.size("pixelSize").value_or(Size{bounds->width * scale, bounds->height * scale});
    if (!imageSizeAllowed(display.pixelSize.width, display.pixelSize.height) ||
        display.pixelSize.width < 1 || display.pixelSize.height < 1) {
        refuse(reader.pathOf("pixelSize"), "pixel size out of range");
    }
    display.modeReadable = reader.boolean("modeReadable").value_or(true);
    display.fallbackPixelSize =
        reader.size("fallbackPixelSize").value_or(Size{bounds->width, bounds->height});
    display.visibleFrame = reader.rect("visibleFrame").value_or(*bounds);
    display.main = reader.boolean("main").value_or(false);
    display.contentImage = reader.string("contentImage");
    reader.finish();
    return display;
}

ActivationPolicy parsePolicy(ObjectReader& reader) {
    std::string policy = reader.string("activationPolicy").value_or("regular");
    if (policy == "regular") return ActivationPolicy::regular;
    if (policy == "accessory") return ActivationPolicy::accessory;
    if (policy == "prohibited") return ActivationPolicy::prohibited;
    refuse(reader.pathOf("activationPolicy"), "expected regular, accessory or prohibited");
}

// The keys that running and installed applications share.
SimApp parseAppFields(ObjectReader& reader, bool pidRequired, const std::string& baseDirectory) {
    SimApp app;
    RunningApplication& info = app.info;
    std::optional<int64_t> pid = reader.integer("pid", 1, maxPid);
    if (!pid && pidRequired) refuse(reader.pathOf("pid"), "required");
    info.pid = static_cast<int32_t>(pid.value_or(0));
    info.bundleIdentifier = reader.string("bundleId");
    info.localizedName = reader.string("name");
    info.launchDate = reader.number("launchDate");
    info.isActive = reader.boolean("active").value_or(false);
    info.isHidden = reader.boolean("hidden").value_or(false);
    info.activationPolicy = parsePolicy(reader);
    if (auto path = reader.string("bundlePath")) {
        info.bundleURL = fileURL(locatedPath(*path, baseDirectory), true);
    }
    app.executablePath = reader.string("executablePath");
    if (app.executablePath) app.executablePath = locatedPath(*app.executablePath, baseDirectory);
    if (app.executablePath) info.executableURL = fileURL(*app.executablePath, false);
    app.tree = parseTree(reader.object("accessibility"), reader.pathOf("accessibility"),
                         info.localizedName);
    if (std::optional<std::string> focused = reader.string("focusedElement")) {
        app.tree.focus = nodeWithId(app.tree, *focused);
        if (!app.tree.focus) {
            refuse(reader.pathOf("focusedElement"), "no element of this app has that id");
        }
    }
    return app;
}

SimApp parseApp(const Json& value, const std::string& path, const std::string& baseDirectory) {
    ObjectReader reader(value, path);
    SimApp app = parseAppFields(reader, true, baseDirectory);
    reader.finish();
    return app;
}

SimInstalledApp parseInstalledApp(const Json& value, const std::string& path,
                                  const std::string& baseDirectory) {
    ObjectReader reader(value, path);
    SimInstalledApp installed;
    installed.app = parseAppFields(reader, false, baseDirectory);
    const RunningApplication& info = installed.app.info;
    if (!info.bundleIdentifier) refuse(reader.pathOf("bundleId"), "required");
    if (!info.bundleURL) {
        std::string name = info.localizedName.value_or(*info.bundleIdentifier);
        installed.app.info.bundleURL = fileURL("/Applications/" + name + ".app", true);
    }
    installed.bundleURL = *installed.app.info.bundleURL;
    if (const Json* windows = reader.array("windows")) {
        for (size_t i = 0; i < windows->size(); ++i) {
            installed.windows.push_back(
                parseWindow((*windows)[i], indexed(reader.pathOf("windows"), i)));
        }
    }
    installed.launchError = reader.string("launchError");
    installed.launchDelayMs = reader.integer("launchDelayMs", 0, maxDelayMs).value_or(0);
    installed.launchCompletes = reader.boolean("launchCompletes").value_or(true);
    reader.finish();
    return installed;
}

SimCursor parseCursor(const Json& value, const std::string& path) {
    ObjectReader reader(value, path);
    SimCursor cursor;
    std::string mode = reader.string("mode").value_or("follows");
    if (mode == "follows") {
        cursor.mode = CursorMode::follows;
    } else if (mode == "fixed") {
        cursor.mode = CursorMode::fixed;
    } else if (mode == "unreadable") {
        cursor.mode = CursorMode::unreadable;
    } else if (mode == "lags") {
        cursor.mode = CursorMode::lags;
    } else {
        refuse(reader.pathOf("mode"), "expected follows, fixed, unreadable or lags");
    }
    if (reader.has("readings")) {
        if (cursor.mode != CursorMode::lags) refuse(reader.pathOf("readings"), "only for lags");
        cursor.lagReadings = *reader.integer("readings", 0, maxLagReadings);
    } else if (cursor.mode == CursorMode::lags) {
        cursor.lagReadings = defaultLagReadings;
    }
    cursor.location.x = reader.number("x").value_or(0);
    cursor.location.y = reader.number("y").value_or(0);
    reader.finish();
    return cursor;
}

SimPermission parsePermission(ObjectReader& parent, const char* key) {
    SimPermission permission;
    const Json* value = parent.raw(key);
    if (!value) return permission;
    if (value->is_boolean()) {
        permission.granted = value->get<bool>();
        return permission;
    }
    ObjectReader reader(*value, parent.pathOf(key));
    permission.granted = reader.boolean("granted").value_or(true);
    permission.grantOnRequest = reader.boolean("grantOnRequest").value_or(false);
    permission.needsRestart = reader.boolean("needsRestart").value_or(false);
    reader.finish();
    return permission;
}

SimPermissions parsePermissions(const Json& value, const std::string& path) {
    ObjectReader reader(value, path);
    SimPermissions permissions{
        parsePermission(reader, "accessibility"), parsePermission(reader, "screenCapture"),
        parsePermission(reader, "listenEvent"), parsePermission(reader, "postEvent")};
    reader.finish();
    return permissions;
}

int32_t readStatus(ObjectReader& reader, const char* key) {
    return static_cast<int32_t>(*reader.integer(key, std::numeric_limits<int32_t>::min(),
                                                std::numeric_limits<int32_t>::max()));
}

std::map<std::string, SimAppleEventsTarget> parseAppleEvents(const Json& value,
                                                             const std::string& path) {
    ObjectReader reader(value, path);
    std::map<std::string, SimAppleEventsTarget> targets;
    for (const auto& [bundleId, entry] : value.items()) {
        if (bundleId.rfind('_', 0) == 0) continue; // a comment
        SimAppleEventsTarget target;
        if (entry.is_object()) {
            ObjectReader fields(entry, reader.pathOf(bundleId));
            if (!fields.raw("code")) refuse(fields.pathOf("code"), "required");
            target.code = readStatus(fields, "code");
            if (fields.raw("onPrompt")) target.onPrompt = readStatus(fields, "onPrompt");
            fields.finish();
            reader.raw(bundleId.c_str());
        } else {
            target.code = readStatus(reader, bundleId.c_str());
        }
        targets[bundleId] = target;
    }
    reader.finish();
    return targets;
}

SimHitRegion parseHitRegion(const Json& value, const std::string& path) {
    ObjectReader reader(value, path);
    SimHitRegion region;
    std::optional<Rect> rect = reader.rect("rect");
    if (!rect) refuse(reader.pathOf("rect"), "required");
    region.rect = *rect;
    region.elementId = reader.string("element");
    const Json* error = reader.raw("error");
    if (region.elementId.has_value() == (error != nullptr)) {
        refuse(path, "give exactly one of \"element\" and \"error\"");
    }
    if (error) region.error = readCode(*error, reader.pathOf("error"));
    reader.finish();
    return region;
}

void parseWindowListFault(ObjectReader& reader, SimFaults& faults) {
    const Json* value = reader.raw("windowList");
    if (!value) return;
    if (value->is_boolean()) {
        faults.windowListAll = value->get<bool>();
        return;
    }
    if (!value->is_array()) refuse(reader.pathOf("windowList"), "expected true or options");
    for (size_t i = 0; i < value->size(); ++i) {
        const Json& option = (*value)[i];
        if (!option.is_number_unsigned() ||
            option.get<uint64_t>() > std::numeric_limits<uint32_t>::max()) {
            refuse(indexed(reader.pathOf("windowList"), i), "expected a window list option");
        }
        faults.windowListOptions.push_back(option.get<uint32_t>());
    }
}

SimFaults parseFaults(const Json& value, const std::string& path) {
    ObjectReader reader(value, path);
    SimFaults faults;
    parseWindowListFault(reader, faults);
    faults.displayCount = reader.boolean("displayCount").value_or(false);
    faults.displayList = reader.boolean("displayList").value_or(false);
    faults.displayImage = reader.boolean("displayImage").value_or(false);
    faults.windowImage = reader.boolean("windowImage").value_or(false);
    faults.eventCreation = reader.boolean("eventCreation").value_or(false);
    faults.runningAppsDelayMs = reader.integer("runningAppsDelayMs", 0, maxDelayMs).value_or(0);
    faults.runningAppsHang = reader.boolean("runningAppsHang").value_or(false);
    reader.finish();
    return faults;
}

void parseProcess(const Json& value, const std::string& path,
                  std::map<int32_t, std::string>& processPaths) {
    ObjectReader reader(value, path);
    std::optional<int64_t> pid = reader.integer("pid", 1, maxPid);
    if (!pid) refuse(reader.pathOf("pid"), "required");
    std::optional<std::string> executable = reader.string("executablePath");
    if (!executable) refuse(reader.pathOf("executablePath"), "required");
    reader.finish();
    if (!processPaths.emplace(static_cast<int32_t>(*pid), *executable).second) {
        refuse(reader.pathOf("pid"), "pid " + std::to_string(*pid) + " is used twice");
    }
}

std::map<int32_t, int32_t> parseWindowLevels(const Json& value, const std::string& path) {
    std::map<int32_t, int32_t> levels{{13, 1000}};
    ObjectReader reader(value, path);
    for (const auto& [key, unused] : value.items()) {
        size_t used = 0;
        int key32 = 0;
        try {
            key32 = std::stoi(key, &used);
        } catch (const std::exception&) {
            used = 0;
        }
        if (used == 0 || used != key.size()) refuse(reader.pathOf(key), "expected a level key");
        levels[key32] = static_cast<int32_t>(*reader.integer(
            key.c_str(), std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
    }
    reader.finish();
    return levels;
}

template <class T, class Parse>
std::vector<T> parseList(ObjectReader& reader, const char* key, Parse parse, ProblemLog& log) {
    std::vector<T> items;
    log.attempt([&] {
        if (const Json* list = reader.array(key)) {
            for (size_t i = 0; i < list->size(); ++i) {
                log.attempt(
                    [&] { items.push_back(parse((*list)[i], indexed(reader.pathOf(key), i))); });
            }
        }
    });
    return items;
}

std::vector<std::string> parseStrings(ObjectReader& reader, const char* key) {
    std::vector<std::string> strings;
    if (const Json* list = reader.array(key)) {
        for (size_t i = 0; i < list->size(); ++i) {
            if (!(*list)[i].is_string()) refuse(indexed(reader.pathOf(key), i), "expected text");
            strings.push_back((*list)[i].get<std::string>());
        }
    }
    return strings;
}

void checkDisplays(std::vector<SimDisplay>& displays) {
    std::set<uint32_t> ids;
    size_t mains = 0;
    for (const SimDisplay& display : displays) {
        if (!ids.insert(display.id).second) {
            refuse("displays", "display id " + std::to_string(display.id) + " is used twice");
        }
        if (display.main) ++mains;
    }
    if (mains > 1) refuse("displays", "more than one main display");
    if (mains == 0 && !displays.empty()) displays.front().main = true;
}

void checkApps(const SimScenario& scenario) {
    std::set<int32_t> pids;
    for (const SimApp& app : scenario.apps) {
        if (!pids.insert(app.info.pid).second) {
            refuse("apps", "pid " + std::to_string(app.info.pid) + " is used twice");
        }
        if (scenario.processPaths.contains(app.info.pid)) {
            refuse("processes", "pid " + std::to_string(app.info.pid) + " is a running app");
        }
    }
}

// Element ids are unique over every tree, and every reference names one of them.
void checkElementIds(const SimScenario& scenario) {
    std::set<std::string> ids;
    std::vector<std::string> references;
    auto visit = [&](const SimTree& tree) {
        for (const SimNode& node : tree.nodes) {
            if (!node.id.empty() && !ids.insert(node.id).second) {
                refuse("apps", "element id \"" + node.id + "\" is used twice");
            }
        }
        collectReferences(tree, references);
    };
    for (const SimApp& app : scenario.apps)
        visit(app.tree);
    for (const SimInstalledApp& installed : scenario.installedApps)
        visit(installed.app.tree);
    for (const SimHitRegion& region : scenario.hitRegions) {
        if (region.elementId) references.push_back(*region.elementId);
    }
    for (const std::string& reference : references) {
        if (!ids.contains(reference)) {
            refuse("apps", "no element has the id \"" + reference + "\"");
        }
    }
}

void readLists(ObjectReader& reader, SimScenario& scenario, const std::string& baseDirectory,
               ProblemLog& log) {
    scenario.displays = parseList<SimDisplay>(reader, "displays", parseDisplay, log);
    scenario.apps = parseList<SimApp>(
        reader, "apps",
        [&](const Json& value, const std::string& path) {
            return parseApp(value, path, baseDirectory);
        },
        log);
    scenario.installedApps = parseList<SimInstalledApp>(
        reader, "installedApps",
        [&](const Json& value, const std::string& path) {
            return parseInstalledApp(value, path, baseDirectory);
        },
        log);
    scenario.windows = parseList<SimWindow>(reader, "windows", parseWindow, log);
    scenario.hitRegions = parseList<SimHitRegion>(reader, "hitTest", parseHitRegion, log);
    log.attempt([&] {
        if (const Json* processes = reader.array("processes")) {
            for (size_t i = 0; i < processes->size(); ++i) {
                log.attempt([&] {
                    parseProcess((*processes)[i], indexed(reader.pathOf("processes"), i),
                                 scenario.processPaths);
                });
            }
        }
    });
    log.attempt([&] { scenario.refusedUrlPrefixes = parseStrings(reader, "refusedUrlPrefixes"); });
}

void readFrontmost(ObjectReader& reader, SimScenario& scenario) {
    if (const Json* frontmost = reader.raw("frontmostPid")) {
        if (!frontmost->is_null()) {
            scenario.frontmostPid =
                static_cast<int32_t>(*reader.integer("frontmostPid", 1, maxPid));
        }
        return;
    }
    for (const SimApp& app : scenario.apps) {
        if (app.info.isActive) {
            scenario.frontmostPid = app.info.pid;
            break;
        }
    }
}

// Reads the object `key` names, when there is one, with `parse`.
template <class T, class Parse>
void readSection(ObjectReader& reader, const char* key, T& into, Parse parse, ProblemLog& log) {
    log.attempt([&] {
        if (const Json* value = reader.raw(key)) into = parse(*value, reader.pathOf(key));
    });
}

void readTopLevel(ObjectReader& reader, SimScenario& scenario, const std::string& baseDirectory,
                  ProblemLog& log) {
    readLists(reader, scenario, baseDirectory, log);
    log.attempt([&] { readFrontmost(reader, scenario); });
    readSection(reader, "cursor", scenario.cursor, parseCursor, log);
    readSection(reader, "windowLevels", scenario.windowLevels, parseWindowLevels, log);
    readSection(reader, "permissions", scenario.permissions, parsePermissions, log);
    readSection(reader, "appleEvents", scenario.appleEvents, parseAppleEvents, log);
    readSection(reader, "faults", scenario.faults, parseFaults, log);
    log.attempt([&] {
        scenario.hasWindowNumberFunction = reader.boolean("hasWindowNumberFunction").value_or(true);
    });
    log.attempt([&] {
        scenario.scriptInterpreterPath = reader.string("scriptInterpreterPath").value_or("/bin/sh");
    });
    log.attempt(
        [&] { scenario.latencyUs = reader.integer("latencyUs", 0, 10'000'000).value_or(0); });
}

// Reads each picture file the scenario names once, however many displays and windows show it.
class PictureLoader {
public:
    explicit PictureLoader(std::filesystem::path baseDirectory)
        : baseDirectory_(std::move(baseDirectory)) {}

    // `path` is the scenario key that names the file, for the refusal.
    SimPictureRef load(const std::string& name, const std::string& path) {
        // An absolute name replaces the base; an empty base leaves the working directory's.
        const std::filesystem::path file = (baseDirectory_ / name).lexically_normal();
        auto [entry, added] = pictures_.try_emplace(file.string());
        if (added) {
            SimPictureRead read = readPicture(file);
            if (!read.picture) refuse(path, read.error);
            entry->second = std::move(read.picture);
        }
        return entry->second;
    }

private:
    std::filesystem::path baseDirectory_;
    std::map<std::string, SimPictureRef> pictures_;
};

// A display shows its picture pixel for pixel, so the sizes must agree.
void loadDisplayPicture(SimDisplay& display, PictureLoader& loader, const std::string& path) {
    if (!display.contentImage) return;
    display.content = loader.load(*display.contentImage, path);
    const Image& image = display.content->image;
    const auto width = static_cast<size_t>(std::round(display.pixelSize.width));
    const auto height = static_cast<size_t>(std::round(display.pixelSize.height));
    if (image.width != width || image.height != height) {
        refuse(path, "the image is " + std::to_string(image.width) + "x" +
                         std::to_string(image.height) + " pixels, the display " +
                         std::to_string(width) + "x" + std::to_string(height) +
                         "; they must be equal");
    }
}

// A window's picture is scaled to whatever size the window is drawn at.
void loadWindowPictures(std::vector<SimWindow>& windows, PictureLoader& loader,
                        const std::string& path, ProblemLog& log) {
    for (size_t i = 0; i < windows.size(); ++i) {
        if (!windows[i].contentImage) continue;
        log.attempt([&] {
            windows[i].content =
                loader.load(*windows[i].contentImage, indexed(path, i) + ".contentImage");
        });
    }
}

void loadPictures(SimScenario& scenario, const std::filesystem::path& baseDirectory,
                  ProblemLog& log) {
    PictureLoader loader(baseDirectory);
    for (size_t i = 0; i < scenario.displays.size(); ++i) {
        log.attempt([&] {
            loadDisplayPicture(scenario.displays[i], loader,
                               indexed("scenario.displays", i) + ".contentImage");
        });
    }
    loadWindowPictures(scenario.windows, loader, "scenario.windows", log);
    for (size_t i = 0; i < scenario.installedApps.size(); ++i) {
        loadWindowPictures(scenario.installedApps[i].windows, loader,
                           indexed("scenario.installedApps", i) + ".windows", log);
    }
}

// Reads the whole scenario into `scenario`. What is read field by field comes first; the
// checks across the scenario (ids used twice, references, pictures) only once that was clean,
// since a part left out would make them report problems that are not there.
void readScenario(const Json& document, SimScenario& scenario, const std::string& baseDirectory,
                  ProblemLog& log) {
    ObjectReader reader(document, "scenario");
    readTopLevel(reader, scenario, baseDirectory, log);
    log.attempt([&] { reader.finish(); });
    if (!log.clean()) return;
    log.attempt([&] { checkDisplays(scenario.displays); });
    log.attempt([&] { checkApps(scenario); });
    log.attempt([&] { checkElementIds(scenario); });
    loadPictures(scenario, baseDirectory, log);
}

bool unreservedInURL(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~' || c == '/';
}

} // namespace

bool SimFaults::windowListFails(uint32_t option) const {
    return windowListAll || std::find(windowListOptions.begin(), windowListOptions.end(), option) !=
                                windowListOptions.end();
}

SimApp* SimScenario::app(int32_t pid) {
    auto found = std::find_if(apps.begin(), apps.end(),
                              [&](const SimApp& app) { return app.info.pid == pid; });
    return found == apps.end() ? nullptr : &*found;
}

const SimApp* SimScenario::app(int32_t pid) const {
    auto found = std::find_if(apps.begin(), apps.end(),
                              [&](const SimApp& app) { return app.info.pid == pid; });
    return found == apps.end() ? nullptr : &*found;
}

const SimDisplay* SimScenario::display(uint32_t id) const {
    for (const SimDisplay& display : displays) {
        if (display.id == id) return &display;
    }
    return nullptr;
}

const SimDisplay* SimScenario::mainDisplay() const {
    for (const SimDisplay& display : displays) {
        if (display.main) return &display;
    }
    return nullptr;
}

void SimScenario::indexElementIds() {
    elementIds.clear();
    for (const SimApp& app : apps) {
        for (uint32_t index = 0; index < app.tree.nodes.size(); ++index) {
            const std::string& id = app.tree.nodes[index].id;
            if (!id.empty()) elementIds[id] = SimNodeRef{app.info.pid, index};
        }
    }
}

SimScenarioLoad loadScenario(std::string_view text, const std::string& baseDirectory) {
    Json document = Json::parse(text.begin(), text.end(), nullptr, false);
    if (document.is_discarded()) return {std::nullopt, "the scenario is not valid JSON"};
    try {
        SimScenario scenario;
        ProblemLog firstProblem(false);
        readScenario(document, scenario, baseDirectory, firstProblem);
        for (SimApp& app : scenario.apps)
            deriveWindowFrames(app, scenario.windows);
        scenario.indexElementIds();
        return {std::move(scenario), ""};
    } catch (const ScenarioError& error) {
        return {std::nullopt, error.what()};
    }
}

SimScenarioCheck checkScenario(std::string_view text, const std::string& baseDirectory) {
    Json document;
    try {
        document = Json::parse(text.begin(), text.end());
    } catch (const Json::parse_error& error) {
        return {std::nullopt,
                {{"", "scenario",
                  "valid JSON (the text stops making sense at byte " + std::to_string(error.byte) +
                      ")"}}};
    } catch (const Json::out_of_range&) { // a number past what a double holds, such as 1e1111
        return {std::nullopt, {{"", "scenario", "valid JSON (a number is too large to hold)"}}};
    }
    SimScenario scenario;
    ProblemLog log(true);
    try {
        readScenario(document, scenario, baseDirectory, log);
    } catch (const ScenarioError&) { // the document itself is not an object
        return {std::nullopt, {{"", "scenario", "expected an object"}}};
    }
    std::vector<ScenarioProblem> problems;
    for (const ScenarioRefusal& refusal : log.take()) {
        problems.push_back(
            {scenarioPointer(document, refusal.path), refusal.path, refusal.problem});
    }
    if (!problems.empty()) return {std::nullopt, std::move(problems)};
    for (SimApp& app : scenario.apps)
        deriveWindowFrames(app, scenario.windows);
    scenario.indexElementIds();
    return {std::move(scenario), {}};
}

std::string fileURL(const std::string& path, bool directory) {
    if (path.rfind("file://", 0) == 0) return path;
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (unsigned char c : path) {
        if (unreservedInURL(c)) {
            url += static_cast<char>(c);
        } else {
            url += '%';
            url += hex[c >> 4];
            url += hex[c & 15];
        }
    }
    if (directory && url.back() != '/') url += '/';
    return url;
}

void deriveWindowFrames(SimApp& app, const std::vector<SimWindow>& windows) {
    for (SimNode& node : app.tree.nodes) {
        if (!node.windowNumber) continue;
        const SimWindow* window = findWindow(windows, *node.windowNumber);
        if (window && window->bounds && window->ownerPid == app.info.pid) {
            setFrame(node, *window->bounds);
        }
    }
}

} // namespace dorvex::platform::sim
