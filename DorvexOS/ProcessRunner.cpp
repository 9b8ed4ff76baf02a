// The process runner's logic; everything here is operating-system independent POSIX.
#include "DorvexOS/ProcessRunner.h"

#include "DorvexOS/FileDescriptor.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>

extern "C" char** environ;

namespace dorvex {

void Semaphore::signal() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        ++count_;
    }
    changed_.notify_one();
}

bool Semaphore::tryWait() {
    std::lock_guard<std::mutex> guard(lock_);
    if (count_ == 0) return false;
    --count_;
    return true;
}

bool Semaphore::waitUntil(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock<std::mutex> guard(lock_);
    if (!changed_.wait_until(guard, deadline, [this] { return count_ > 0; })) return false;
    --count_;
    return true;
}

void ProcessCancellation::cancel(bool immediately) {
    std::shared_ptr<Semaphore> wake;
    {
        std::lock_guard<std::mutex> guard(lock_);
        requested_ = true;
        if (immediately) immediate_ = true;
        wake = wake_;
    }
    if (wake) wake->signal();
}

void ProcessCancellation::notify(std::shared_ptr<Semaphore> wake) {
    bool alreadyRequested = false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        wake_ = wake;
        alreadyRequested = requested_;
    }
    if (alreadyRequested && wake) wake->signal();
}

bool ProcessCancellation::isCancelled() const {
    std::lock_guard<std::mutex> guard(lock_);
    return requested_;
}

bool ProcessCancellation::isImmediate() const {
    std::lock_guard<std::mutex> guard(lock_);
    return immediate_;
}

ExitPoll SystemProcessControl::pollExit(pid_t pid) {
    int status = 0;
    pid_t answer = ::waitpid(pid, &status, WNOHANG);
    if (answer == pid) return {ExitPoll::State::exited, status};
    if (answer == 0) return {ExitPoll::State::running, 0};
    if (errno == EINTR) return {ExitPoll::State::interrupted, 0};
    return {ExitPoll::State::failed, 0};
}

void SystemProcessControl::signalGroup(pid_t group, int signal) {
    ::kill(-group, signal);
}

namespace ProcessRunner {
namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr size_t pipeReadSize = 65536;
constexpr auto reapPollInterval = std::chrono::milliseconds(10);
constexpr auto backgroundReapInterval = std::chrono::milliseconds(100);
// Longer waits than this are treated as this, so a huge time-out cannot overflow the clock.
constexpr int64_t longestWaitMs = int64_t{365} * 24 * 3600 * 1000;

SteadyClock::time_point deadlineAfter(int64_t ms) {
    return SteadyClock::now() +
           std::chrono::milliseconds(std::clamp<int64_t>(ms, 0, longestWaitMs));
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
    // The driver's end must not leak into any child; the child's end is dup'ed onto 1 or 2.
    ::fcntl(ends[0], F_SETFD, FD_CLOEXEC);
    return 0;
}

// Starts a detached thread; false when the system cannot start one (the work is dropped).
template <typename Work> bool startDetached(Work&& work) {
    try {
        std::thread(std::forward<Work>(work)).detach();
        return true;
    } catch (...) {
        return false;
    }
}

// What one pipe reader has gathered. Bytes arriving after `finished` are read and dropped,
// so a grandchild that keeps the pipe open cannot change an outcome already returned.
struct Collected {
    std::mutex lock;
    std::string data;
    bool finished = false;
    Semaphore ended;
};

void collect(FileDescriptor pipe, const std::shared_ptr<Collected>& collected) {
    std::string chunk(pipeReadSize, '\0');
    for (;;) {
        ssize_t got = ::read(pipe.get(), chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        std::lock_guard<std::mutex> guard(collected->lock);
        if (!collected->finished) collected->data.append(chunk.data(), static_cast<size_t>(got));
    }
    pipe.close();
    collected->ended.signal();
}

bool startCollector(FileDescriptor& pipe, const std::shared_ptr<Collected>& collected) {
    return startDetached(
        [fd = std::move(pipe), collected]() mutable { collect(std::move(fd), collected); });
}

std::string takeCollected(Collected& collected, SteadyClock::time_point settleDeadline) {
    collected.ended.waitUntil(settleDeadline);
    std::lock_guard<std::mutex> guard(collected.lock);
    collected.finished = true;
    return decodeUTF8(collected.data);
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
int spawnChild(const std::string& path, const std::vector<std::string>& arguments, int stdoutFd,
               int stderrFd, pid_t& pid) {
    SpawnSettings settings;
    if (int error = settings.prepare(stdoutFd, stderrFd)) return error;
    std::vector<std::string> strings{path};
    strings.insert(strings.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : strings)
        argv.push_back(text.data());
    argv.push_back(nullptr);
    return posix_spawn(&pid, path.c_str(), &settings.actions, &settings.attributes, argv.data(),
                       environ);
}

ProcessOutcome failedToStart(const char* prefix, int error) {
    ProcessOutcome outcome;
    outcome.stderrText = std::string(prefix) + std::strerror(error);
    return outcome;
}

int exitCodeOf(int status) {
    return (status & 0x7f) != 0 ? (status & 0x7f) : ((status >> 8) & 0xff);
}

// Polls for the exit status until the cap; nothing when it cannot be had in time.
std::optional<int> reap(pid_t pid, ProcessControl& control, std::chrono::milliseconds cap) {
    const auto deadline = SteadyClock::now() + cap;
    for (;;) {
        ExitPoll poll = control.pollExit(pid);
        switch (poll.state) {
        case ExitPoll::State::exited:
            return exitCodeOf(poll.status);
        case ExitPoll::State::interrupted:
            continue;
        case ExitPoll::State::failed:
            return std::nullopt;
        case ExitPoll::State::running:
            break;
        }
        if (SteadyClock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(reapPollInterval);
    }
}

// No cap: the thread lives until the child is reaped, so no zombie stays behind.
void reapInBackground(pid_t pid, const std::shared_ptr<ProcessControl>& control) {
    startDetached([pid, control] {
        for (;;) {
            ExitPoll poll = control->pollExit(pid);
            if (poll.state == ExitPoll::State::interrupted) continue;
            if (poll.state != ExitPoll::State::running) return;
            std::this_thread::sleep_for(backgroundReapInterval);
        }
    });
}

// A started child and what the run knows about its exit. The child is never reaped before
// the last signal to its group, so its pid (and group id) cannot be reused under us.
class RunningChild {
public:
    RunningChild(pid_t pid, std::shared_ptr<ProcessControl> control,
                 std::shared_ptr<ProcessCancellation> token, const Timings& timings)
        : pid_(pid), control_(std::move(control)), token_(std::move(token)), timings_(timings) {}

    // Starts the exit waiter; false when no thread could be started for it.
    bool watch() {
        if (!startDetached([control = control_, pid = pid_, exited = exited_, wake = wake_] {
                control->observeExit(pid);
                exited->signal();
                wake->signal();
            })) {
            return false;
        }
        if (token_) token_->notify(wake_);
        return true;
    }

    // Waits for the child's own exit; false when the deadline or a cancellation came first.
    bool runUntil(SteadyClock::time_point deadline) {
        for (;;) {
            if (exitedNow()) return true;
            if (cancelRequested()) return false;
            if (!wake_->waitUntil(deadline)) return exitedNow();
        }
    }

    // SIGTERM, a grace cut short by the exit or an immediate cancel, then SIGKILL to the
    // group even when the leader is gone, to end whatever else is still in it. True when the
    // leader exited within the cap.
    bool stop() {
        control_->signalGroup(pid_, SIGTERM);
        const auto graceDeadline = SteadyClock::now() + timings_.killGrace;
        while (!exitedNow() && !(token_ && token_->isImmediate())) {
            if (!wake_->waitUntil(graceDeadline)) break;
        }
        control_->signalGroup(pid_, SIGKILL);
        if (!exitSeen_) exitSeen_ = exited_->waitUntil(SteadyClock::now() + timings_.leaderExitCap);
        return exitSeen_;
    }

    void kill() { control_->signalGroup(pid_, SIGKILL); }
    bool cancelRequested() const { return token_ && token_->isCancelled(); }
    std::optional<int> reap() { return ProcessRunner::reap(pid_, *control_, timings_.reapCap); }
    void reapLater() { reapInBackground(pid_, control_); }

private:
    bool exitedNow() {
        if (!exitSeen_) exitSeen_ = exited_->tryWait();
        return exitSeen_;
    }

    pid_t pid_;
    std::shared_ptr<ProcessControl> control_;
    std::shared_ptr<ProcessCancellation> token_;
    Timings timings_;
    std::shared_ptr<Semaphore> exited_ = std::make_shared<Semaphore>();
    std::shared_ptr<Semaphore> wake_ = std::make_shared<Semaphore>();
    bool exitSeen_ = false;
};

struct Ending {
    bool completed = false;
    bool cancelled = false;
    std::optional<int> exitCode;
};

Ending superviseChild(RunningChild& child, int64_t timeoutMs) {
    Ending ending;
    if (!child.watch()) {
        // Without an exit waiter the child cannot be supervised: end it now.
        child.kill();
        ending.cancelled = child.cancelRequested();
        ending.exitCode = child.reap();
        return ending;
    }
    ending.completed = child.runUntil(deadlineAfter(timeoutMs));
    if (!ending.completed) {
        ending.cancelled = child.cancelRequested();
        if (!child.stop()) return ending;
    }
    ending.exitCode = child.reap();
    return ending;
}

} // namespace

ProcessOutcome run(const std::string& executablePath, const std::vector<std::string>& arguments,
                   int64_t timeoutMs, int64_t outputSettleMs,
                   const std::shared_ptr<ProcessCancellation>& cancellation) {
    return run(executablePath, arguments, timeoutMs, outputSettleMs, cancellation,
               std::make_shared<SystemProcessControl>());
}

ProcessOutcome run(const std::string& executablePath, const std::vector<std::string>& arguments,
                   int64_t timeoutMs, int64_t outputSettleMs,
                   const std::shared_ptr<ProcessCancellation>& cancellation,
                   std::shared_ptr<ProcessControl> control, const Timings& timings) {
    if (cancellation && cancellation->isCancelled()) {
        ProcessOutcome outcome;
        outcome.cancelled = true;
        return outcome;
    }
    Pipe out;
    Pipe err;
    if (int error = openPipe(out)) return failedToStart("pipe failed: ", error);
    if (int error = openPipe(err)) return failedToStart("pipe failed: ", error);
    // Readers start before the spawn; if it fails, closing the write ends lets them finish.
    auto outCollected = std::make_shared<Collected>();
    auto errCollected = std::make_shared<Collected>();
    if (!startCollector(out.read, outCollected) || !startCollector(err.read, errCollected)) {
        return failedToStart("thread start failed: ", EAGAIN);
    }
    pid_t pid = 0;
    int spawnError = spawnChild(executablePath, arguments, out.write.get(), err.write.get(), pid);
    out.write.close();
    err.write.close();
    if (spawnError != 0) return failedToStart("posix_spawn failed: ", spawnError);

    RunningChild child(pid, std::move(control), cancellation, timings);
    Ending ending = superviseChild(child, timeoutMs);

    const auto settleDeadline = deadlineAfter(outputSettleMs);
    ProcessOutcome outcome;
    outcome.completed = ending.completed;
    outcome.cancelled = ending.cancelled;
    outcome.stdoutText = takeCollected(*outCollected, settleDeadline);
    std::string errText = takeCollected(*errCollected, settleDeadline);
    if (ending.exitCode) {
        outcome.exitCode = *ending.exitCode;
        outcome.stderrText = std::move(errText);
    } else {
        child.reapLater();
        outcome.completed = false;
        outcome.stderrText = std::string(leaderDidNotExitMessage);
    }
    return outcome;
}

std::string decodeUTF8(std::string_view bytes) {
    static constexpr std::string_view replacement = "\xEF\xBF\xBD";
    std::string text;
    text.reserve(bytes.size());
    size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            text.push_back(static_cast<char>(lead));
            ++i;
            continue;
        }
        // Length of the sequence and the allowed range of its second byte, by lead byte;
        // the narrower ranges exclude overlong forms, surrogates and values past U+10FFFF.
        size_t length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0) low = 0xA0;
            if (lead == 0xED) high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;
        }
        size_t end = i + 1;
        while (length != 0 && end < bytes.size() && end - i < length) {
            const auto next = static_cast<unsigned char>(bytes[end]);
            const bool second = end == i + 1;
            if (next < (second ? low : 0x80) || next > (second ? high : 0xBF)) break;
            ++end;
        }
        if (length != 0 && end - i == length) {
            text.append(bytes.substr(i, length));
        } else {
            text.append(replacement); // one replacement per maximal ill-formed subsequence
        }
        i = end;
    }
    return text;
}

} // namespace ProcessRunner
} // namespace dorvex
