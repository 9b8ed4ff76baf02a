#pragma once

// Runs one child program to completion with a time-out and cancellation, stops its whole
// process group by a fixed sequence when it must, and always reaps it. Only POSIX process
// control is used; the exit observation and the process-state query differ per operating
// system and live in ProcessControl_linux.cpp and ProcessControl_mac.cpp.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
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
};

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
// cleared; a request made before the run registers its wake semaphore is not lost.
class ProcessCancellation {
public:
    void cancel(bool immediately);
    void notify(std::shared_ptr<Semaphore> wake);
    bool isCancelled() const;
    bool isImmediate() const;

private:
    mutable std::mutex lock_;
    bool requested_ = false;
    bool immediate_ = false;
    std::shared_ptr<Semaphore> wake_;
};

// One non-blocking look at a child's exit status.
struct ExitPoll {
    enum class State { exited, running, interrupted, failed };
    State state = State::failed;
    int status = 0; // the raw wait status when exited
};

// How the runner controls processes, so the waiting logic can be driven without real exits.
class ProcessControl {
public:
    virtual ~ProcessControl() = default;
    // Returns only once the process has exited (it is not reaped).
    virtual void observeExit(pid_t pid) = 0;
    // waitpid with WNOHANG.
    virtual ExitPoll pollExit(pid_t pid) = 0;
    virtual void signalGroup(pid_t group, int signal) = 0;
};

class SystemProcessControl final : public ProcessControl {
public:
    void observeExit(pid_t pid) override;
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

// The stop sequence's waits; tests shorten them.
struct Timings {
    std::chrono::milliseconds killGrace = ProcessRunner::killGrace;
    std::chrono::milliseconds leaderExitCap = ProcessRunner::leaderExitCap;
    std::chrono::milliseconds reapCap = ProcessRunner::reapCap;
};

// Runs the program at executablePath (not searched in PATH) with the given arguments.
// Negative time-outs and settle times count as 0. Blocks the caller; never throws.
ProcessOutcome run(const std::string& executablePath, const std::vector<std::string>& arguments,
                   int64_t timeoutMs, int64_t outputSettleMs,
                   const std::shared_ptr<ProcessCancellation>& cancellation);

ProcessOutcome run(const std::string& executablePath, const std::vector<std::string>& arguments,
                   int64_t timeoutMs, int64_t outputSettleMs,
                   const std::shared_ptr<ProcessCancellation>& cancellation,
                   std::shared_ptr<ProcessControl> control, const Timings& timings = {});

// Bytes as UTF-8 text, each maximal ill-formed subsequence replaced by U+FFFD.
std::string decodeUTF8(std::string_view bytes);

} // namespace ProcessRunner
} // namespace dorvex
