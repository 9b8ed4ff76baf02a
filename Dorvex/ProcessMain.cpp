#include "Dorvex/ProcessMain.h"

#include "Dorvex/Bindings.h"
#include "Dorvex/ProcessWide.h"
#include "Dorvex/Termination.h"
#include "DorvexCore/KeySpec.h"
#include "DorvexCore/PlatformChoice.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dorvex {
namespace {

// The factory of the binding DORVEX_PLATFORM (or the host) asks for; a refusal ends the
// process here, before any protocol line, with one line on standard error.
platform::BindingFactory chosenBinding() {
    const char* requested = std::getenv("DORVEX_PLATFORM");
    std::vector<std::string_view> built;
    for (const BuiltBinding& binding : builtBindings())
        built.push_back(binding.name);
    auto choice = PlatformChoice::choose(requested ? std::optional<std::string_view>(requested)
                                                   : std::nullopt,
                                         built, hostDefaultBinding());
    if (const auto* refusal = std::get_if<PlatformChoice::Refusal>(&choice)) {
        std::fprintf(stderr, "%s\n", refusal->message.c_str());
        std::exit(2);
    }
    for (const BuiltBinding& binding : builtBindings()) {
        if (binding.name == std::get<std::string>(choice)) return binding.make;
    }
    std::exit(2); // not reached: the choice is one of the built bindings
}

} // namespace

void runDriverProcess(int argc, char** argv, std::shared_ptr<Transport> transport,
                      const std::function<void(Driver&)>& serve) {
    const platform::BindingFactory makeBinding = chosenBinding();
    if (argc > 1 && std::strcmp(argv[1], "--probe-screen-capture") == 0) {
        // The binding is gone before exit, so a simulated desktop writes its counters.
        const bool granted = makeBinding()->preflightScreenCaptureAccess();
        std::exit(granted ? 42 : 1);
    }
    // A controller that closes its end must not kill the driver mid-write.
    std::signal(SIGPIPE, SIG_IGN);
    blockTermination();
    std::unique_ptr<platform::Binding> binding = makeBinding();
    const platform::Platform platform = binding->facets();
    ProcessWide shared(std::move(transport), ProcessSettings::fromEnvironment(platform.workspace));
    startTerminationWatcher(shared.scripts);
    KeySpec::buildTables();
    {
        Driver driver{platform, shared};
        serve(driver);
    }
    stopScriptsForShutdown(*shared.scripts);
    // An app-inventory read that never returned is still inside the platform on its worker
    // thread: the platform must then outlive this, so exit without destroying it.
    if (!shared.appInventory.isRunning()) binding.reset();
    std::exit(0);
}

} // namespace dorvex
