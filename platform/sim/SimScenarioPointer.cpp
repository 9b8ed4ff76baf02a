#include "platform/sim/SimScenario.h"

#include <algorithm>
#include <cstdint>

namespace dorvex::platform::sim {
namespace {

std::string escaped(const std::string& key) {
    std::string token;
    for (char c : key) {
        if (c == '~') {
            token += "~0";
        } else if (c == '/') {
            token += "~1";
        } else {
            token += c;
        }
    }
    return token;
}

// The key `rest` begins with: the longest key of `node` that is followed by the end, a "." or
// a "[" (a bundle id holds dots), else the text up to the next "." or "[".
std::string leadingKey(const Json* node, std::string_view rest) {
    std::string best;
    if (node && node->is_object()) {
        for (const auto& [key, unused] : node->items()) {
            if (key.size() <= best.size() || rest.substr(0, key.size()) != key) continue;
            if (rest.size() == key.size() || rest[key.size()] == '.' || rest[key.size()] == '[') {
                best = key;
            }
        }
    }
    if (!best.empty()) return best;
    return std::string(rest.substr(0, rest.find_first_of(".[")));
}

size_t arrayIndex(const std::string& digits) {
    if (digits.empty() || digits.size() > 9 ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
        return SIZE_MAX;
    }
    return std::stoul(digits);
}

} // namespace

std::string scenarioPointer(const Json& document, const std::string& path) {
    // The loader names the whole file "scenario"; a few checks name a top-level key alone.
    const bool whole =
        path.rfind("scenario", 0) == 0 && (path.size() == 8 || path[8] == '.' || path[8] == '[');
    const std::string walk = whole ? path.substr(8) : "." + path;
    std::string_view rest = walk;
    const Json* node = &document;
    std::string pointer;
    while (!rest.empty()) {
        if (rest.front() == '[') {
            const size_t close = std::min(rest.find(']'), rest.size());
            const std::string index(rest.substr(1, close - 1));
            pointer += "/" + index;
            const size_t i = arrayIndex(index);
            node = node && node->is_array() && i < node->size() ? &(*node)[i] : nullptr;
            rest.remove_prefix(std::min(close + 1, rest.size()));
            continue;
        }
        if (rest.front() == '.') rest.remove_prefix(1);
        const std::string key = leadingKey(node, rest);
        pointer += "/" + escaped(key);
        node = node && node->is_object() && node->contains(key) ? &(*node)[key] : nullptr;
        rest.remove_prefix(key.size());
    }
    return pointer;
}

} // namespace dorvex::platform::sim
