#pragma once

#include <chrono>

namespace dorvex {

// How long shutdown waits for running scripts to answer.
inline constexpr std::chrono::seconds shutdownGrace{3};

// Blocks SIGTERM on the calling thread (and so on every thread it starts later) and starts
// the detached thread that waits for it: on SIGTERM it stops running scripts, then lets the
// signal end the process.
void startTerminationWatcher();

// Stops every running script and waits for their answers, at most shutdownGrace.
void stopScriptsForShutdown();

} // namespace dorvex
