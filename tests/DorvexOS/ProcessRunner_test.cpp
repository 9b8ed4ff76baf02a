#include "DorvexOS/ProcessRunner.h"

#include <atomic>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace dorvex {
namespace {

using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;

const std::string childProgram = DORVEX_TEST_HELPERS_DIR "/dorvex_test_child";

ProcessOutcome runChild(const std::vector<std::string>& steps, int64_t timeoutMs = 10000,
                        int64_t settleMs = 500,
                        const std::shared_ptr<ProcessCancellation>& token = nullptr,
                        const ProcessRunner::Timings& timings = {}) {
    return ProcessRunner::run(childProgram, steps, timeoutMs, settleMs, token,
                              std::make_shared<SystemProcessControl>(), timings);
}

ProcessRunner::Timings withGrace(std::chrono::milliseconds grace) {
    ProcessRunner::Timings timings;
    timings.killGrace = grace;
    return timings;
}

// Children of this test process that have exited but were never reaped.
std::vector<pid_t> zombieChildren() {
    std::vector<pid_t> zombies;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) return zombies;
    while (dirent* entry = ::readdir(proc)) {
        std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        std::istringstream fields(line.substr(line.rfind(')') + 2));
        char state = 0;
        pid_t parent = 0;
        fields >> state >> parent;
        if (state == 'Z' && parent == ::getpid()) zombies.push_back(std::atoi(entry->d_name));
    }
    ::closedir(proc);
    return zombies;
}

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit = 5s) {
    const auto deadline = Steady::now() + limit;
    while (!condition()) {
        if (Steady::now() >= deadline) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

std::chrono::milliseconds elapsedSince(Steady::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now() - start);
}

TEST(ProcessRunner, ChildThatEndsByItselfIsCompleted) {
    struct Case {
        const char* name;
        std::vector<std::string> steps;
        int exitCode;
        std::string stdoutText;
        std::string stderrText;
    } cases[] = {
        {"word and exit 0", {"out=hello"}, 0, "hello\n", ""},
        {"exit 3", {"exit=3"}, 3, "", ""},
        {"streams kept apart", {"out=result", "err=trouble", "exit=2"}, 2, "result\n", "trouble\n"},
        {"more output than a pipe holds", {"fill=300000"}, 0, std::string(300000, 'x'), ""},
    };
    for (const Case& c : cases) {
        ProcessOutcome outcome = runChild(c.steps);
        EXPECT_TRUE(outcome.completed) << c.name;
        EXPECT_FALSE(outcome.cancelled) << c.name;
        EXPECT_EQ(outcome.exitCode, c.exitCode) << c.name;
        EXPECT_EQ(outcome.stdoutText, c.stdoutText) << c.name;
        EXPECT_EQ(outcome.stderrText, c.stderrText) << c.name;
    }
    EXPECT_TRUE(zombieChildren().empty());
}

TEST(ProcessRunner, TimeOutStopsTheChildWithSigterm) {
    for (int64_t timeoutMs : {int64_t{0}, int64_t{-5}}) {
        ProcessOutcome outcome = runChild({"sleep=30000"}, timeoutMs);
        EXPECT_FALSE(outcome.completed) << timeoutMs;
        EXPECT_FALSE(outcome.cancelled) << timeoutMs;
        EXPECT_EQ(outcome.exitCode, SIGTERM) << timeoutMs;
    }
    EXPECT_TRUE(zombieChildren().empty());
}

TEST(ProcessRunner, ChildIgnoringSigtermIsKilledAfterTheGrace) {
    const auto start = Steady::now();
    ProcessOutcome outcome =
        runChild({"ignore-term", "sleep=30000"}, 200, 500, nullptr, withGrace(300ms));
    EXPECT_FALSE(outcome.completed);
    EXPECT_EQ(outcome.exitCode, SIGKILL);
    EXPECT_GE(elapsedSince(start), 500ms); // the time-out, then the whole grace
    EXPECT_TRUE(zombieChildren().empty());
}

TEST(ProcessRunner, CancelStopsTheChild) {
    auto token = std::make_shared<ProcessCancellation>();
    std::thread canceller([token] {
        std::this_thread::sleep_for(100ms);
        token->cancel(false);
    });
    ProcessOutcome outcome = runChild({"sleep=30000"}, 10000, 500, token);
    canceller.join();
    EXPECT_FALSE(outcome.completed);
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_EQ(outcome.exitCode, SIGTERM);
}

TEST(ProcessRunner, ImmediateCancelCutsTheGraceShort) {
    auto token = std::make_shared<ProcessCancellation>();
    std::thread canceller([token] {
        std::this_thread::sleep_for(200ms);
        token->cancel(false); // the child ignores this SIGTERM; the grace begins
        std::this_thread::sleep_for(200ms);
        token->cancel(true);
    });
    const auto start = Steady::now();
    ProcessOutcome outcome =
        runChild({"ignore-term", "sleep=60000"}, 10000, 500, token, withGrace(50s));
    canceller.join();
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_EQ(outcome.exitCode, SIGKILL);
    EXPECT_LT(elapsedSince(start), 25s); // far less than the grace it was given
}

TEST(ProcessRunner, TokenCancelledBeforeTheRunStartsNothing) {
    auto token = std::make_shared<ProcessCancellation>();
    token->cancel(false);
    // A missing program would report a spawn failure if a start had been tried.
    ProcessOutcome outcome = ProcessRunner::run("/nonexistent/program", {}, 1000, 100, token);
    EXPECT_FALSE(outcome.completed);
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_EQ(outcome.exitCode, -1);
    EXPECT_EQ(outcome.stdoutText, "");
    EXPECT_EQ(outcome.stderrText, "");
}

TEST(ProcessRunner, MissingProgramIsAnOutcomeNotAnError) {
    ProcessOutcome outcome = ProcessRunner::run("/nonexistent/program", {}, 1000, 100, nullptr);
    EXPECT_FALSE(outcome.completed);
    EXPECT_FALSE(outcome.cancelled);
    EXPECT_EQ(outcome.exitCode, -1);
    EXPECT_EQ(outcome.stderrText.rfind("posix_spawn failed: ", 0), 0u) << outcome.stderrText;
}

TEST(ProcessRunner, GrandchildHoldingTheOutputDoesNotHoldTheRun) {
    const auto start = Steady::now();
    ProcessOutcome outcome = runChild({"grandchild"}, 10000, 200);
    EXPECT_LT(elapsedSince(start), 20s); // the grandchild keeps the pipes for 30 s
    EXPECT_TRUE(outcome.completed);
    EXPECT_EQ(outcome.exitCode, 0);
    ASSERT_EQ(outcome.stdoutText.rfind("grandchild=", 0), 0u) << outcome.stdoutText;
    ::kill(std::stoi(outcome.stdoutText.substr(11)), SIGKILL);
}

TEST(ProcessRunner, InvalidUtf8OutputIsReplaced) {
    ProcessOutcome outcome = runChild({"bytes=61FF62E282"});
    EXPECT_EQ(outcome.stdoutText, "a\xEF\xBF\xBD"
                                  "b\xEF\xBF\xBD");
}

TEST(ProcessRunner, ChildInheritsNoDescriptorMaskOrIgnoredSignal) {
    // What a driver thread carries: a blocked signal, an ignored one, a descriptor without
    // close-on-exec. None of it may reach the child.
    int extra = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(extra, 3);
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGUSR1);
    sigset_t previousMask;
    pthread_sigmask(SIG_BLOCK, &blocked, &previousMask);
    auto previousInt = std::signal(SIGINT, SIG_IGN);

    ProcessOutcome outcome = runChild({"isolation"});

    std::signal(SIGINT, previousInt);
    pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    ::close(extra);
    EXPECT_EQ(outcome.stdoutText, "stdin=devnull group-leader=yes fds=0,1,2 blocked= ignored=\n");
}

// Passes everything to the system, except that the child's exit is hidden until released.
class ExitHidingControl : public ProcessControl {
public:
    void observeExit(pid_t pid) override {
        {
            std::unique_lock<std::mutex> guard(lock_);
            pid_ = pid;
            changed_.wait(guard, [this] { return released_; });
        }
        system_.observeExit(pid);
    }
    ExitPoll pollExit(pid_t pid) override {
        if (!isReleased()) return {ExitPoll::State::running, 0};
        return system_.pollExit(pid);
    }
    void signalGroup(pid_t group, int signal) override { system_.signalGroup(group, signal); }

    void release() {
        {
            std::lock_guard<std::mutex> guard(lock_);
            released_ = true;
        }
        changed_.notify_all();
    }
    pid_t pid() {
        std::lock_guard<std::mutex> guard(lock_);
        return pid_;
    }

private:
    bool isReleased() {
        std::lock_guard<std::mutex> guard(lock_);
        return released_;
    }

    SystemProcessControl system_;
    std::mutex lock_;
    std::condition_variable changed_;
    bool released_ = false;
    pid_t pid_ = 0;
};

TEST(ProcessRunner, ChildNotSeenToExitIsReportedAndReapedInBackground) {
    auto control = std::make_shared<ExitHidingControl>();
    ProcessOutcome outcome =
        ProcessRunner::run(childProgram, {"err=lost", "sleep=30000"}, 0, 100, nullptr, control,
                           ProcessRunner::Timings{0ms, 100ms, 100ms});
    EXPECT_FALSE(outcome.completed);
    EXPECT_EQ(outcome.exitCode, -1);
    EXPECT_EQ(outcome.stderrText, ProcessRunner::leaderDidNotExitMessage);

    const pid_t pid = control->pid();
    ASSERT_GT(pid, 0);
    control->release();
    EXPECT_TRUE(eventually([pid] {
        return ::access(("/proc/" + std::to_string(pid)).c_str(), F_OK) != 0;
    })) << "the child stayed a zombie";
}

TEST(ProcessCancellation, RequestsAreStickyAndNotLostBeforeTheRunListens) {
    ProcessCancellation token;
    EXPECT_FALSE(token.isCancelled());
    token.cancel(true);
    token.cancel(false);
    EXPECT_TRUE(token.isCancelled());
    EXPECT_TRUE(token.isImmediate());

    auto wake = std::make_shared<Semaphore>();
    token.notify(wake);
    EXPECT_TRUE(wake->tryWait()) << "a request made before notify must wake the run";
    EXPECT_FALSE(wake->tryWait());
    token.cancel(false);
    EXPECT_TRUE(wake->tryWait());
}

TEST(ProcessRunner, DecodesUtf8ReplacingEachMaximalIllFormedPart) {
    const std::string R = "\xEF\xBF\xBD";
    struct Case {
        std::string bytes;
        std::string expected;
    } cases[] = {
        {"plain", "plain"},
        {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
        {"a\xFF"
         "b",
         "a" + R + "b"},
        {"\xE2\x82", R},                     // truncated sequence at the end: one mark
        {"\xE2\x82x", R + "x"},              // truncated before an ASCII byte
        {"\xC0\xAF", R + R},                 // overlong lead is never valid
        {"\xE0\x80\x80", R + R + R},         // overlong three-byte form
        {"\xED\xA0\x80", R + R + R},         // surrogate
        {"\xF4\x90\x80\x80", R + R + R + R}, // past U+10FFFF
        {"\xF0\x9F\x98", R},                 // one part, one mark
        {"\x80\x80", R + R},                 // stray continuation bytes
        {std::string("a\0b", 3), std::string("a\0b", 3)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ProcessRunner::decodeUTF8(c.bytes), c.expected);
}

} // namespace
} // namespace dorvex
