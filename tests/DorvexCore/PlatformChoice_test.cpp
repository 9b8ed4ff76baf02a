// Which binding the driver starts: DORVEX_PLATFORM's choice among the built ones, or the host's.
#include "DorvexCore/PlatformChoice.h"

#include <gtest/gtest.h>

namespace dorvex::PlatformChoice {
namespace {

// The chosen name, or "refused: " and the message.
std::string outcome(const std::variant<std::string, Refusal>& choice) {
    if (const auto* refusal = std::get_if<Refusal>(&choice)) return "refused: " + refusal->message;
    return std::get<std::string>(choice);
}

TEST(PlatformChoice, ChoosesARequestedBuiltBindingOrTheHostsOrRefuses) {
    const std::vector<std::string_view> simOnly{"sim"};
    const std::vector<std::string_view> simAndMac{"sim", "macos"};
    struct Case {
        const char* name;
        std::optional<std::string_view> requested;
        const std::vector<std::string_view>& built;
        std::string_view hostDefault;
        std::string expected;
    } cases[] = {
        {"unset: the host default", std::nullopt, simOnly, "sim", "sim"},
        {"empty counts as unset", "", simOnly, "sim", "sim"},
        {"unset on a host with a real binding", std::nullopt, simAndMac, "macos", "macos"},
        {"empty on a host with a real binding", "", simAndMac, "macos", "macos"},
        {"a built name beats the host default", "sim", simAndMac, "macos", "sim"},
        {"the host's own binding by name", "macos", simAndMac, "macos", "macos"},
        {"an unknown name", "nonsense", simOnly, "sim",
         "refused: dorvex: DORVEX_PLATFORM=nonsense names no platform; this driver was built "
         "with: sim."},
        {"names are exact", "SIM", simAndMac, "macos",
         "refused: dorvex: DORVEX_PLATFORM=SIM names no platform; this driver was built with: "
         "sim, macos."},
        {"control characters cannot split the line", "sim\nmacos", simAndMac, "macos",
         "refused: dorvex: DORVEX_PLATFORM=sim?macos names no platform; this driver was built "
         "with: sim, macos."},
        {"a known name this build lacks", "linux", simAndMac, "macos",
         "refused: dorvex: the linux platform is not built into this driver; this driver was "
         "built with: sim, macos."},
        {"a host default this build lacks", std::nullopt, simOnly, "macos",
         "refused: dorvex: the macos platform is not built into this driver; this driver was "
         "built with: sim."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(outcome(choose(c.requested, c.built, c.hostDefault)), c.expected) << c.name;
}

} // namespace
} // namespace dorvex::PlatformChoice
