#pragma once

// The registry of script runs in progress, keyed by the id of the request that started each.
// Every run writes its script to a temporary file, runs the interpreter on it under the
// registry's one process loop (no thread of its own), removes the file, and hands the result
// to the caller's completion, on the loop's thread, before it leaves the registry.
#include "DorvexOS/ProcessLoop.h"
#include "DorvexOS/ProcessRunner.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace dorvex {

enum class ScriptRunStart { started, alreadyRunning, stopping };

// What a run produced: the interpreter's outcome, or nothing when the script file could not
// be written (then nothing was run).
struct ScriptRunResult {
    std::optional<ProcessOutcome> finished;

    bool writeFailed() const { return !finished.has_value(); }
};

class ScriptRuns {
public:
    using Completion = std::function<void(const ScriptRunResult&)>;

    static constexpr int64_t outputSettleMs = 500;

    ScriptRuns(std::string executablePath, std::filesystem::path directory,
               ProcessRunner::Timings timings = {});
    // Stops whatever still runs at once and waits for those runs' completions.
    ~ScriptRuns();
    ScriptRuns(const ScriptRuns&) = delete;
    ScriptRuns& operator=(const ScriptRuns&) = delete;

    // Returns at once, after writing the script file and starting the interpreter. Only when
    // the answer is `started` is the completion called, exactly once, from the loop's thread
    // (or at once, here, when the loop itself cannot be had). It must not block for long:
    // every run's supervision waits while it runs.
    ScriptRunStart start(const std::string& id, const std::string& script, int64_t timeoutMs,
                         Completion completion);
    // True when a run with this id was in progress and has been asked to stop; false also
    // once the run has finished and is being answered.
    bool cancel(const std::string& id);
    // Refuses every later start, stops every run at once (SIGKILL right after SIGTERM) and
    // waits until each has called its completion; false when that took longer than allowed.
    bool stopAll(std::chrono::steady_clock::duration waitingUpTo);

    // What the registry shares with its runs' threads; defined in the source.
    struct Entry;
    struct State;

private:
    std::shared_ptr<State> state_;
    // After state_: destroyed first, while the completions can still reach the registry.
    ProcessLoopThread loop_;
};

// The temporary file name of one run: "nubo-script-" + UUID + ".applescript".
std::string scriptFileName(const std::string& uuid);

} // namespace dorvex
