#include "Dorvex/Termination.h"

#include "Dorvex/Scripts.h"

#include <csignal>
#include <cstdlib>
#include <pthread.h>
#include <thread>

namespace dorvex {

void stopScriptsForShutdown() {
    // If no script ever ran, the registry is made here only to refuse later starts; it never
    // runs anything, so it needs no interpreter.
    Shared::scripts([] { return std::string(); })->stopAll(shutdownGrace);
}

void startTerminationWatcher() {
    sigset_t terms;
    sigemptyset(&terms);
    sigaddset(&terms, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &terms, nullptr);
    std::thread([terms] {
        int signal = 0;
        while (sigwait(&terms, &signal) != 0) {
        }
        stopScriptsForShutdown();
        // Unblock here only, then raise: the default action ends the whole process.
        std::signal(SIGTERM, SIG_DFL);
        pthread_sigmask(SIG_UNBLOCK, &terms, nullptr);
        raise(SIGTERM);
        std::_Exit(128 + SIGTERM); // not reached: the signal has ended the process
    }).detach();
}

} // namespace dorvex
