#pragma once

// Runs child programs with a time-out and cancellation, stops a child's whole process group by
// a fixed sequence when it must, and always reaps it. Any number of runs share one event loop
// (ProcessLoop.h) that waits on every run's pipes and exit at once; `ProcessRunner::run` is
// the blocking form, turning a loop of its own on the caller's thread. Only POSIX process
// control is used; what differs per operating system lives in the _linux and _mac files.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <spawn.h>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace dorvex {

// What a child run produced.
struct ProcessOutcome {
    bool completed = false; // exited by itself before the time-out and any cancellation
    bool cancelled = false; // a cancellation request was seen
    int32_t exitCode = -1;  // exit value, or the terminating signal, or -1 without a status
    std::string stdoutText; // decoded as UTF-8, invalid sequences replaced by U+FFFD
    std::string stderrText; // the same, or the runner's own message when it could not finish
    // Bytes read past the kept maximum of each stream and dropped; 0 when kept whole.
    uint64_t stdoutDroppedBytes = 0;
    uint64_t stderrDroppedBytes = 0;
    // The error number when the child was never started (or was stopped at once because it
    // could not be watched); stderrText then says what failed.
    std::optional<int> startError;
};

// True for the errors that mean the system ran out of something (descriptors, processes,
// memory) rather than that the program cannot be run.
bool isResourceShortage(int error);

// A counting semaphore whose waits take a deadline.
class Semaphore {
public:
    void signal();
    bool tryWait();
    // True when a count was taken before the deadline.
    bool waitUntil(std::chrono::steady_clock::time_point deadline);

private:
    std::mutex lock_;
    std::condition_variable changed_;
    int64_t count_ = 0;
};

// A thread-safe cancellation token shared by the caller and one run. Requests are never
// cleared; a request made before the run registers its wake is not lost.
class ProcessCancellation {
public:
    using Wake = std::function<void()>;

    void cancel(bool immediately);
    // The run's wake, called (outside the token's lock) on every later request, and at once
    // when a request came before.
    void notify(Wake wake);
    bool isCancelled() const;
    bool isImmediate() const;

private:
    mutable std::mutex lock_;
    bool requested_ = false;
    bool immediate_ = false;
    Wake wake_;
};

// One non-blocking look at a child's exit status.
struct ExitPoll {
    enum class State { exited, running, interrupted, failed };
    State state = State::failed;
    int status = 0; // the raw wait status when exited
};

// How the runner reaps and signals, so tests can make a child that does not die or whose status
// cannot be had. The exit itself is seen by the event loop.
class ProcessControl {
public:
    virtual ~ProcessControl() = default;
    // waitpid with WNOHANG.
    virtual ExitPoll pollExit(pid_t pid) = 0;
    virtual void signalGroup(pid_t group, int signal) = 0;
};

class SystemProcessControl final : public ProcessControl {
public:
    ExitPoll pollExit(pid_t pid) override;
    void signalGroup(pid_t group, int signal) override;
};

// True when the process is gone or a zombie; false while it runs or when the query fails.
bool hasExited(pid_t pid);

// Makes a spawned child inherit no descriptor beyond those the file actions set up.
// Returns 0 or an error number.
int closeOtherDescriptorsOnSpawn(posix_spawn_file_actions_t& actions, short& flags);

namespace ProcessRunner {

inline constexpr std::chrono::milliseconds killGrace{2000};
inline constexpr std::chrono::milliseconds leaderExitCap{5000};
inline constexpr std::chrono::milliseconds reapCap{5000};
inline constexpr std::string_view leaderDidNotExitMessage =
    "The process did not exit after it was stopped; it is reaped in the background.";

// What is kept of each output stream; the rest is read and dropped, so a child that keeps
// printing never blocks on a full pipe and never grows the driver.
inline constexpr size_t maxKeptOutputBytes = size_t{4} * 1024 * 1024;

// The stop sequence's waits and the output kept; tests shorten them.
struct Timings {
    std::chrono::milliseconds killGrace = ProcessRunner::killGrace;
    std::chrono::milliseconds leaderExitCap = ProcessRunner::leaderExitCap;
    std::chrono::milliseconds reapCap = ProcessRunner::reapCap;
    size_t keptOutputBytes = maxKeptOutputBytes;
};

// Runs the program at executablePath (not searched in PATH) with the given arguments.
// Negative time-outs and settle times count as 0. Blocks the caller, whose thread turns an
// event loop of its own; never throws.
ProcessOutcome run(const std::string& executablePath, const std::vector<std::string>& arguments,
                   int64_t timeoutMs, int64_t outputSettleMs,
                   const std::shared_ptr<ProcessCancellation>& cancellation);

ProcessOutcome run(const std::string& executablePath, const std::vector<std::string>& arguments,
                   int64_t timeoutMs, int64_t outputSettleMs,
                   const std::shared_ptr<ProcessCancellation>& cancellation,
                   std::shared_ptr<ProcessControl> control, const Timings& timings = {});

// Bytes as UTF-8 text, each maximal ill-formed subsequence replaced by U+FFFD.
std::string decodeUTF8(std::string_view bytes);
// The same for a stream cut at the kept maximum: a character split by the cut is left out
// instead of becoming a replacement mark.
std::string decodeCutUTF8(std::string_view bytes);

} // namespace ProcessRunner
} // namespace dorvex
