// What a script run costs beyond starting its interpreter: the same trivial shell script run
// by a bare posix_spawn and waitpid, by the process runner (pipes, collectors, exit waiter,
// group stop machinery), and as a whole script run (temporary file, own thread, completion).
#include "DorvexOS/ProcessRunner.h"
#include "DorvexOS/ScriptRuns.h"
#include "support/TempDir.h"

#include <benchmark/benchmark.h>
#include <condition_variable>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <spawn.h>
#include <sys/wait.h>

extern "C" char** environ;

namespace {

namespace fs = std::filesystem;

const char* const shell = "/bin/sh";
const std::string trivialScript = "echo ok\n";

// Removed when the program ends.
const fs::path& scratchDirectory() {
    static const dorvex::testing::TempDir directory("script-run-bench");
    return directory.path();
}

std::string scriptFile() {
    const fs::path file = scratchDirectory() / "trivial.sh";
    std::ofstream(file) << trivialScript;
    return file.string();
}

void BM_BarePosixSpawn(benchmark::State& state) {
    const std::string file = scriptFile();
    char* argv[] = {const_cast<char*>(shell), const_cast<char*>(file.c_str()), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    for (auto _ : state) {
        pid_t pid = 0;
        if (posix_spawn(&pid, shell, &actions, nullptr, argv, environ) != 0) std::abort();
        int status = 0;
        ::waitpid(pid, &status, 0);
    }
    posix_spawn_file_actions_destroy(&actions);
}
BENCHMARK(BM_BarePosixSpawn)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_ProcessRunner(benchmark::State& state) {
    const std::string file = scriptFile();
    for (auto _ : state) {
        dorvex::ProcessOutcome outcome =
            dorvex::ProcessRunner::run(shell, {file}, 10000, 500, nullptr);
        if (outcome.stdoutText != "ok\n") std::abort();
    }
}
BENCHMARK(BM_ProcessRunner)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_ScriptRun(benchmark::State& state) {
    dorvex::ScriptRuns runs(shell, scratchDirectory());
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;
    int64_t next = 0;
    for (auto _ : state) {
        finished = false;
        runs.start(std::to_string(++next), trivialScript, 10000,
                   [&](const dorvex::ScriptRunResult& result) {
                       if (!result.finished || result.finished->stdoutText != "ok\n") std::abort();
                       std::lock_guard<std::mutex> guard(lock);
                       finished = true;
                       done.notify_one();
                   });
        std::unique_lock<std::mutex> guard(lock);
        done.wait(guard, [&] { return finished; });
    }
    runs.stopAll(std::chrono::seconds(5));
}
BENCHMARK(BM_ScriptRun)->UseRealTime()->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
