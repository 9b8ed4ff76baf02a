#pragma once

#include "DorvexOS/ScriptRuns.h"

#include <chrono>
#include <memory>

namespace dorvex {

// How long shutdown waits for running scripts to answer.
inline constexpr std::chrono::seconds shutdownGrace{3};

// Blocks SIGTERM on the calling thread, and so on every thread it starts later, leaving it to
// the watcher. Called before any thread is started.
void blockTermination();

// Starts the detached thread that waits for SIGTERM: it stops running scripts, then lets the
// signal end the process.
void startTerminationWatcher(std::shared_ptr<ScriptRuns> scripts);

// Stops every running script and waits for their answers, at most shutdownGrace.
void stopScriptsForShutdown(ScriptRuns& scripts);

} // namespace dorvex
