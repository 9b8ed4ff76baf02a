// The event loop of child runs. Each run moves through phases: running until its exit, its
// deadline or a cancellation; then the stop sequence (SIGTERM to the group, a grace cut short
// by the exit or an immediate cancel, SIGKILL to the group, a capped wait for the leader);
// reaping (a capped series of non-blocking waits); settling (up to the settle time for the
// pipes to end); answered. An answered run stays only while a grandchild still holds its pipes
// (read and dropped) or its child is still to be reaped.
#include "DorvexOS/ProcessLoop.h"

#include "DorvexOS/EventPoller.h"
#include "DorvexOS/FileDescriptor.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

extern "C" char** environ;

namespace dorvex {
namespace {

using Clock = ProcessLoop::Clock;
using namespace std::chrono_literals;

constexpr size_t pipeReadSize = 65536;
constexpr auto reapPollInterval = 10ms;
constexpr auto backgroundReapInterval = 100ms;
// Only for a child whose exit the kernel cannot report (no process descriptors).
constexpr auto fallbackExitPollInterval = 50ms;
// Longer waits than this are treated as this, so a huge time-out cannot overflow the clock.
constexpr int64_t longestWaitMs = int64_t{365} * 24 * 3600 * 1000;

enum Kind : uint64_t { exitKind = 1, stdoutKind = 2, stderrKind = 3 };

uint64_t keyOf(uint64_t id, Kind kind) {
    return (id << 2) | kind;
}

Clock::time_point deadlineAfter(Clock::time_point from, int64_t ms) {
    return from + std::chrono::milliseconds(std::clamp<int64_t>(ms, 0, longestWaitMs));
}

struct Pipe {
    FileDescriptor read;
    FileDescriptor write;
};

// Returns 0 or the error number.
int openPipe(Pipe& pipe) {
    int ends[2];
    if (::pipe(ends) != 0) return errno;
    pipe.read = FileDescriptor(ends[0]);
    pipe.write = FileDescriptor(ends[1]);
    // The driver's end must not leak into any child (the child's end is dup'ed onto 1 or 2),
    // and the loop must never block on it.
    ::fcntl(ends[0], F_SETFD, FD_CLOEXEC);
    ::fcntl(ends[1], F_SETFD, FD_CLOEXEC);
    ::fcntl(ends[0], F_SETFL, ::fcntl(ends[0], F_GETFL) | O_NONBLOCK);
    return 0;
}

// The spawn attributes and file actions, destroyed whatever happens.
class SpawnSettings {
public:
    SpawnSettings() = default;
    SpawnSettings(const SpawnSettings&) = delete;
    SpawnSettings& operator=(const SpawnSettings&) = delete;
    ~SpawnSettings() {
        if (actionsReady_) posix_spawn_file_actions_destroy(&actions);
        if (attributesReady_) posix_spawnattr_destroy(&attributes);
    }

    // Returns 0 or the error number.
    int prepare(int stdoutFd, int stderrFd) {
        if (int error = posix_spawn_file_actions_init(&actions)) return error;
        actionsReady_ = true;
        if (int error = posix_spawnattr_init(&attributes)) return error;
        attributesReady_ = true;
        short flags = POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
        sigset_t none;
        sigset_t all;
        sigemptyset(&none);
        sigfillset(&all);
        int errors[] = {
            posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0),
            posix_spawn_file_actions_adddup2(&actions, stdoutFd, 1),
            posix_spawn_file_actions_adddup2(&actions, stderrFd, 2),
            // After the dup2s: closing the rest also closes the pipe ends they copied.
            closeOtherDescriptorsOnSpawn(actions, flags),
            // Its own process group, so stopping it reaches everything it started.
            posix_spawnattr_setpgroup(&attributes, 0),
            // The driver blocks SIGTERM and ignores SIGPIPE; the child must not inherit that.
            posix_spawnattr_setsigmask(&attributes, &none),
            posix_spawnattr_setsigdefault(&attributes, &all),
            posix_spawnattr_setflags(&attributes, flags),
        };
        for (int error : errors) {
            if (error != 0) return error;
        }
        return 0;
    }

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;

private:
    bool actionsReady_ = false;
    bool attributesReady_ = false;
};

// Returns 0 or the error number.
int spawnChild(const ProcessSpec& spec, int stdoutFd, int stderrFd, pid_t& pid) {
    SpawnSettings settings;
    if (int error = settings.prepare(stdoutFd, stderrFd)) return error;
    std::vector<std::string> strings{spec.executablePath};
    strings.insert(strings.end(), spec.arguments.begin(), spec.arguments.end());
    std::vector<char*> argv;
    for (std::string& text : strings)
        argv.push_back(text.data());
    argv.push_back(nullptr);
    return posix_spawn(&pid, spec.executablePath.c_str(), &settings.actions, &settings.attributes,
                       argv.data(), environ);
}

ProcessOutcome notStarted(const char* prefix, int error) {
    ProcessOutcome outcome;
    outcome.stderrText = std::string(prefix) + std::strerror(error);
    outcome.startError = error;
    return outcome;
}

int exitCodeOf(int status) {
    return (status & 0x7f) != 0 ? (status & 0x7f) : ((status >> 8) & 0xff);
}

// Children whose loop is gone before they could be reaped: one thread polls them all until
// each is reaped, so no zombie stays behind.
void reapInBackground(std::vector<pid_t> pids, std::shared_ptr<ProcessControl> control) {
    if (pids.empty()) return;
    try {
        std::thread([pids = std::move(pids), control = std::move(control)]() mutable {
            while (!pids.empty()) {
                std::erase_if(pids, [&](pid_t pid) {
                    ExitPoll poll = control->pollExit(pid);
                    while (poll.state == ExitPoll::State::interrupted)
                        poll = control->pollExit(pid);
                    return poll.state != ExitPoll::State::running;
                });
                if (!pids.empty()) std::this_thread::sleep_for(backgroundReapInterval);
            }
        }).detach();
    } catch (...) {
        // No thread to be had: the zombies stay until the driver ends.
    }
}

} // namespace

struct ProcessLoop::Mailbox {
    EventPoller poller;
    std::mutex lock; // guards the members below
    std::vector<std::unique_ptr<Run>> started;
    std::vector<std::pair<ProcessCompletion, ProcessOutcome>> known; // answered at once
    std::vector<uint64_t> cancelled; // runs whose token asked them to stop
    bool stopAll = false;
    std::atomic<uint64_t> nextId{1};

    void cancelledRun(uint64_t id) {
        {
            std::lock_guard<std::mutex> guard(lock);
            cancelled.push_back(id);
        }
        poller.wake();
    }
};

enum class Phase { running, grace, killed, reaping, settling, answered };

struct ProcessLoop::Run {
    struct Stream {
        FileDescriptor fd;
        std::string kept;
        uint64_t dropped = 0;
    };

    uint64_t id = 0;
    pid_t pid = 0;
    std::shared_ptr<ProcessCancellation> token;
    ProcessCompletion completion;
    Clock::time_point runDeadline;
    int64_t settleMs = 0;

    FileDescriptor exitHandle;
    bool watchingExit = false; // the kernel reports the exit; otherwise it is polled
    bool exitSeen = false;
    bool reaped = false; // the status was collected, or there is none to collect
    Stream streams[2];

    Phase phase = Phase::running;
    Clock::time_point phaseDeadline;
    std::optional<Clock::time_point> timer; // its entry in the loop's timers

    bool completed = false;
    bool cancelled = false;
    std::optional<int> exitCode;
    std::optional<int> startError; // it ran, but could not be watched: stopped at once
    std::string startMessage;

    bool cancelRequested() const { return token && token->isCancelled(); }
    bool immediateRequested() const { return token && token->isImmediate(); }
    bool streamsClosed() const { return !streams[0].fd && !streams[1].fd; }
    bool done() const { return phase == Phase::answered && reaped && streamsClosed(); }
};

ProcessLoop::ProcessLoop(std::shared_ptr<ProcessControl> control, ProcessRunner::Timings timings)
    : control_(std::move(control)), timings_(timings), mailbox_(std::make_shared<Mailbox>()) {}

ProcessLoop::~ProcessLoop() {
    std::vector<pid_t> unreaped;
    for (auto& [id, run] : runs_) {
        if (run->phase != Phase::answered) control_->signalGroup(run->pid, SIGKILL);
        if (!run->reaped) unreaped.push_back(run->pid);
        if (run->token) run->token->notify({});
    }
    reapInBackground(std::move(unreaped), control_);
}

int ProcessLoop::open() {
    return mailbox_->poller.open();
}

void ProcessLoop::wake() {
    mailbox_->poller.wake();
}

void ProcessLoop::start(ProcessSpec spec, std::shared_ptr<ProcessCancellation> token,
                        ProcessCompletion completion) {
    auto answerAtOnce = [&](ProcessOutcome outcome) {
        {
            std::lock_guard<std::mutex> guard(mailbox_->lock);
            mailbox_->known.emplace_back(std::move(completion), std::move(outcome));
        }
        mailbox_->poller.wake();
    };
    if (token && token->isCancelled()) {
        ProcessOutcome outcome;
        outcome.cancelled = true;
        return answerAtOnce(std::move(outcome));
    }
    Pipe out;
    Pipe err;
    if (int error = openPipe(out)) return answerAtOnce(notStarted("pipe failed: ", error));
    if (int error = openPipe(err)) return answerAtOnce(notStarted("pipe failed: ", error));
    auto run = std::make_unique<Run>();
    run->id = mailbox_->nextId++;
    int spawnError = spawnChild(spec, out.write.get(), err.write.get(), run->pid);
    out.write.close();
    err.write.close();
    if (spawnError != 0) return answerAtOnce(notStarted("posix_spawn failed: ", spawnError));
    const Clock::time_point started = Clock::now();
    run->runDeadline = deadlineAfter(started, spec.timeoutMs);
    run->settleMs = std::max<int64_t>(spec.outputSettleMs, 0);
    run->streams[0].fd = std::move(out.read);
    run->streams[1].fd = std::move(err.read);
    run->token = std::move(token);
    run->completion = std::move(completion);
    {
        std::lock_guard<std::mutex> guard(mailbox_->lock);
        mailbox_->started.push_back(std::move(run));
    }
    mailbox_->poller.wake();
}

void ProcessLoop::stopAll() {
    {
        std::lock_guard<std::mutex> guard(mailbox_->lock);
        mailbox_->stopAll = true;
    }
    mailbox_->poller.wake();
}

bool ProcessLoop::inboxEmpty() const {
    std::lock_guard<std::mutex> guard(mailbox_->lock);
    return mailbox_->started.empty() && mailbox_->known.empty();
}

void ProcessLoop::turn(std::optional<Clock::time_point> until) {
    adoptStarted();
    handleCancellations();
    std::optional<Clock::time_point> deadline = until;
    if (!timers_.empty() && (!deadline || timers_.begin()->first < *deadline))
        deadline = timers_.begin()->first;
    if (!due_.empty()) deadline = Clock::now();
    if (!mailbox_->poller.wait(deadline, ready_)) std::this_thread::sleep_for(reapPollInterval);
    adoptStarted();
    for (uint64_t key : ready_)
        handleReady(key);
    handleCancellations();
    handleTimers();
    callCompletions();
}

void ProcessLoop::adoptStarted() {
    std::vector<std::unique_ptr<Run>> started;
    {
        std::lock_guard<std::mutex> guard(mailbox_->lock);
        started.swap(mailbox_->started);
        for (auto& known : mailbox_->known)
            due_.push_back(std::move(known));
        mailbox_->known.clear();
    }
    EventPoller& poller = mailbox_->poller;
    for (std::unique_ptr<Run>& owned : started) {
        Run& run = *owned;
        const uint64_t id = run.id;
        runs_.emplace(id, std::move(owned));
        ++unanswered_;
        int error = poller.watchReadable(run.streams[0].fd.get(), keyOf(id, stdoutKind));
        if (error == 0)
            error = poller.watchReadable(run.streams[1].fd.get(), keyOf(id, stderrKind));
        // Without a process descriptor the exit is polled; nothing else is lost.
        run.watchingExit = poller.watchExit(run.pid, keyOf(id, exitKind), run.exitHandle) == 0;
        if (run.token) {
            run.token->notify([mailbox = mailbox_, id] { mailbox->cancelledRun(id); });
        }
        if (error != 0) {
            // Its output cannot be read: a run that cannot be supervised is stopped at once.
            run.startError = error;
            run.startMessage =
                std::string("The process could not be watched: ") + std::strerror(error);
            closeStream(run, 0);
            closeStream(run, 1);
            stop(run, true);
        } else if (stopEverything_) {
            stop(run, true);
        }
        rearm(run);
    }
}

void ProcessLoop::handleReady(uint64_t key) {
    auto found = runs_.find(key >> 2);
    if (found == runs_.end()) return;
    Run& run = *found->second;
    switch (key & 3) {
    case exitKind:
        onExit(run);
        break;
    case stdoutKind:
        readFrom(run, 0);
        break;
    case stderrKind:
        readFrom(run, 1);
        break;
    }
    rearm(run);
}

void ProcessLoop::handleCancellations() {
    std::vector<uint64_t> cancelled;
    bool stopAll = false;
    {
        std::lock_guard<std::mutex> guard(mailbox_->lock);
        cancelled.swap(mailbox_->cancelled);
        stopAll = mailbox_->stopAll;
    }
    if (stopAll && !stopEverything_) {
        stopEverything_ = true;
        for (auto& [id, run] : runs_)
            cancelled.push_back(id);
    }
    for (uint64_t id : cancelled) {
        auto found = runs_.find(id);
        if (found == runs_.end()) continue;
        Run& run = *found->second;
        stop(run, stopEverything_ || run.immediateRequested());
        rearm(run);
    }
}

void ProcessLoop::handleTimers() {
    const Clock::time_point now = Clock::now();
    while (!timers_.empty() && timers_.begin()->first <= now) {
        const uint64_t id = timers_.begin()->second;
        timers_.erase(timers_.begin());
        Run& run = *runs_.at(id);
        run.timer.reset();
        onTimer(run, now);
        rearm(run);
    }
}

void ProcessLoop::onExit(Run& run) {
    run.exitSeen = true;
    mailbox_->poller.unwatchExit(run.pid, run.exitHandle);
    switch (run.phase) {
    case Phase::running:
        run.completed = true;
        reapNow(run);
        break;
    case Phase::grace:
        // The last signal goes to the group even when the leader is gone, to end whatever
        // else is still in it; the leader is reaped only after, so its pid cannot be reused.
        control_->signalGroup(run.pid, SIGKILL);
        reapNow(run);
        break;
    case Phase::killed:
    case Phase::answered:
        reapNow(run);
        break;
    case Phase::reaping:
    case Phase::settling:
        break;
    }
}

void ProcessLoop::onTimer(Run& run, Clock::time_point now) {
    if (!run.watchingExit && !run.exitSeen && hasExited(run.pid)) return onExit(run);
    switch (run.phase) {
    case Phase::running:
        if (now >= run.runDeadline) stop(run, false);
        break;
    case Phase::grace:
        if (now >= run.phaseDeadline) killNow(run);
        break;
    case Phase::killed:
        // The leader did not exit after SIGKILL in time: answered without a status.
        if (now >= run.phaseDeadline) settle(run);
        break;
    case Phase::reaping:
    case Phase::answered:
        reapNow(run);
        break;
    case Phase::settling:
        if (now >= run.phaseDeadline) answer(run);
        break;
    }
}

void ProcessLoop::stop(Run& run, bool immediately) {
    if (run.phase == Phase::running) {
        run.cancelled = run.cancelRequested();
        run.completed = false;
        control_->signalGroup(run.pid, SIGTERM);
        run.phase = Phase::grace;
        run.phaseDeadline = Clock::now() + timings_.killGrace;
    }
    if (run.phase == Phase::grace && immediately) killNow(run);
}

void ProcessLoop::killNow(Run& run) {
    control_->signalGroup(run.pid, SIGKILL);
    run.phase = Phase::killed;
    run.phaseDeadline = Clock::now() + timings_.leaderExitCap;
    if (run.exitSeen) reapNow(run);
}

void ProcessLoop::reapNow(Run& run) {
    if (run.reaped) return;
    if (run.phase != Phase::reaping && run.phase != Phase::answered) {
        run.phase = Phase::reaping;
        run.phaseDeadline = Clock::now() + timings_.reapCap;
    }
    ExitPoll poll = control_->pollExit(run.pid);
    while (poll.state == ExitPoll::State::interrupted)
        poll = control_->pollExit(run.pid);
    if (poll.state == ExitPoll::State::exited) run.exitCode = exitCodeOf(poll.status);
    run.reaped = poll.state != ExitPoll::State::running;
    if (run.phase != Phase::reaping) return;
    // No status in time: answered without one, and reaped later.
    if (run.reaped || Clock::now() >= run.phaseDeadline) settle(run);
}

void ProcessLoop::settle(Run& run) {
    run.phase = Phase::settling;
    run.phaseDeadline = deadlineAfter(Clock::now(), run.settleMs);
    if (run.streamsClosed()) answer(run);
}

void ProcessLoop::answer(Run& run) {
    ProcessOutcome outcome;
    outcome.completed = run.completed;
    outcome.cancelled = run.cancelled;
    Run::Stream& out = run.streams[0];
    Run::Stream& err = run.streams[1];
    outcome.stdoutText = out.dropped == 0 ? ProcessRunner::decodeUTF8(out.kept)
                                          : ProcessRunner::decodeCutUTF8(out.kept);
    outcome.stdoutDroppedBytes = out.dropped;
    if (run.exitCode) {
        outcome.exitCode = *run.exitCode;
        outcome.stderrText = err.dropped == 0 ? ProcessRunner::decodeUTF8(err.kept)
                                              : ProcessRunner::decodeCutUTF8(err.kept);
        outcome.stderrDroppedBytes = err.dropped;
    } else {
        outcome.completed = false;
        outcome.stderrText = std::string(ProcessRunner::leaderDidNotExitMessage);
    }
    if (run.startError) {
        outcome.startError = run.startError;
        outcome.stderrText = run.startMessage;
    }
    // Whatever arrives from now on is read and dropped.
    out.kept = std::string();
    err.kept = std::string();
    run.phase = Phase::answered;
    --unanswered_;
    if (run.token) run.token->notify({});
    due_.emplace_back(std::move(run.completion), std::move(outcome));
}

void ProcessLoop::readFrom(Run& run, int stream) {
    Run::Stream& target = run.streams[stream];
    if (!target.fd) return;
    readBuffer_.resize(pipeReadSize);
    const ssize_t got = ::read(target.fd.get(), readBuffer_.data(), readBuffer_.size());
    if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (got <= 0) return closeStream(run, stream);
    const size_t count = static_cast<size_t>(got);
    if (run.phase == Phase::answered) return;
    const size_t room =
        timings_.keptOutputBytes - std::min(timings_.keptOutputBytes, target.kept.size());
    const size_t kept = std::min(room, count);
    // Grown by hand so the buffer never reserves past the kept maximum.
    if (target.kept.capacity() < target.kept.size() + kept) {
        target.kept.reserve(std::min(timings_.keptOutputBytes,
                                     std::max(target.kept.size() * 2, target.kept.size() + kept)));
    }
    target.kept.append(readBuffer_.data(), kept);
    target.dropped += count - kept;
}

void ProcessLoop::closeStream(Run& run, int stream) {
    FileDescriptor& fd = run.streams[stream].fd;
    if (!fd) return;
    mailbox_->poller.unwatchReadable(fd.get());
    fd.reset();
    if (run.phase == Phase::settling && run.streamsClosed()) answer(run);
}

void ProcessLoop::rearm(Run& run) {
    if (run.timer) {
        timers_.erase({*run.timer, run.id});
        run.timer.reset();
    }
    if (run.done()) {
        runs_.erase(run.id); // `run` is gone from here on
        return;
    }
    const Clock::time_point now = Clock::now();
    std::optional<Clock::time_point> at;
    switch (run.phase) {
    case Phase::running:
        at = run.runDeadline;
        break;
    case Phase::grace:
    case Phase::killed:
    case Phase::settling:
        at = run.phaseDeadline;
        break;
    case Phase::reaping:
        at = std::min(now + reapPollInterval, run.phaseDeadline);
        break;
    case Phase::answered:
        // Not yet reaped: polled once the exit was seen (or cannot be seen).
        if (!run.reaped && (run.exitSeen || !run.watchingExit)) at = now + backgroundReapInterval;
        break;
    }
    if (!run.watchingExit && !run.exitSeen && run.phase != Phase::answered) {
        const Clock::time_point poll = now + fallbackExitPollInterval;
        at = at ? std::min(*at, poll) : poll;
    }
    if (!at) return;
    run.timer = at;
    timers_.emplace(*at, run.id);
}

void ProcessLoop::callCompletions() {
    std::vector<std::pair<ProcessCompletion, ProcessOutcome>> due;
    due.swap(due_);
    for (auto& [completion, outcome] : due) {
        try {
            completion(std::move(outcome));
        } catch (...) {
            // A failing completion must not take the loop, and every other run, with it.
        }
    }
}

ProcessLoopThread::ProcessLoopThread(std::shared_ptr<ProcessControl> control,
                                     ProcessRunner::Timings timings)
    : control_(std::move(control)), timings_(timings) {}

ProcessLoopThread::~ProcessLoopThread() {
    closing_ = true;
    if (!loop_) return;
    loop_->stopAll();
    thread_.join();
}

int ProcessLoopThread::ensureRunning() {
    if (loop_) return 0;
    auto loop = std::make_unique<ProcessLoop>(control_, timings_);
    if (int error = loop->open()) return error;
    try {
        thread_ = std::thread([this, turned = loop.get()] {
            while (!(closing_ && turned->idle())) {
                try {
                    turned->turn();
                } catch (...) {
                    // Memory ran out inside the loop: try again rather than lose every run.
                }
            }
        });
    } catch (const std::system_error& error) {
        return error.code().value() != 0 ? error.code().value() : EAGAIN;
    }
    loop_ = std::move(loop);
    return 0;
}

void ProcessLoopThread::start(ProcessSpec spec, std::shared_ptr<ProcessCancellation> token,
                              ProcessCompletion completion) {
    ProcessLoop* loop = nullptr;
    int error = 0;
    {
        std::lock_guard<std::mutex> guard(lock_);
        error = ensureRunning();
        loop = loop_.get();
    }
    if (loop) return loop->start(std::move(spec), std::move(token), std::move(completion));
    completion(notStarted("The process could not be watched: ", error));
}

} // namespace dorvex
