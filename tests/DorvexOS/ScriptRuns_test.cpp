#include "DorvexOS/ScriptRuns.h"
#include "support/TempDir.h"

#include <condition_variable>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <regex>
#include <thread>

namespace dorvex {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// The tests' interpreter: a script is shell text, and "$0" is its temporary file.
constexpr const char* shell = "/bin/sh";

// Completions' results by run id, waited for with a limit.
class Results {
public:
    ScriptRuns::Completion completionFor(const std::string& id,
                                         std::chrono::milliseconds delay = 0ms) {
        return [this, id, delay](const ScriptRunResult& result) {
            std::this_thread::sleep_for(delay);
            std::lock_guard<std::mutex> guard(lock_);
            results_[id].push_back(result);
            changed_.notify_all();
        };
    }

    std::optional<ScriptRunResult> waitFor(const std::string& id,
                                           std::chrono::milliseconds limit = 10s) {
        std::unique_lock<std::mutex> guard(lock_);
        if (!changed_.wait_for(guard, limit, [&] { return !results_[id].empty(); })) return {};
        return results_[id].front();
    }

    size_t count(const std::string& id) {
        std::lock_guard<std::mutex> guard(lock_);
        return results_[id].size();
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    std::map<std::string, std::vector<ScriptRunResult>> results_;
};

class ScriptRunsTest : public ::testing::Test {
protected:
    void TearDown() override {
        // Every completion has run before the results object goes away.
        if (runs) {
            EXPECT_TRUE(runs->stopAll(20s));
        }
    }

    // Script files and their side files; the tests' own markers do not count.
    std::vector<std::string> filesLeft() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(directory)) {
            std::string name = entry.path().filename().string();
            if (name.rfind("nubo-script-", 0) == 0) names.push_back(name);
        }
        return names;
    }

    // Waits (briefly) until the running script has created the marker file.
    bool markerAppears(const std::string& name) const {
        for (int i = 0; i < 250 && !fs::exists(directory / name); ++i) {
            std::this_thread::sleep_for(20ms);
        }
        return fs::exists(directory / name);
    }

    testing::TempDir scratch{"script-runs"};
    const fs::path directory = scratch.path();
    Results results;
    std::unique_ptr<ScriptRuns> runs;

    void makeRuns(ProcessRunner::Timings timings = {}) {
        runs = std::make_unique<ScriptRuns>(shell, directory, timings);
    }
};

TEST_F(ScriptRunsTest, RunsTheScriptFromAPrivateTemporaryFileThenRemovesIt) {
    makeRuns();
    // Prints the file's own path and its content; the script keeps its surrounding blanks.
    const std::string script = "  printf '%s\\n' \"$0\"; cat \"$0\"  ";
    ASSERT_EQ(runs->start("a", script, 5000, results.completionFor("a")), ScriptRunStart::started);
    std::optional<ScriptRunResult> result = results.waitFor("a");
    ASSERT_TRUE(result && result->finished);
    const ProcessOutcome& outcome = *result->finished;
    EXPECT_TRUE(outcome.completed);
    EXPECT_EQ(outcome.exitCode, 0);
    const std::string& printed = outcome.stdoutText;
    const size_t lineEnd = printed.find('\n');
    ASSERT_NE(lineEnd, std::string::npos);
    const fs::path file = printed.substr(0, lineEnd);
    EXPECT_EQ(file.parent_path(), directory);
    EXPECT_TRUE(std::regex_match(
        file.filename().string(),
        std::regex("nubo-script-[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-"
                   "[0-9A-F]{12}\\.applescript")))
        << file;
    EXPECT_EQ(printed.substr(lineEnd + 1), script);
    EXPECT_TRUE(filesLeft().empty());
}

TEST_F(ScriptRunsTest, SameIdIsRefusedWhileRunningAndFreeAfterwards) {
    makeRuns();
    ASSERT_EQ(runs->start("a", ": > \"$(dirname \"$0\")/ready-a\"; sleep 30", 60000,
                          results.completionFor("a")),
              ScriptRunStart::started);
    ASSERT_TRUE(markerAppears("ready-a"));
    EXPECT_EQ(runs->start("a", "echo second", 60000, results.completionFor("a")),
              ScriptRunStart::alreadyRunning);
    EXPECT_FALSE(runs->cancel("b"));
    EXPECT_TRUE(runs->cancel("a"));

    std::optional<ScriptRunResult> result = results.waitFor("a");
    ASSERT_TRUE(result && result->finished);
    EXPECT_TRUE(result->finished->cancelled);
    EXPECT_EQ(result->finished->exitCode, SIGTERM);

    // The entry leaves right after the completion; then the id can be used again.
    ScriptRunStart again = ScriptRunStart::alreadyRunning;
    for (int i = 0; i < 250 && again == ScriptRunStart::alreadyRunning; ++i) {
        again = runs->start("a", "echo again", 5000, results.completionFor("a"));
        if (again == ScriptRunStart::alreadyRunning) std::this_thread::sleep_for(20ms);
    }
    EXPECT_EQ(again, ScriptRunStart::started);
    EXPECT_TRUE(runs->stopAll(10s));
    EXPECT_EQ(results.count("a"), 2u) << "the refused start must never answer";
    EXPECT_TRUE(filesLeft().empty());
}

TEST_F(ScriptRunsTest, RunBeingAnsweredCannotBeCancelledButKeepsItsId) {
    makeRuns();
    std::mutex lock;
    std::condition_variable changed;
    bool answering = false;
    bool release = false;
    auto completion = [&](const ScriptRunResult&) {
        std::unique_lock<std::mutex> guard(lock);
        answering = true;
        changed.notify_all();
        changed.wait(guard, [&] { return release; });
    };
    ASSERT_EQ(runs->start("a", "echo hi", 5000, completion), ScriptRunStart::started);
    {
        std::unique_lock<std::mutex> guard(lock);
        ASSERT_TRUE(changed.wait_for(guard, 10s, [&] { return answering; }));
    }
    EXPECT_FALSE(runs->cancel("a")) << "the run is over; its answer is being written";
    EXPECT_EQ(runs->start("a", "echo again", 5000, results.completionFor("a")),
              ScriptRunStart::alreadyRunning);
    EXPECT_FALSE(runs->stopAll(50ms)) << "stopAll must wait for the answer";
    {
        std::lock_guard<std::mutex> guard(lock);
        release = true;
    }
    changed.notify_all();
    EXPECT_TRUE(runs->stopAll(10s));
}

TEST_F(ScriptRunsTest, TimeOutStopsTheScript) {
    makeRuns();
    ASSERT_EQ(runs->start("slow", "sleep 30", 100, results.completionFor("slow")),
              ScriptRunStart::started);
    std::optional<ScriptRunResult> result = results.waitFor("slow");
    ASSERT_TRUE(result && result->finished);
    EXPECT_FALSE(result->finished->completed);
    EXPECT_FALSE(result->finished->cancelled);
    EXPECT_EQ(result->finished->exitCode, SIGTERM);
}

TEST_F(ScriptRunsTest, StopAllKillsWithoutGraceAndReturnsAfterEveryCompletion) {
    // A grace far longer than stopAll's wait: only an immediate kill lets it return true.
    ProcessRunner::Timings timings;
    timings.killGrace = 60s;
    makeRuns(timings);
    const std::string script = "trap '' TERM; : > \"$(dirname \"$0\")/ready-$1\"; sleep 30";
    for (const std::string id : {"x", "y"}) {
        ASSERT_EQ(runs->start(id, "set -- " + id + "; " + script, 60000,
                              results.completionFor(id, 200ms)),
                  ScriptRunStart::started);
    }
    ASSERT_TRUE(markerAppears("ready-x") && markerAppears("ready-y"));

    EXPECT_TRUE(runs->stopAll(10s));
    for (const std::string id : {"x", "y"}) {
        ASSERT_EQ(results.count(id), 1u) << "stopAll returned before the completion of " << id;
        std::optional<ScriptRunResult> result = results.waitFor(id, 0ms);
        EXPECT_TRUE(result->finished->cancelled);
        EXPECT_EQ(result->finished->exitCode, SIGKILL);
    }
}

TEST_F(ScriptRunsTest, StartAfterStopAllStartsNothing) {
    makeRuns();
    EXPECT_TRUE(runs->stopAll(1s));
    EXPECT_EQ(runs->start("late", ": > \"$0.ran\"", 5000, results.completionFor("late")),
              ScriptRunStart::stopping);
    EXPECT_EQ(results.count("late"), 0u);
    EXPECT_TRUE(filesLeft().empty());
}

TEST_F(ScriptRunsTest, UnwritableDirectoryIsAWriteFailure) {
    runs = std::make_unique<ScriptRuns>(shell, directory / "missing");
    ASSERT_EQ(runs->start("w", "echo never", 5000, results.completionFor("w")),
              ScriptRunStart::started);
    std::optional<ScriptRunResult> result = results.waitFor("w");
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->writeFailed());
}

TEST_F(ScriptRunsTest, ManyRunsAtOnceEachAnswerTheirOwnOutput) {
    makeRuns();
    constexpr int count = 30;
    for (int i = 0; i < count; ++i) {
        const std::string id = "run-" + std::to_string(i);
        ASSERT_EQ(runs->start(id, "echo " + id, 10000, results.completionFor(id)),
                  ScriptRunStart::started);
    }
    for (int i = 0; i < count; ++i) {
        const std::string id = "run-" + std::to_string(i);
        std::optional<ScriptRunResult> result = results.waitFor(id);
        ASSERT_TRUE(result && result->finished) << id;
        EXPECT_EQ(result->finished->stdoutText, id + "\n");
    }
    EXPECT_TRUE(runs->stopAll(10s));
    EXPECT_TRUE(filesLeft().empty());
}

size_t threadsOfThisProcess() {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/task"))
        ++count;
    return count;
}

TEST_F(ScriptRunsTest, RunsShareOneThreadWhateverTheirNumber) {
    if (!fs::exists("/proc/self/task")) GTEST_SKIP() << "threads are counted through /proc";
    makeRuns();
    constexpr int count = 40;
    auto start = [&](int i) {
        const std::string id = "sleeper-" + std::to_string(i);
        ASSERT_EQ(runs->start(id, ": > \"$(dirname \"$0\")/ready-" + id + "\"; exec sleep 30",
                              60000, results.completionFor(id)),
                  ScriptRunStart::started);
        ASSERT_TRUE(markerAppears("ready-" + id));
    };
    // Counted once the first run has its loop (and a sanitizer its helper thread, if any).
    start(0);
    const size_t withOneRun = threadsOfThisProcess();
    for (int i = 1; i < count; ++i) start(i);
    EXPECT_EQ(threadsOfThisProcess(), withOneRun) << "one loop thread for every run";
    EXPECT_TRUE(runs->stopAll(10s));
    for (int i = 0; i < count; ++i) {
        std::optional<ScriptRunResult> result = results.waitFor("sleeper-" + std::to_string(i));
        ASSERT_TRUE(result && result->finished);
        EXPECT_TRUE(result->finished->cancelled);
    }
    EXPECT_TRUE(filesLeft().empty());
}

} // namespace
} // namespace dorvex
