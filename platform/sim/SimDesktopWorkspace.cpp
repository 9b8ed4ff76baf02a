// The simulated desktop's permissions and workspace: running applications, launches, links.
#include "platform/sim/SimDesktop.h"

#include <algorithm>
#include <chrono>

namespace dorvex::platform::sim {
namespace {

constexpr int32_t firstLaunchPid = 1000;

double secondsSince1970() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

std::vector<RunningApplication> appInfos(const std::vector<SimApp>& apps) {
    std::vector<RunningApplication> infos;
    infos.reserve(apps.size());
    for (const SimApp& app : apps)
        infos.push_back(app.info);
    return infos;
}

} // namespace

// Permissions.

bool SimDesktop::preflightScreenCaptureAccess() {
    Call call(*this, "preflightScreenCaptureAccess");
    std::lock_guard lock(mutex_);
    return seesGranted(model_.permissions.screenCapture);
}

bool SimDesktop::requestScreenCaptureAccess() {
    Call call(*this, "requestScreenCaptureAccess");
    std::lock_guard lock(mutex_);
    return request(model_.permissions.screenCapture, "screenCapture");
}

bool SimDesktop::preflightListenEventAccess() {
    Call call(*this, "preflightListenEventAccess");
    std::lock_guard lock(mutex_);
    return seesGranted(model_.permissions.listenEvent);
}

bool SimDesktop::requestListenEventAccess() {
    Call call(*this, "requestListenEventAccess");
    std::lock_guard lock(mutex_);
    return request(model_.permissions.listenEvent, "listenEvent");
}

bool SimDesktop::preflightPostEventAccess() {
    Call call(*this, "preflightPostEventAccess");
    std::lock_guard lock(mutex_);
    return seesGranted(model_.permissions.postEvent);
}

bool SimDesktop::requestPostEventAccess() {
    Call call(*this, "requestPostEventAccess");
    std::lock_guard lock(mutex_);
    return request(model_.permissions.postEvent, "postEvent");
}

// A target without an entry may be automated; asking with a prompt takes the user's answer
// from the entry, and that answer stands from then on, as the system remembers it.
int32_t SimDesktop::determinePermissionToAutomate(int32_t pid, bool askUserIfNeeded) {
    Call call(*this, "determinePermissionToAutomate");
    constexpr int32_t processNotFound = -600;
    Json event;
    int32_t code = 0;
    {
        std::lock_guard lock(mutex_);
        const SimApp* app = model_.app(pid);
        if (!app) return processNotFound;
        auto entry = app->info.bundleIdentifier
                         ? model_.appleEvents.find(*app->info.bundleIdentifier)
                         : model_.appleEvents.end();
        if (entry != model_.appleEvents.end()) {
            if (askUserIfNeeded && entry->second.onPrompt)
                entry->second.code = *entry->second.onPrompt;
            code = entry->second.code;
        }
        if (!askUserIfNeeded) return code;
        event = Json{{"event", "automationPrompt"}, {"pid", pid}};
        if (app->info.bundleIdentifier) event["bundleId"] = *app->info.bundleIdentifier;
        event["result"] = code;
    }
    recorder_.recordEvent(std::move(event));
    return code;
}

// Workspace.

// The faults of this read wait on the condition, which releases the lock: a reload from the
// main thread can always get in, and wakes a hanging read.
std::vector<RunningApplication> SimDesktop::runningApplications() {
    Call call(*this, "runningApplications");
    std::unique_lock lock(mutex_);
    if (model_.faults.runningAppsDelayMs > 0) {
        changed_.wait_for(lock, std::chrono::milliseconds(model_.faults.runningAppsDelayMs),
                          [&] { return stopping_; });
    }
    if (model_.faults.runningAppsHang) waitForScenarioChange(lock);
    return appInfos(model_.apps);
}

// A hanging read ends with a reload, and also as soon as the scenario file differs from the one
// loaded: the driver may be waiting for this very read on the main thread, where reloads
// happen, so waiting for the reload itself could wait forever. The reload still happens only
// between requests.
void SimDesktop::waitForScenarioChange(std::unique_lock<std::mutex>& lock) {
    constexpr auto filePollInterval = std::chrono::milliseconds(20);
    uint64_t generation = generation_;
    auto changed = [&] { return stopping_ || generation_ != generation; };
    while (!changed()) {
        if (!options_.scenarioPath) {
            changed_.wait(lock, changed);
            break;
        }
        if (changed_.wait_for(lock, filePollInterval, changed)) break;
        std::optional<SimFileStamp> loaded = stamp_;
        lock.unlock();
        std::optional<SimFileStamp> current = statScenarioFile();
        lock.lock();
        if (current != loaded) break;
    }
}

std::optional<RunningApplication> SimDesktop::frontmostApplication() {
    Call call(*this, "frontmostApplication");
    std::lock_guard lock(mutex_);
    if (!model_.frontmostPid) return std::nullopt;
    const SimApp* app = model_.app(*model_.frontmostPid);
    if (!app) return std::nullopt;
    return app->info;
}

std::optional<std::string> SimDesktop::urlForApplication(const std::string& bundleId) {
    Call call(*this, "urlForApplication");
    std::lock_guard lock(mutex_);
    for (const SimInstalledApp& installed : model_.installedApps) {
        if (installed.app.info.bundleIdentifier == bundleId) return installed.bundleURL;
    }
    for (const SimApp& app : model_.apps) {
        if (app.info.bundleIdentifier == bundleId && app.info.bundleURL) return app.info.bundleURL;
    }
    return std::nullopt;
}

void SimDesktop::activate(int32_t pid) {
    for (SimApp& app : model_.apps) {
        app.info.isActive = app.info.pid == pid;
        if (app.info.isActive) app.info.isHidden = false;
    }
    model_.frontmostPid = pid;
}

SimApp& SimDesktop::startApp(const SimInstalledApp& installed) {
    SimApp app = installed.app;
    int32_t pid = app.info.pid;
    if (pid == 0 || model_.app(pid)) {
        pid = firstLaunchPid;
        for (const SimApp& running : model_.apps)
            pid = std::max(pid, running.info.pid + 1);
    }
    app.info.pid = pid;
    app.info.launchDate = secondsSince1970();
    app.info.isActive = false;
    std::vector<SimWindow> windows = installed.windows;
    for (SimWindow& window : windows)
        window.ownerPid = pid;
    model_.windows.insert(model_.windows.begin(), windows.begin(), windows.end());
    deriveWindowFrames(app, model_.windows);
    model_.apps.push_back(std::move(app));
    model_.indexElementIds();
    return model_.apps.back();
}

OpenApplicationResult SimDesktop::launch(const std::string& url, bool activates, Json& event) {
    const SimInstalledApp* installed = nullptr;
    for (const SimInstalledApp& candidate : model_.installedApps) {
        if (candidate.bundleURL == url) installed = &candidate;
    }
    const SimApp* running = nullptr;
    for (const SimApp& app : model_.apps) {
        bool sameBundle = installed && app.info.bundleIdentifier &&
                          app.info.bundleIdentifier == installed->app.info.bundleIdentifier;
        if (!running && (sameBundle || app.info.bundleURL == url)) running = &app;
    }
    if (!installed && !running) {
        return {std::nullopt, "The application at " + url + " could not be found."};
    }
    if (installed && installed->launchError) return {std::nullopt, *installed->launchError};
    int32_t pid = running ? running->info.pid : startApp(*installed).info.pid;
    event["launched"] = running == nullptr;
    if (activates) activate(pid);
    return {model_.app(pid)->info, std::nullopt};
}

void SimDesktop::openApplication(const std::string& url, bool activates,
                                 std::function<void(OpenApplicationResult)> completion) {
    Call call(*this, "openApplication");
    Json event{{"event", "launch"}, {"url", url}, {"activates", activates}};
    OpenApplicationResult result;
    int64_t delayMs = 0;
    bool completes = true;
    {
        std::lock_guard lock(mutex_);
        result = launch(url, activates, event);
        for (const SimInstalledApp& installed : model_.installedApps) {
            if (installed.bundleURL != url) continue;
            delayMs = installed.launchDelayMs;
            completes = installed.launchCompletes;
        }
    }
    if (result.app) {
        if (result.app->bundleIdentifier) event["bundleId"] = *result.app->bundleIdentifier;
        event["pid"] = result.app->pid;
    }
    if (result.error) event["error"] = *result.error;
    recorder_.recordEvent(std::move(event));
    if (completes && completion) deliverLater(std::move(completion), std::move(result), delayMs);
}

// The completion runs on a thread of its own, as the workspace's does, and is dropped when the
// desktop shuts down first.
void SimDesktop::deliverLater(std::function<void(OpenApplicationResult)> completion,
                              OpenApplicationResult result, int64_t delayMs) {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    completions_.emplace_back([this, completion = std::move(completion), result = std::move(result),
                               delayMs]() mutable {
        {
            std::unique_lock lock(mutex_);
            changed_.wait_for(lock, std::chrono::milliseconds(delayMs), [&] { return stopping_; });
            if (stopping_) return;
        }
        completion(std::move(result));
    });
}

bool SimDesktop::openURL(const std::string& url) {
    Call call(*this, "openURL");
    bool opened = !url.empty();
    {
        std::lock_guard lock(mutex_);
        for (const std::string& prefix : model_.refusedUrlPrefixes) {
            if (url.rfind(prefix, 0) == 0) opened = false;
        }
    }
    recorder_.recordEvent(Json{{"event", "openURL"}, {"url", url}, {"opened", opened}});
    return opened;
}

std::vector<RunningApplication>
SimDesktop::runningApplicationsWithBundleId(const std::string& bundleId) {
    Call call(*this, "runningApplicationsWithBundleId");
    std::lock_guard lock(mutex_);
    std::vector<RunningApplication> found;
    for (const SimApp& app : model_.apps) {
        if (app.info.bundleIdentifier == bundleId) found.push_back(app.info);
    }
    return found;
}

std::optional<RunningApplication> SimDesktop::runningApplicationWithPid(int32_t pid) {
    Call call(*this, "runningApplicationWithPid");
    std::lock_guard lock(mutex_);
    const SimApp* app = model_.app(pid);
    if (!app) return std::nullopt;
    return app->info;
}

std::optional<std::string> SimDesktop::processExecutablePath(int32_t pid) {
    Call call(*this, "processExecutablePath");
    std::lock_guard lock(mutex_);
    if (const SimApp* app = model_.app(pid)) return app->executablePath;
    auto process = model_.processPaths.find(pid);
    if (process == model_.processPaths.end()) return std::nullopt;
    return process->second;
}

std::string SimDesktop::platformName() {
    return "darwin"; // the simulated desktop is a macOS desktop
}

std::string SimDesktop::scriptInterpreterPath() {
    Call call(*this, "scriptInterpreterPath");
    std::lock_guard lock(mutex_);
    return model_.scriptInterpreterPath;
}

} // namespace dorvex::platform::sim
