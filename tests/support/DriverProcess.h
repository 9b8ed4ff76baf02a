#pragma once

// Starts the built driver as a child with pipes on its standard input and output, on a
// simulated desktop of the test's choosing, in a temporary directory of its own.
#include "platform/types/Json.h"
#include "support/TempDir.h"

#include <chrono>
#include <optional>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace dorvex::testing {

struct DriverOptions {
    std::string scenario; // scenario JSON text; empty means the built-in default desktop
    // Added to the environment; a TMPDIR here replaces the driver's own (its directory's tmp).
    std::vector<std::pair<std::string, std::string>> env;
    std::vector<std::string> args;
};

// Options that start the driver on the scenario given as JSON text.
inline DriverOptions onDesktop(std::string scenario) {
    DriverOptions options;
    options.scenario = std::move(scenario);
    return options;
}

class DriverProcess {
public:
    explicit DriverProcess(DriverOptions options = {});
    // Another executable that serves a driver (the MCP server), started the same way.
    DriverProcess(std::string executable, DriverOptions options);
    ~DriverProcess();
    DriverProcess(const DriverProcess&) = delete;
    DriverProcess& operator=(const DriverProcess&) = delete;

    void send(const std::string& line); // the line and a line feed
    void sendRaw(const std::string& bytes);
    // The next answer line, parsed; nothing when none came in time or it was not JSON.
    std::optional<Json> readLine(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // The next raw line, without its line feed.
    std::optional<std::string> readRawLine(std::chrono::milliseconds timeout);
    // Sends a request with a fresh id and returns its whole answer line (null on time-out).
    Json request(const std::string& method, Json params = Json::object());
    // "automation.execute" of one action; returns the answer's "result" (null on time-out).
    Json execute(Json action);

    void setScenario(const std::string& json);
    void closeInput();
    // The exit status, or 128 + the signal that ended it; nothing if it did not end in time.
    std::optional<int> waitExit(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    void kill(int signal);
    pid_t pid() const { return pid_; }

    const std::string& directory() const { return directory_; }
    std::string scenarioPath() const { return directory_ + "/scenario.json"; }
    std::vector<Json> eventLog() const;
    Json stats() const; // the simulated desktop's counters, written when the driver exits
    std::string standardError() const;

private:
    TempDir scratch_; // removed after the driver has ended
    std::string directory_ = scratch_.path().string();
    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    std::string buffered_;
    std::optional<int> status_;
    int nextId_ = 1;
};

// A scenario file's text from examples/scenarios.
std::string exampleScenario(const std::string& name);

} // namespace dorvex::testing
