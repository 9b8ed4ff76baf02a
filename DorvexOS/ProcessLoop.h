#pragma once

// One event loop for any number of child runs: it waits on every run's two output pipes, its
// exit and its deadlines at once, so a run costs descriptors and a little memory but no thread
// of its own and no polling while it sleeps. A child is spawned on the thread that starts it;
// everything after (time-out, cancellation, the stop sequence, reaping, collecting output) is
// done by whichever thread turns the loop, which also calls each run's completion.
#include "DorvexOS/ProcessRunner.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace dorvex {

struct ProcessSpec {
    std::string executablePath; // started by path, not searched in PATH
    std::vector<std::string> arguments;
    int64_t timeoutMs = 0;      // negative counts as 0
    int64_t outputSettleMs = 0; // negative counts as 0
};

using ProcessCompletion = std::function<void(ProcessOutcome)>;

class ProcessLoop {
public:
    using Clock = std::chrono::steady_clock;

    ProcessLoop(std::shared_ptr<ProcessControl> control, ProcessRunner::Timings timings);
    // Children still unanswered are killed and their completions dropped; children already
    // answered but not yet reaped are handed to a background reaper.
    ~ProcessLoop();
    ProcessLoop(const ProcessLoop&) = delete;
    ProcessLoop& operator=(const ProcessLoop&) = delete;

    // Makes the kernel queue; 0 or the error number.
    int open();

    // Any thread. Spawns the child now. The completion is called exactly once, by the loop's
    // turn, also when nothing could be started (the outcome then carries the start error) or
    // the token was cancelled before.
    void start(ProcessSpec spec, std::shared_ptr<ProcessCancellation> token,
               ProcessCompletion completion);
    // Any thread: every run is stopped at once (SIGTERM, then SIGKILL without the grace).
    void stopAll();
    // Any thread: makes the current or next turn return.
    void wake();

    // The loop's thread (one at a time): waits for events until the deadline at most (or the
    // loop's own next deadline), handles them and calls the completions that are due.
    void turn(std::optional<Clock::time_point> until = std::nullopt);
    // The loop's thread: no run is waiting for its answer.
    bool idle() const { return unanswered_ == 0 && inboxEmpty(); }

    // Defined in the source.
    struct Run;
    struct Mailbox;

private:
    bool inboxEmpty() const;
    void adoptStarted();
    void handleReady(uint64_t key);
    void handleCancellations();
    void handleTimers();
    void onExit(Run& run);
    void onTimer(Run& run, Clock::time_point now);
    void stop(Run& run, bool immediately);
    void killNow(Run& run);
    void reapNow(Run& run);
    void settle(Run& run);
    void answer(Run& run);
    void readFrom(Run& run, int stream);
    void closeStream(Run& run, int stream);
    void rearm(Run& run);
    void callCompletions();

    std::shared_ptr<ProcessControl> control_;
    ProcessRunner::Timings timings_;
    // What other threads touch (the queue's wake, the hand-over of started runs, the tokens'
    // wakes), shared with the tokens so a late cancel never reaches a loop that is gone.
    std::shared_ptr<Mailbox> mailbox_;

    // The loop's thread only.
    std::map<uint64_t, std::unique_ptr<Run>> runs_;
    std::set<std::pair<Clock::time_point, uint64_t>> timers_;
    std::vector<std::pair<ProcessCompletion, ProcessOutcome>> due_;
    std::vector<uint64_t> ready_;
    std::string readBuffer_; // one for all runs
    size_t unanswered_ = 0;
    bool stopEverything_ = false;
};

// A process loop turned by a thread of its own, made on first use: the one extra thread that
// all the runs of a registry share, whatever their number.
class ProcessLoopThread {
public:
    ProcessLoopThread(std::shared_ptr<ProcessControl> control, ProcessRunner::Timings timings);
    // Stops every run at once and waits for their completions, then ends the thread.
    ~ProcessLoopThread();
    ProcessLoopThread(const ProcessLoopThread&) = delete;
    ProcessLoopThread& operator=(const ProcessLoopThread&) = delete;

    // Any thread. When no loop or thread can be had, the completion is called at once, here,
    // with the start error.
    void start(ProcessSpec spec, std::shared_ptr<ProcessCancellation> token,
               ProcessCompletion completion);

private:
    int ensureRunning();

    std::shared_ptr<ProcessControl> control_;
    ProcessRunner::Timings timings_;
    std::mutex lock_; // guards the loop's creation
    std::unique_ptr<ProcessLoop> loop_;
    std::atomic<bool> closing_{false};
    std::thread thread_;
};

} // namespace dorvex
