#include "DorvexOS/ScriptRuns.h"

#include "DorvexOS/Files.h"
#include "DorvexOS/Uuid.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <unistd.h>

namespace dorvex {

struct ScriptRuns::Entry {
    std::shared_ptr<ProcessCancellation> token;
    // Set once the run has finished and its completion is answering: from then on there is
    // nothing to cancel, though the id stays taken until the completion has returned.
    bool answering = false;
};

// Shared with every run's thread, so a run can finish after the registry object is gone.
struct ScriptRuns::State {
    std::string executablePath;
    std::filesystem::path directory;
    std::mutex lock;
    std::condition_variable changed; // a run left the registry
    std::map<std::string, Entry> runs;
    bool stopping = false;
};

namespace {

void markAnswering(ScriptRuns::State& state, const std::string& id,
                   const std::shared_ptr<ProcessCancellation>& token) {
    std::lock_guard<std::mutex> guard(state.lock);
    auto entry = state.runs.find(id);
    if (entry != state.runs.end() && entry->second.token == token) entry->second.answering = true;
}

void leaveRegistry(ScriptRuns::State& state, const std::string& id,
                   const std::shared_ptr<ProcessCancellation>& token) {
    std::lock_guard<std::mutex> guard(state.lock);
    auto entry = state.runs.find(id);
    if (entry != state.runs.end() && entry->second.token == token) state.runs.erase(entry);
    state.changed.notify_all();
}

void callCompletion(const ScriptRuns::Completion& completion, const ScriptRunResult& result) {
    try {
        completion(result);
    } catch (...) {
        // The run must still leave the registry, or shutdown would wait for it in vain.
    }
}

// What the loop calls when the interpreter is done. The completion comes before the run leaves
// the registry: once it has left, stopAll may return and the process may end, and its answer
// must already be written by then. A cancel that comes while the answer is being written
// finds nothing left to stop.
void finishRun(ScriptRuns::State& state, const std::string& id,
               const std::shared_ptr<ProcessCancellation>& token,
               const ScriptRuns::Completion& completion, const ScriptRunResult& result) {
    markAnswering(state, id, token);
    callCompletion(completion, result);
    leaveRegistry(state, id, token);
}

} // namespace

ScriptRuns::ScriptRuns(std::string executablePath, std::filesystem::path directory,
                       ProcessRunner::Timings timings)
    : state_(std::make_shared<State>()), loop_(std::make_shared<SystemProcessControl>(), timings) {
    state_->executablePath = std::move(executablePath);
    state_->directory = std::move(directory);
}

ScriptRuns::~ScriptRuns() {
    stopAll(std::chrono::steady_clock::duration::zero());
}

ScriptRunStart ScriptRuns::start(const std::string& id, const std::string& script,
                                 int64_t timeoutMs, Completion completion) {
    auto token = std::make_shared<ProcessCancellation>();
    {
        std::lock_guard<std::mutex> guard(state_->lock);
        if (state_->stopping) return ScriptRunStart::stopping;
        if (state_->runs.count(id) != 0) return ScriptRunStart::alreadyRunning;
        state_->runs.emplace(id, Entry{token});
    }
    std::filesystem::path file;
    try {
        file = state_->directory / scriptFileName(uuid::newUpper());
    } catch (...) {
        file.clear(); // no name could be made: nothing is written, nothing runs
    }
    // Written whole before the interpreter sees it, private to the user: a shared temporary
    // directory cannot be used to plant or read it.
    if (file.empty() || !files::writeFileAtomically(file, script)) {
        finishRun(*state_, id, token, completion, ScriptRunResult{});
        return ScriptRunStart::started;
    }
    loop_.start(ProcessSpec{state_->executablePath, {file.string()}, timeoutMs, outputSettleMs},
                token, [state = state_, id, token, file, completion](ProcessOutcome outcome) {
                    ::unlink(file.c_str()); // a failure to remove changes nothing about the answer
                    finishRun(*state, id, token, completion, ScriptRunResult{std::move(outcome)});
                });
    return ScriptRunStart::started;
}

bool ScriptRuns::cancel(const std::string& id) {
    std::shared_ptr<ProcessCancellation> token;
    {
        std::lock_guard<std::mutex> guard(state_->lock);
        auto entry = state_->runs.find(id);
        if (entry != state_->runs.end() && !entry->second.answering) token = entry->second.token;
    }
    // The token's lock is taken only after the registry's is released.
    if (!token) return false;
    token->cancel(false);
    return true;
}

bool ScriptRuns::stopAll(std::chrono::steady_clock::duration waitingUpTo) {
    std::unique_lock<std::mutex> guard(state_->lock);
    state_->stopping = true;
    for (auto& [id, entry] : state_->runs) {
        entry.token->cancel(true);
    }
    const auto deadline = std::chrono::steady_clock::now() + waitingUpTo;
    return state_->changed.wait_until(guard, deadline, [this] { return state_->runs.empty(); });
}

std::string scriptFileName(const std::string& uuid) {
    return "nubo-script-" + uuid + ".applescript";
}

} // namespace dorvex
