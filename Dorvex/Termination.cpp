#include "Dorvex/Termination.h"

#include <csignal>
#include <cstdlib>
#include <pthread.h>
#include <thread>

namespace dorvex {
namespace {

sigset_t terminationSignals() {
    sigset_t terms;
    sigemptyset(&terms);
    sigaddset(&terms, SIGTERM);
    return terms;
}

} // namespace

void stopScriptsForShutdown(ScriptRuns& scripts) {
    scripts.stopAll(shutdownGrace);
}

void blockTermination() {
    const sigset_t terms = terminationSignals();
    pthread_sigmask(SIG_BLOCK, &terms, nullptr);
}

void startTerminationWatcher(std::shared_ptr<ScriptRuns> scripts) {
    std::thread([scripts = std::move(scripts)] {
        const sigset_t terms = terminationSignals();
        int signal = 0;
        while (sigwait(&terms, &signal) != 0) {
        }
        stopScriptsForShutdown(*scripts);
        // Unblock here only, then raise: the default action ends the whole process.
        std::signal(SIGTERM, SIG_DFL);
        pthread_sigmask(SIG_UNBLOCK, &terms, nullptr);
        raise(SIGTERM);
        std::_Exit(128 + SIGTERM); // not reached: the signal has ended the process
    }).detach();
}

} // namespace dorvex
