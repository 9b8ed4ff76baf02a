#include "Dorvex/Termination.h"

#include <csignal>
#include <pthread.h>
#include <thread>

namespace dorvex {

void stopScriptsForShutdown() {
    // No script runs exist yet, so there is nothing to stop.
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
        pthread_sigmask(SIG_UNBLOCK, &terms, nullptr);
        raise(SIGTERM);
    }).detach();
}

} // namespace dorvex
