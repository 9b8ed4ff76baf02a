// The driver's entry point: the probe argument, the SIGTERM watcher, then the request loop.
#include "Dorvex/Apps.h"
#include "Dorvex/Driver.h"
#include "Dorvex/RequestLoop.h"
#include "Dorvex/Termination.h"
#include "platform/Platform.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--probe-screen-capture") == 0) {
        return dorvex::platform::makePlatform()->preflightScreenCaptureAccess() ? 42 : 1;
    }
    // A controller that closes its end must not kill the driver mid-write.
    std::signal(SIGPIPE, SIG_IGN);
    dorvex::startTerminationWatcher();
    auto platform = dorvex::platform::makePlatform();
    {
        dorvex::Driver driver{*platform, {}};
        driver.appInventoryTimeoutMs = dorvex::appInventoryTimeoutFromEnvironment();
        dorvex::runRequestLoop(driver, STDIN_FILENO);
    }
    dorvex::stopScriptsForShutdown();
    // An app-inventory read that never returned is still inside the platform on its worker
    // thread: the platform must then outlive main, so exit without destroying it.
    if (!dorvex::Shared::appInventory().isRunning()) platform.reset();
    std::exit(0);
}
