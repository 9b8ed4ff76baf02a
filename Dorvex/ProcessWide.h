#pragma once

// What the whole process shares, made once by main and handed to the driver (tests make a
// fresh one each): the transport and its output lock, the app inventory, the script registry,
// and the settings read once at start-up.
#include "Dorvex/Transport.h"
#include "DorvexOS/BoundedRead.h"
#include "DorvexOS/ScriptRuns.h"
#include "platform/Workspace.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace dorvex {

inline constexpr int64_t appInventoryTimeoutMs = 5000;

struct ProcessSettings {
    std::string interpreterPath;            // runs each script file
    std::filesystem::path scriptDirectory;  // where script files are written
    std::filesystem::path captureDirectory; // where capture files go
    // How long "desktop_list_apps" waits for the running-application list.
    int64_t appInventoryTimeoutMs = dorvex::appInventoryTimeoutMs;
    ProcessRunner::Timings scriptTimings;
    // The driver's own executable, started as the fresh screen-capture probe; none: no probe.
    std::optional<std::string> ownExecutablePath;

    // The binding's interpreter; the user's temporary directory; DORVEX_APP_INVENTORY_TIMEOUT_MS
    // when it holds a whole number of milliseconds from 0 to 600000 (tests shorten the wait);
    // this process's executable.
    static ProcessSettings fromEnvironment(platform::Workspace& workspace);
};

// The app-inventory time-out DORVEX_APP_INVENTORY_TIMEOUT_MS asks for, when it is valid.
int64_t appInventoryTimeoutFrom(const char* environmentValue);

using AppInventory = BoundedRead<std::vector<platform::RunningApplication>>;

class ProcessWide {
public:
    ProcessWide(std::shared_ptr<Transport> transport, ProcessSettings settings);
    ProcessWide(const ProcessWide&) = delete;
    ProcessWide& operator=(const ProcessWide&) = delete;

    const ProcessSettings settings;
    // Shared with the replies of deferred answers, which may outlive a request.
    const std::shared_ptr<Transport> transport;
    // At most 3 callers turned away as busy; stuck after 60 seconds.
    AppInventory appInventory;
    // Shared with the SIGTERM watcher.
    const std::shared_ptr<ScriptRuns> scripts;

    Reply replyTo(std::string id) const { return Reply(transport, std::move(id)); }
};

} // namespace dorvex
