#include "DorvexCore/PlatformChoice.h"

#include <algorithm>

namespace dorvex::PlatformChoice {
namespace {

bool contains(const auto& names, std::string_view name) {
    return std::find(std::begin(names), std::end(names), name) != std::end(names);
}

// The name as it may appear in a one-line message: control characters (a line feed in the
// variable would split the line) become "?".
std::string printable(std::string_view name) {
    std::string text(name);
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    }
    return text;
}

std::string joined(const std::vector<std::string_view>& names) {
    std::string text;
    for (std::string_view name : names) {
        if (!text.empty()) text += ", ";
        text += name;
    }
    return text;
}

} // namespace

std::variant<std::string, Refusal> choose(std::optional<std::string_view> requested,
                                          const std::vector<std::string_view>& built,
                                          std::string_view hostDefault) {
    const std::string_view name = requested && !requested->empty() ? *requested : hostDefault;
    if (contains(built, name)) return std::string(name);
    const std::string choices = "this driver was built with: " + joined(built) + ".";
    if (!contains(knownBindings, name)) {
        return Refusal{"dorvex: DORVEX_PLATFORM=" + printable(name) + " names no platform; " +
                       choices};
    }
    return Refusal{"dorvex: the " + std::string(name) +
                   " platform is not built into this driver; " + choices};
}

} // namespace dorvex::PlatformChoice
