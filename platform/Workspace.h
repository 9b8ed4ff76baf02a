#pragma once

// The workspace and processes (AppKit's NSWorkspace and NSRunningApplication), the main run
// loop, and the program that runs scripts.
#include "platform/types/Workspace.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace dorvex::platform {

class Workspace {
public:
    virtual ~Workspace() = default;

    // Must be safe to call from another thread: the driver reads it on a worker.
    virtual std::vector<RunningApplication> runningApplications() = 0;
    virtual std::optional<RunningApplication> frontmostApplication() = 0;
    virtual std::optional<std::string> urlForApplication(const std::string& bundleId) = 0;
    // The completion may run on another thread, once.
    virtual void openApplication(const std::string& url, bool activates,
                                 std::function<void(OpenApplicationResult)> completion) = 0;
    virtual bool openURL(const std::string& url) = 0;
    virtual std::vector<RunningApplication>
    runningApplicationsWithBundleId(const std::string& bundleId) = 0;
    virtual std::optional<RunningApplication> runningApplicationWithPid(int32_t pid) = 0;
    // The executable file of a process (proc_pidpath); nothing when it cannot be read.
    virtual std::optional<std::string> processExecutablePath(int32_t pid) = 0;

    // The main thread's run loop: one zero-time pass; true when it handled a source.
    virtual bool runMainRunLoopOnce() = 0;

    // The program that runs a script file given as its only argument.
    virtual std::string scriptInterpreterPath() = 0;

    // The operating system this desktop is, as "system.ping" reports it ("darwin", "linux").
    virtual std::string platformName() = 0;
};

} // namespace dorvex::platform
