// Applications on Linux: the processes that own windows or speak AT-SPI, read from /proc.
#include "platform/linux/LinuxDesktop.h"
#include "platform/linux/ProcFiles.h"

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <set>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace dorvex::platform::linux_desktop {
namespace {

namespace fs = std::filesystem;

std::string baseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::optional<std::string> filePath(const std::string& url) {
    constexpr std::string_view scheme = "file://";
    if (url.rfind(scheme, 0) != 0 || url.find('%') != std::string::npos) return std::nullopt;
    return url.substr(scheme.size());
}

std::optional<std::string> inPath(const std::string& name) {
    if (name.empty() || name.find('/') != std::string::npos) return std::nullopt;
    const char* path = std::getenv("PATH");
    std::istringstream folders(path ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        const std::string candidate = folder + "/" + name;
        if (!folder.empty() && ::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return std::nullopt;
}

// The program a desktop entry runs, without its field codes (%f, %U, ...).
std::vector<std::string> desktopEntryCommand(const std::string& file) {
    std::ifstream entry(file);
    std::string line;
    while (std::getline(entry, line)) {
        if (line.rfind("Exec=", 0) != 0) continue;
        std::istringstream words(line.substr(5));
        std::vector<std::string> argv;
        std::string word;
        while (words >> word) {
            if (word.size() == 2 && word[0] == '%') continue;
            argv.push_back(word);
        }
        return argv;
    }
    return {};
}

// Starts a program in a session of its own, its standard streams on /dev/null (the driver's
// output carries protocol lines only); a thread reaps it when it ends.
std::optional<pid_t> spawnDetached(const std::vector<std::string>& argv) {
    if (argv.empty()) return std::nullopt;
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    for (int fd = 0; fd <= 2; ++fd) {
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY,
                                         0);
    }
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const int status = posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (status != 0) return std::nullopt;
    std::thread([pid] { ::waitpid(pid, nullptr, 0); }).detach();
    return pid;
}

const std::vector<std::string>& applicationFolders() {
    static const std::vector<std::string> folders = [] {
        std::vector<std::string> list = {"/usr/share/applications",
                                         "/usr/local/share/applications"};
        if (const char* home = std::getenv("HOME")) {
            list.push_back(std::string(home) + "/.local/share/applications");
        }
        return list;
    }();
    return folders;
}

} // namespace

RunningApplication LinuxDesktop::application(int32_t pid, const std::vector<XWindow>& windows,
                                             const std::vector<AtspiApplication>& registered,
                                             std::optional<int32_t> active) {
    RunningApplication app;
    app.pid = pid;
    std::optional<std::string> executable = proc::executable(pid);
    std::optional<std::string> command = proc::command(pid);
    bool hasWindow = false, anyViewable = false, anyNormal = false;
    for (const XWindow& window : windows) {
        if (window.pid != pid) continue;
        hasWindow = true;
        anyViewable = anyViewable || window.viewable;
        anyNormal = anyNormal || window.normal;
        if (!app.bundleIdentifier && window.applicationId) {
            app.bundleIdentifier = window.applicationId;
        }
    }
    if (!app.bundleIdentifier) {
        if (executable)
            app.bundleIdentifier = baseName(*executable);
        else
            app.bundleIdentifier = command;
    }
    for (const AtspiApplication& entry : registered) {
        if (entry.pid == pid && !entry.name.empty()) app.localizedName = entry.name;
    }
    if (!app.localizedName) app.localizedName = command;
    app.launchDate = proc::startTime(pid);
    app.isActive = active && *active == pid;
    app.isHidden = hasWindow && !anyViewable;
    app.activationPolicy = anyNormal ? ActivationPolicy::regular : ActivationPolicy::accessory;
    if (executable) app.executableURL = "file://" + *executable;
    return app;
}

std::vector<RunningApplication> LinuxDesktop::runningApplications() {
    const std::vector<XWindow> windows = x_.windows().value_or(std::vector<XWindow>{});
    const std::vector<AtspiApplication> registered = atspi_.applications();
    const std::optional<int32_t> active = x_.activePid();
    std::set<int32_t> pids;
    for (const XWindow& window : windows) {
        if (window.pid) pids.insert(*window.pid);
    }
    for (const AtspiApplication& entry : registered)
        pids.insert(entry.pid);
    std::vector<RunningApplication> apps;
    for (int32_t pid : pids) {
        if (proc::exists(pid)) apps.push_back(application(pid, windows, registered, active));
    }
    return apps;
}

std::optional<RunningApplication> LinuxDesktop::frontmostApplication() {
    std::optional<int32_t> active = x_.activePid();
    if (!active || !proc::exists(*active)) return std::nullopt;
    return application(*active, x_.windows().value_or(std::vector<XWindow>{}),
                       atspi_.applications(), active);
}

std::optional<std::string> LinuxDesktop::urlForApplication(const std::string& bundleId) {
    if (bundleId.empty() || bundleId.find('/') != std::string::npos) return std::nullopt;
    for (const std::string& folder : applicationFolders()) {
        const std::string entry = folder + "/" + bundleId + ".desktop";
        if (fs::is_regular_file(entry)) return "file://" + entry;
    }
    if (std::optional<std::string> program = inPath(bundleId)) return "file://" + *program;
    return std::nullopt;
}

void LinuxDesktop::openApplication(const std::string& url, bool,
                                   std::function<void(OpenApplicationResult)> completion) {
    std::optional<std::string> path = filePath(url);
    std::vector<std::string> argv;
    std::string bundleId;
    if (path && path->size() > 8 && path->ends_with(".desktop")) {
        argv = desktopEntryCommand(*path);
        bundleId = baseName(path->substr(0, path->size() - 8));
    } else if (path) {
        argv = {*path};
        bundleId = baseName(*path);
    }
    std::optional<pid_t> pid = spawnDetached(argv);
    if (!pid) {
        completion({std::nullopt, "The application at " + url + " could not be started."});
        return;
    }
    RunningApplication app;
    app.pid = *pid;
    app.bundleIdentifier = bundleId;
    app.localizedName = bundleId;
    completion({app, std::nullopt});
}

bool LinuxDesktop::openURL(const std::string& url) {
    std::optional<std::string> opener = inPath("xdg-open");
    return opener && spawnDetached({*opener, url}).has_value();
}

std::vector<RunningApplication>
LinuxDesktop::runningApplicationsWithBundleId(const std::string& bundleId) {
    std::vector<RunningApplication> apps = runningApplications();
    std::erase_if(apps,
                  [&](const RunningApplication& app) { return app.bundleIdentifier != bundleId; });
    return apps;
}

std::optional<RunningApplication> LinuxDesktop::runningApplicationWithPid(int32_t pid) {
    if (!proc::exists(pid)) return std::nullopt;
    return application(pid, x_.windows().value_or(std::vector<XWindow>{}), atspi_.applications(),
                       x_.activePid());
}

std::optional<std::string> LinuxDesktop::processExecutablePath(int32_t pid) {
    return proc::executable(pid);
}

} // namespace dorvex::platform::linux_desktop
