// The driver's entry point: the binding, the probe argument, the SIGTERM watcher, then the
// request loop.
#include "Dorvex/Bindings.h"
#include "Dorvex/Driver.h"
#include "Dorvex/ProcessWide.h"
#include "Dorvex/RequestLoop.h"
#include "Dorvex/Termination.h"
#include "Dorvex/Transport.h"
#include "DorvexCore/KeySpec.h"
#include "DorvexCore/PlatformChoice.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace {

// The factory of the binding DORVEX_PLATFORM (or the host) asks for; a refusal ends the
// process here, before any protocol line, with one line on standard error.
dorvex::platform::BindingFactory chosenBinding() {
    const char* requested = std::getenv("DORVEX_PLATFORM");
    std::vector<std::string_view> built;
    for (const dorvex::BuiltBinding& binding : dorvex::builtBindings())
        built.push_back(binding.name);
    auto choice = dorvex::PlatformChoice::choose(
        requested ? std::optional<std::string_view>(requested) : std::nullopt, built,
        dorvex::hostDefaultBinding());
    if (const auto* refusal = std::get_if<dorvex::PlatformChoice::Refusal>(&choice)) {
        std::fprintf(stderr, "%s\n", refusal->message.c_str());
        std::exit(2);
    }
    for (const dorvex::BuiltBinding& binding : dorvex::builtBindings()) {
        if (binding.name == std::get<std::string>(choice)) return binding.make;
    }
    std::exit(2); // not reached: the choice is one of the built bindings
}

} // namespace

int main(int argc, char** argv) {
    const dorvex::platform::BindingFactory makeBinding = chosenBinding();
    if (argc > 1 && std::strcmp(argv[1], "--probe-screen-capture") == 0) {
        return makeBinding()->preflightScreenCaptureAccess() ? 42 : 1;
    }
    // A controller that closes its end must not kill the driver mid-write.
    std::signal(SIGPIPE, SIG_IGN);
    dorvex::blockTermination();
    std::unique_ptr<dorvex::platform::Binding> binding = makeBinding();
    const dorvex::platform::Platform platform = binding->facets();
    dorvex::ProcessWide shared(std::make_shared<dorvex::DescriptorTransport>(STDOUT_FILENO),
                               dorvex::ProcessSettings::fromEnvironment(platform.workspace));
    dorvex::startTerminationWatcher(shared.scripts);
    dorvex::KeySpec::buildTables();
    {
        dorvex::Driver driver{platform, shared};
        dorvex::runRequestLoop(driver, STDIN_FILENO);
    }
    dorvex::stopScriptsForShutdown(*shared.scripts);
    // An app-inventory read that never returned is still inside the platform on its worker
    // thread: the platform must then outlive main, so exit without destroying it.
    if (!shared.appInventory.isRunning()) binding.reset();
    std::exit(0);
}
