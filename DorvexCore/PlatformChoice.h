#pragma once

// Which platform binding the driver starts: the one DORVEX_PLATFORM names, or the host's own.
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace dorvex::PlatformChoice {

// Every binding there is; a build has some of them.
inline constexpr std::string_view knownBindings[] = {"sim", "macos", "linux"};

struct Refusal {
    std::string message; // one line for standard error, naming the choices
};

// `requested` is DORVEX_PLATFORM's value (nothing or empty: unset), `built` the bindings of
// this build, `hostDefault` the one a host starts without a request (macos on Apple hosts, sim
// elsewhere). The chosen name, or why none can be started.
std::variant<std::string, Refusal> choose(std::optional<std::string_view> requested,
                                          const std::vector<std::string_view>& built,
                                          std::string_view hostDefault);

} // namespace dorvex::PlatformChoice
