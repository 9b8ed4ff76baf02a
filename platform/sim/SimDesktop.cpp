// The simulated desktop's life cycle, scenario reloads and accessibility calls.
#include "platform/sim/SimDesktop.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace dorvex::platform::sim {
namespace {

// What an Element handed out by the simulated desktop holds. Handles carry the model
// generation they were made in, so a reload leaves them naming nothing.
struct SimHandle {
    enum class Kind : uint8_t { node, systemWide, noApplication };
    Kind kind = Kind::node;
    const SimDesktop* owner = nullptr; // another desktop's handles name nothing here
    uint64_t generation = 0;
    int32_t pid = 0;
    uint32_t index = 0;
};

const SimHandle* handleOf(const Element& element) {
    return static_cast<const SimHandle*>(element.raw());
}

Element makeElement(SimHandle handle) {
    return Element(std::make_shared<const SimHandle>(handle));
}

constexpr size_t maxTimeoutsKept = 256;
constexpr off_t maxScenarioBytes = 64 << 20;

std::optional<std::string> readWhole(std::FILE* file, off_t size) {
    if (size < 0 || size > maxScenarioBytes) return std::nullopt;
    std::string text(static_cast<size_t>(size), '\0');
    text.resize(std::fread(text.data(), 1, text.size(), file));
    return text;
}

// Linux names the modification time st_mtim, macOS st_mtimespec.
template <typename Stat> timespec modificationTime(const Stat& info) {
    if constexpr (requires { info.st_mtim; }) {
        return info.st_mtim;
    } else {
        return info.st_mtimespec;
    }
}

SimFileStamp stampOf(const struct stat& info) {
    const timespec modified = modificationTime(info);
    return {info.st_dev, info.st_ino, info.st_size, static_cast<int64_t>(modified.tv_sec),
            static_cast<int64_t>(modified.tv_nsec)};
}

} // namespace

SimDesktop::Call::Call(SimDesktop& desktop, const char* name, Kind kind) : desktop_(desktop) {
    {
        std::lock_guard lock(desktop_.mutex_);
        ++desktop_.activeCalls_;
    }
    // Counted once it is under way, so a counted call is one the destructor will wait for.
    desktop_.recorder_.countCall(name, kind == Kind::local);
    if (kind == Kind::local) return;
    if (int64_t latency = desktop_.latencyUs_.load(); latency > 0) {
        std::this_thread::sleep_for(std::chrono::microseconds(latency));
    }
}

SimDesktop::Call::~Call() {
    std::lock_guard lock(desktop_.mutex_);
    if (--desktop_.activeCalls_ == 0) desktop_.idle_.notify_all();
}

namespace {

std::string baseDirectoryOf(const SimOptions& options) {
    if (options.baseDirectory) return *options.baseDirectory;
    std::error_code error;
    std::filesystem::path directory = std::filesystem::current_path(error);
    if (options.scenarioPath) {
        directory = std::filesystem::absolute(*options.scenarioPath, error).parent_path();
    }
    return error ? std::string("/") : directory.string();
}

} // namespace

SimDesktop::SimDesktop(SimOptions options)
    : options_(std::move(options)), recorder_(options_.eventLogPath),
      baseDirectory_(baseDirectoryOf(options_)) {
    loadInitialScenario();
}

SimDesktop::~SimDesktop() {
    std::vector<std::thread> completions;
    {
        std::unique_lock lock(mutex_);
        stopping_ = true;
        changed_.notify_all();
        // Reads parked on other threads (a hanging running-app read) return at once now; wait
        // until they have left before the model goes away.
        idle_.wait(lock, [&] { return activeCalls_ == 0; });
        completions.swap(completions_);
    }
    for (std::thread& thread : completions)
        thread.join();
    if (options_.statsPath) recorder_.writeStats(*options_.statsPath);
}

void SimDesktop::loadInitialScenario() {
    if (options_.scenarioPath) {
        checkScenarioFile();
    } else if (options_.scenario) {
        reload(*std::exchange(options_.scenario, std::nullopt));
    } else {
        reloadFromText(options_.scenarioText);
    }
}

bool SimDesktop::reloadFromText(std::string_view text) {
    // Pictures are read here, before the lock: decoding a screen-sized PNG takes a while.
    SimScenarioLoad load = loadScenario(text, baseDirectory_);
    std::lock_guard lock(mutex_);
    if (!load.scenario) {
        lastLoadError_ = load.error;
        return false;
    }
    install(std::move(*load.scenario));
    return true;
}

void SimDesktop::reload(SimScenario scenario) {
    std::lock_guard lock(mutex_);
    install(std::move(scenario));
}

void SimDesktop::install(SimScenario scenario) {
    model_ = std::move(scenario);
    startModel_ = generation_ == 1;
    ++generation_;
    pressed_.reset();
    lastLoadError_.reset();
    latencyUs_ = options_.latencyUs.value_or(model_.latencyUs);
    changed_.notify_all();
}

// Size, nanosecond modification time and inode together notice an edit in place as well as a
// replacement by rename; the file is parsed only when one of them moved.
void SimDesktop::checkScenarioFile() {
    File file(std::fopen(options_.scenarioPath->c_str(), "re"));
    struct stat info {};
    if (!file || ::fstat(::fileno(file.get()), &info) != 0) {
        std::lock_guard lock(mutex_);
        stamp_.reset(); // a file that comes back is read again
        if (generation_ == 1) lastLoadError_ = "the scenario file cannot be read";
        return;
    }
    SimFileStamp stamp = stampOf(info);
    {
        std::lock_guard lock(mutex_);
        if (stamp_ == stamp) return;
        stamp_ = stamp;
    }
    std::optional<std::string> text = readWhole(file.get(), info.st_size);
    if (!text) {
        std::lock_guard lock(mutex_);
        lastLoadError_ = "the scenario file is too large";
        return;
    }
    reloadFromText(*text);
}

std::optional<SimFileStamp> SimDesktop::statScenarioFile() const {
    struct stat info {};
    if (::stat(options_.scenarioPath->c_str(), &info) != 0) return std::nullopt;
    return stampOf(info);
}

std::optional<std::string> SimDesktop::lastLoadError() const {
    std::lock_guard lock(mutex_);
    return lastLoadError_;
}

std::vector<SimMessagingTimeout> SimDesktop::messagingTimeouts() const {
    std::lock_guard lock(mutex_);
    return timeouts_;
}

bool SimDesktop::runMainRunLoopOnce() {
    Call call(*this, "runMainRunLoopOnce");
    if (options_.scenarioPath) checkScenarioFile();
    return false;
}

SimDesktop::Target SimDesktop::resolve(const Element& element) {
    const SimHandle* handle = handleOf(element);
    if (!handle) return {nullptr, 0, false, axerr::illegalArgument};
    if (handle->owner != this) return {nullptr, 0, false, axerr::invalidUIElement};
    if (handle->kind == SimHandle::Kind::systemWide) return {nullptr, 0, true, axerr::success};
    if (handle->generation != generation_ || handle->kind == SimHandle::Kind::noApplication) {
        return {nullptr, 0, false, axerr::invalidUIElement};
    }
    SimApp* app = model_.app(handle->pid);
    if (!app || handle->index >= app->tree.nodes.size()) {
        return {nullptr, 0, false, axerr::invalidUIElement};
    }
    return {app, handle->index, false, axerr::success};
}

Element SimDesktop::elementFor(SimNodeRef ref) const {
    return makeElement({SimHandle::Kind::node, this, generation_, ref.pid, ref.index});
}

AXValue SimDesktop::toAXValue(const SimValue& value) const {
    struct Convert {
        const SimDesktop& desktop;
        AXValue operator()(std::monostate) const { return {}; }
        AXValue operator()(const std::string& text) const { return {text}; }
        AXValue operator()(const AXNumber& number) const { return {number}; }
        AXValue operator()(const Point& point) const { return {point}; }
        AXValue operator()(const Size& size) const { return {size}; }
        AXValue operator()(const AXOtherType& other) const { return {other}; }
        AXValue operator()(const SimNodeRef& ref) const { return {desktop.elementFor(ref)}; }
        AXValue operator()(const SimElementId& id) const {
            auto found = desktop.model_.elementIds.find(id.id);
            if (found == desktop.model_.elementIds.end()) return {}; // not launched yet
            return {desktop.elementFor(found->second)};
        }
        AXValue operator()(const SimValueList& list) const {
            AXValueList converted;
            converted.reserve(list.size());
            for (const SimValue& item : list)
                converted.push_back(desktop.toAXValue(item));
            return {std::move(converted)};
        }
    };
    return std::visit(Convert{*this}, value.value);
}

SimElementLabel SimDesktop::labelOf(const SimApp& app, uint32_t index) const {
    const SimNode& node = app.tree.nodes[index];
    return {app.info.pid,
            node.id,
            stringAttribute(node, "AXRole").value_or(""),
            stringAttribute(node, "AXSubrole").value_or(""),
            stringAttribute(node, "AXIdentifier").value_or(""),
            stringAttribute(node, "AXTitle").value_or("")};
}

bool SimDesktop::seesGranted(const SimPermission& permission) const {
    return permission.granted && (!permission.needsRestart || startModel_);
}

bool SimDesktop::request(SimPermission& permission, const char* name) {
    if (!seesGranted(permission) && permission.grantOnRequest) {
        permission.granted = true;
        permission.needsRestart = false;
    }
    const bool granted = seesGranted(permission);
    recorder_.recordEvent(
        Json{{"event", "permissionRequest"}, {"permission", name}, {"granted", granted}});
    return granted;
}

bool SimDesktop::isProcessTrusted() {
    Call call(*this, "isProcessTrusted");
    std::lock_guard lock(mutex_);
    return seesGranted(model_.permissions.accessibility);
}

bool SimDesktop::isProcessTrustedWithPrompt() {
    Call call(*this, "isProcessTrustedWithPrompt");
    std::lock_guard lock(mutex_);
    return request(model_.permissions.accessibility, "accessibility");
}

Element SimDesktop::createApplicationElement(int32_t pid) {
    Call call(*this, "createApplicationElement", Call::Kind::local);
    std::lock_guard lock(mutex_);
    if (!model_.app(pid)) {
        return makeElement({SimHandle::Kind::noApplication, this, generation_, pid, 0});
    }
    return elementFor({pid, 0});
}

Element SimDesktop::createSystemWideElement() {
    Call call(*this, "createSystemWideElement", Call::Kind::local);
    // The one system-wide element outlives reloads, so every handle to it is the same.
    return makeElement({SimHandle::Kind::systemWide, this, 0, 0, 0});
}

SimDesktop::SimHit SimDesktop::hitNode(std::optional<int32_t> onlyPid, Point point) const {
    for (const SimHitRegion& region : model_.hitRegions) {
        if (!contains(region.rect, point)) continue;
        if (!region.elementId) return {region.error, std::nullopt};
        auto found = model_.elementIds.find(*region.elementId);
        if (found == model_.elementIds.end()) return {axerr::cannotComplete, std::nullopt};
        return {axerr::success, found->second};
    }
    const SimWindow* window = windowAt(model_.windows, point, onlyPid);
    if (!window) return {axerr::noValue, std::nullopt};
    const SimApp* app = nullptr;
    if (window->ownerPid && *window->ownerPid >= 1 && *window->ownerPid <= INT32_MAX) {
        app = model_.app(static_cast<int32_t>(*window->ownerPid));
    }
    if (!app) return {axerr::cannotComplete, std::nullopt};
    std::optional<uint32_t> axWindow;
    if (window->number) axWindow = nodeWithWindowNumber(app->tree, *window->number);
    if (!axWindow) return {axerr::success, SimNodeRef{app->info.pid, 0}};
    return {axerr::success, SimNodeRef{app->info.pid, deepestAt(app->tree, *axWindow, point)}};
}

AXElementResult SimDesktop::copyElementAtPosition(const Element& root, Point point) {
    Call call(*this, "copyElementAtPosition");
    std::lock_guard lock(mutex_);
    Target target = resolve(root);
    if (target.code != axerr::success) return {target.code, {}};
    SimHit hit = hitNode(
        target.systemWide ? std::nullopt : std::optional<int32_t>(target.app->info.pid), point);
    if (!hit.node) return {hit.code, {}};
    return {hit.code, elementFor(*hit.node)};
}

AXPidResult SimDesktop::elementPid(const Element& element) {
    Call call(*this, "elementPid", Call::Kind::local);
    // Like the real call, the pid is part of the reference and outlives the element.
    const SimHandle* handle = handleOf(element);
    if (!handle || handle->kind == SimHandle::Kind::systemWide) {
        return {axerr::illegalArgument, 0};
    }
    return {axerr::success, handle->pid};
}

int32_t SimDesktop::setMessagingTimeout(const Element& element, double seconds) {
    Call call(*this, "setMessagingTimeout", Call::Kind::local);
    std::lock_guard lock(mutex_);
    Target target = resolve(element);
    if (target.code != axerr::success) return target.code;
    if (!(seconds >= 0)) return axerr::illegalArgument;
    std::string name = "systemWide";
    if (!target.systemWide) {
        SimElementLabel label = labelOf(*target.app, target.index);
        name = std::to_string(label.pid) + "/" + label.role + "/" + label.title;
    }
    if (timeouts_.size() == maxTimeoutsKept) timeouts_.erase(timeouts_.begin());
    timeouts_.push_back({std::move(name), seconds});
    return axerr::success;
}

AXAttributeResult SimDesktop::systemWideAttribute(const std::string& attribute) {
    if (attribute == "AXRole") return {axerr::success, {std::string("AXSystemWide")}};
    if (attribute == "AXFocusedApplication") {
        if (!model_.frontmostPid || !model_.app(*model_.frontmostPid)) {
            return {axerr::noValue, {}};
        }
        return {axerr::success, {elementFor({*model_.frontmostPid, 0})}};
    }
    if (attribute == "AXFocusedUIElement") {
        const SimApp* front = model_.frontmostPid ? model_.app(*model_.frontmostPid) : nullptr;
        if (!front || !front->tree.focus) return {axerr::noValue, {}};
        return {axerr::success, {elementFor({front->info.pid, *front->tree.focus})}};
    }
    return {axerr::attributeUnsupported, {}};
}

AXAttributeResult SimDesktop::copyAttributeValue(const Element& element,
                                                 const std::string& attribute) {
    Call call(*this, "copyAttributeValue");
    std::lock_guard lock(mutex_);
    Target target = resolve(element);
    if (target.code != axerr::success) return {target.code, {}};
    if (target.systemWide) return systemWideAttribute(attribute);
    if (attribute == "AXValue") recorder_.countValueRead(labelOf(*target.app, target.index));
    SimAttributeRead read =
        readAttribute(target.app->tree, target.app->info.pid, target.index, attribute);
    return {read.code, toAXValue(read.value)};
}

AXAttributesResult
SimDesktop::copyMultipleAttributeValues(const Element& element,
                                        const std::vector<std::string>& attributes) {
    Call call(*this, "copyMultipleAttributeValues");
    std::lock_guard lock(mutex_);
    Target target = resolve(element);
    if (target.code != axerr::success) return {target.code, {}};
    AXAttributesResult result{axerr::success, {}};
    result.values.reserve(attributes.size());
    for (const std::string& attribute : attributes) {
        if (target.systemWide) {
            result.values.push_back(systemWideAttribute(attribute));
            continue;
        }
        if (attribute == "AXValue") recorder_.countValueRead(labelOf(*target.app, target.index));
        SimAttributeRead read =
            readAttribute(target.app->tree, target.app->info.pid, target.index, attribute);
        result.values.push_back({read.code, toAXValue(read.value)});
    }
    return result;
}

AXNamesResult SimDesktop::copyAttributeNames(const Element& element) {
    Call call(*this, "copyAttributeNames");
    std::lock_guard lock(mutex_);
    Target target = resolve(element);
    if (target.code != axerr::success) return {target.code, {}};
    if (target.systemWide) {
        return {axerr::success, {"AXRole", "AXFocusedApplication", "AXFocusedUIElement"}};
    }
    return attributeNames(target.app->tree, target.index);
}

int32_t SimDesktop::performAction(const Element& element, const std::string& action) {
    Call call(*this, "performAction");
    Json event{{"event", "action"}};
    int32_t code = axerr::actionUnsupported;
    {
        std::lock_guard lock(mutex_);
        Target target = resolve(element);
        if (target.code != axerr::success || target.systemWide) {
            code = target.systemWide ? axerr::actionUnsupported : target.code;
            if (const SimHandle* handle = handleOf(element)) event["pid"] = handle->pid;
        } else {
            code = sim::performAction(target.app->tree, target.index, action);
            event.update(labelFields(labelOf(*target.app, target.index)));
            SimTree& tree = target.app->tree;
            if (code == axerr::success && action == "AXPress" &&
                acceptsText(tree.nodes[target.index])) {
                tree.focus = target.index;
            }
        }
    }
    event["action"] = action;
    event["result"] = code;
    recorder_.recordEvent(std::move(event));
    return code;
}

int32_t SimDesktop::setStringAttribute(const Element& element, const std::string& attribute,
                                       const std::string& value) {
    Call call(*this, "setStringAttribute");
    Json event{{"event", "setValue"}};
    int32_t code = axerr::failure;
    bool secret = true; // nothing is known about an element that cannot be resolved
    {
        std::lock_guard lock(mutex_);
        Target target = resolve(element);
        if (target.code != axerr::success || target.systemWide) {
            code = target.systemWide ? axerr::attributeUnsupported : target.code;
            if (const SimHandle* handle = handleOf(element)) event["pid"] = handle->pid;
        } else {
            secret = touchesSecureText(target.app->tree, target.index);
            event.update(labelFields(labelOf(*target.app, target.index)));
            code = sim::setStringAttribute(target.app->tree, target.index, attribute, value);
        }
    }
    event["attribute"] = attribute;
    if (secret) {
        // A secure field's text never reaches the log, only how long it was.
        event["secure"] = true;
        event["length"] = codePointCount(value);
    } else {
        event["value"] = value;
    }
    event["result"] = code;
    recorder_.recordEvent(std::move(event));
    return code;
}

bool SimDesktop::sameElement(const Element& a, const Element& b) {
    Call call(*this, "sameElement", Call::Kind::local);
    const SimHandle* left = handleOf(a);
    const SimHandle* right = handleOf(b);
    if (!left || !right) return false;
    return left->kind == right->kind && left->owner == right->owner &&
           left->generation == right->generation && left->pid == right->pid &&
           left->index == right->index;
}

bool SimDesktop::hasWindowNumberFunction() {
    Call call(*this, "hasWindowNumberFunction", Call::Kind::local);
    std::lock_guard lock(mutex_);
    return model_.hasWindowNumberFunction;
}

AXWindowNumberResult SimDesktop::elementWindowNumber(const Element& element) {
    Call call(*this, "elementWindowNumber");
    std::lock_guard lock(mutex_);
    if (!model_.hasWindowNumberFunction) return {axerr::notImplemented, 0};
    Target target = resolve(element);
    if (target.code != axerr::success) return {target.code, 0};
    if (target.systemWide) return {axerr::failure, 0};
    const SimNode& node = target.app->tree.nodes[target.index];
    if (node.error) return {*node.error, 0};
    if (!node.windowNumber) return {axerr::failure, 0};
    return {axerr::success, *node.windowNumber};
}

} // namespace dorvex::platform::sim
