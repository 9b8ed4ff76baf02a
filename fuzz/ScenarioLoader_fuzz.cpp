// Scenario files as controller authors write them by hand: any text either loads or is refused
// with a reason, never anything else. Relative pictures and bundles are looked up among the
// examples, so the seeds load whole. The checker of dorvex-scenario reads the same texts.
#include "platform/sim/SimScenario.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string examples = std::string(DORVEX_SOURCE_DIR) + "/examples/scenarios";
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    dorvex::platform::sim::SimScenarioLoad load =
        dorvex::platform::sim::loadScenario(text, examples);
    if (load.scenario.has_value() == !load.error.empty()) {
        std::fprintf(stderr, "a scenario must either load or say why it was refused\n");
        std::abort();
    }
    // The checker goes on after problems: it must agree with the load on whether there are
    // any, and every pointer it names must be one (empty or starting with "/").
    dorvex::platform::sim::SimScenarioCheck check =
        dorvex::platform::sim::checkScenario(text, examples);
    if (check.scenario.has_value() != load.scenario.has_value()) {
        std::fprintf(stderr,
                     "the checker and the load disagree on whether the scenario is clean\n");
        std::abort();
    }
    for (const dorvex::platform::sim::ScenarioProblem& problem : check.problems) {
        if (!problem.pointer.empty() && problem.pointer.front() != '/') std::abort();
    }
    return 0;
}
