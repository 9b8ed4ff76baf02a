#include "DorvexOS/ProcessRunner.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/resource.h>
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

// Passes everything to the system, except what it is told to hide until released: the stop
// signals (the child then outlives its stop) or the exit status (it cannot be reaped in time).
class HidingControl : public ProcessControl {
public:
    enum class Hide { signals, status };
    explicit HidingControl(Hide hide) : hide_(hide) {}

    ExitPoll pollExit(pid_t pid) override {
        if (hide_ == Hide::status && !released_) return {ExitPoll::State::running, 0};
        return system_.pollExit(pid);
    }
    void signalGroup(pid_t group, int signal) override {
        pid_ = group;
        if (hide_ != Hide::signals || released_) system_.signalGroup(group, signal);
    }
    void release() { released_ = true; }
    pid_t pid() const { return pid_; }

private:
    Hide hide_;
    SystemProcessControl system_;
    std::atomic<bool> released_{false};
    std::atomic<pid_t> pid_{0};
};

bool gone(pid_t pid) {
    return ::access(("/proc/" + std::to_string(pid)).c_str(), F_OK) != 0;
}

TEST(ProcessRunner, ChildWithoutStatusIsReportedAndReapedInBackground) {
    for (auto hide : {HidingControl::Hide::signals, HidingControl::Hide::status}) {
        auto control = std::make_shared<HidingControl>(hide);
        ProcessOutcome outcome =
            ProcessRunner::run(childProgram, {"err=lost", "sleep=30000"}, 0, 100, nullptr, control,
                               ProcessRunner::Timings{0ms, 100ms, 100ms});
        EXPECT_FALSE(outcome.completed);
        EXPECT_EQ(outcome.exitCode, -1);
        EXPECT_EQ(outcome.stderrText, ProcessRunner::leaderDidNotExitMessage);
        EXPECT_FALSE(outcome.startError);

        const pid_t pid = control->pid();
        ASSERT_GT(pid, 0);
        control->release();
        ::kill(pid, SIGKILL);
        EXPECT_TRUE(eventually([pid] { return gone(pid); })) << "the child stayed a zombie";
    }
}

TEST(ProcessRunner, OutputPastTheKeptMaximumIsDrainedAndCounted) {
    ProcessRunner::Timings small;
    small.keptOutputBytes = 1001;
    struct Case {
        const char* name;
        std::vector<std::string> steps;
        std::string stdoutText;
        uint64_t stdoutDropped;
        std::string stderrText;
        uint64_t stderrDropped;
    } cases[] = {
        {"exactly the maximum", {"fill=1001"}, std::string(1001, 'x'), 0, "", 0},
        // Far more than a pipe holds: the child is never blocked by the cut.
        {"cut", {"fill=300000"}, std::string(1001, 'x'), 298999, "", 0},
        // 1001 bytes end inside the 501st character, which is left out whole.
        {"cut inside a character",
         {"fill-utf8=600"},
         [] {
             std::string text;
             for (int i = 0; i < 500; ++i)
                 text += "\xC3\xA9";
             return text;
         }(),
         199,
         "",
         0},
        {"streams cut apart",
         {"fill=1500", "err=short"},
         std::string(1001, 'x'),
         499,
         "short\n",
         0},
    };
    for (const Case& c : cases) {
        ProcessOutcome outcome = runChild(c.steps, 10000, 500, nullptr, small);
        EXPECT_TRUE(outcome.completed) << c.name;
        EXPECT_EQ(outcome.exitCode, 0) << c.name;
        EXPECT_EQ(outcome.stdoutText, c.stdoutText) << c.name;
        EXPECT_EQ(outcome.stdoutDroppedBytes, c.stdoutDropped) << c.name;
        EXPECT_EQ(outcome.stderrText, c.stderrText) << c.name;
        EXPECT_EQ(outcome.stderrDroppedBytes, c.stderrDropped) << c.name;
    }
}

TEST(ProcessRunner, RunawayOutputIsAnsweredAtTheTimeOut) {
    ProcessRunner::Timings small;
    small.keptOutputBytes = 64 * 1024;
    for (const char* flood : {"flood", "flood-err"}) {
        const auto start = Steady::now();
        ProcessOutcome outcome = runChild({flood}, 300, 200, nullptr, small);
        EXPECT_LT(elapsedSince(start), 5s) << flood;
        EXPECT_FALSE(outcome.completed) << flood;
        EXPECT_EQ(outcome.exitCode, SIGTERM) << flood;
        const bool out = std::string(flood) == "flood";
        EXPECT_EQ((out ? outcome.stdoutText : outcome.stderrText).size(), 64u * 1024) << flood;
        EXPECT_GT(out ? outcome.stdoutDroppedBytes : outcome.stderrDroppedBytes, 0u) << flood;
    }
    EXPECT_TRUE(zombieChildren().empty());
}

// Lowers this process's descriptor limit so that exactly `free` more descriptors can be
// opened, and restores it when done.
class DescriptorShortage {
public:
    explicit DescriptorShortage(int free) {
        ::getrlimit(RLIMIT_NOFILE, &previous_);
        std::vector<int> open;
        for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
            open.push_back(std::stoi(entry.path().filename().string()));
        rlim_t limit = 0;
        for (int available = 0; available < free; ++limit) {
            if (std::find(open.begin(), open.end(), static_cast<int>(limit)) == open.end())
                ++available;
        }
        rlimit lowered = previous_;
        lowered.rlim_cur = limit;
        ::setrlimit(RLIMIT_NOFILE, &lowered);
    }
    ~DescriptorShortage() { ::setrlimit(RLIMIT_NOFILE, &previous_); }

private:
    rlimit previous_{};
};

TEST(ProcessRunner, RunWithoutDescriptorsSaysSo) {
    struct Case {
        int free;
        std::string stderrPrefix;
    } cases[] = {
        {0, "The process could not be watched: "}, // not even the event queue
        {3, "pipe failed: "},                      // the queue, not both pipes
    };
    // UndefinedBehaviorSanitizer checks a virtual call's target through a pipe of its own and
    // caches the verdict: one ordinary run first, and the control outliving the shortage, keep
    // the shortage the runner's alone.
    auto control = std::make_shared<SystemProcessControl>();
    ASSERT_TRUE(ProcessRunner::run(childProgram, {}, 10000, 500, nullptr, control).completed);
    for (const Case& c : cases) {
        ProcessOutcome outcome;
        {
            DescriptorShortage shortage(c.free);
            outcome = ProcessRunner::run(childProgram, {"out=never"}, 10000, 500, nullptr, control);
        }
        EXPECT_FALSE(outcome.completed) << c.free;
        EXPECT_EQ(outcome.exitCode, -1) << c.free;
        EXPECT_EQ(outcome.startError, EMFILE) << c.free;
        EXPECT_TRUE(isResourceShortage(*outcome.startError));
        EXPECT_EQ(outcome.stderrText, c.stderrPrefix + std::strerror(EMFILE)) << c.free;
    }
    EXPECT_FALSE(isResourceShortage(ENOENT));
}

TEST(ProcessCancellation, RequestsAreStickyAndNotLostBeforeTheRunListens) {
    ProcessCancellation token;
    EXPECT_FALSE(token.isCancelled());
    token.cancel(true);
    token.cancel(false);
    EXPECT_TRUE(token.isCancelled());
    EXPECT_TRUE(token.isImmediate());

    int wakes = 0;
    token.notify([&wakes] { ++wakes; });
    EXPECT_EQ(wakes, 1) << "a request made before notify must wake the run";
    token.cancel(false);
    EXPECT_EQ(wakes, 2);
    token.notify({}); // the run is over: later requests wake nothing
    token.cancel(false);
    EXPECT_EQ(wakes, 2);
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

TEST(ProcessRunner, DecodesCutTextLeavingOutOnlyTheCharacterTheCutSplit) {
    const std::string R = "\xEF\xBF\xBD";
    struct Case {
        std::string bytes;
        std::string expected;
    } cases[] = {
        {"ab", "ab"},
        {"a\xC3\xA9", "a\xC3\xA9"},                 // whole at the end
        {"a\xC3", "a"},                             // two-byte character cut
        {"a\xE2\x82", "a"},                         // three-byte character cut
        {"a\xF0\x9F\x98", "a"},                     // four-byte character cut
        {"a\xF0\x9F\x98\x80", "a\xF0\x9F\x98\x80"}, // whole
        {"\xFF\xFF", R + R},                        // malformed before the cut stays marked
        {"a\xF8", "a" + R},                         // never a lead byte: malformed, not cut
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ProcessRunner::decodeCutUTF8(c.bytes), c.expected);
}

} // namespace
} // namespace dorvex
