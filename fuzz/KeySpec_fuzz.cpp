// Key specifications from controllers: the parse never fails on any text, and a shortcut the
// driver refuses stays refused however it is spelled (same key, same modifiers).
#include "DorvexCore/KeySpec.h"
#include "DorvexCore/Text.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using dorvex::KeySpec::ParsedKey;

bool pressesSameKey(const ParsedKey& a, const ParsedKey& b) {
    if (a.flags != b.flags) return false;
    if (a.key == b.key) return true;
    std::optional<uint16_t> codeA = dorvex::KeySpec::keyCode(a.key);
    return codeA && codeA == dorvex::KeySpec::keyCode(b.key);
}

// The refused shortcuts as parsed, once.
const std::vector<std::pair<std::string, ParsedKey>>& refusedKeys() {
    static const std::vector<std::pair<std::string, ParsedKey>> keys = [] {
        std::vector<std::pair<std::string, ParsedKey>> parsed;
        for (const std::string& shortcut : dorvex::KeySpec::blockedShortcutSet()) {
            if (auto key = dorvex::KeySpec::parseKeySpec(shortcut))
                parsed.emplace_back(shortcut, *key);
        }
        return parsed;
    }();
    return keys;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    namespace KeySpec = dorvex::KeySpec;
    const std::string spec =
        dorvex::text::trimWhitespaceAndNewlines({reinterpret_cast<const char*>(data), size});
    const bool blocked = KeySpec::isBlockedShortcut(spec);
    const std::optional<ParsedKey> parsed = KeySpec::parseKeySpec(spec);
    if (!parsed) return 0;
    (void)KeySpec::keyCode(parsed->key);
    for (const auto& [shortcut, refused] : refusedKeys()) {
        if (pressesSameKey(*parsed, refused) && !blocked) {
            std::fprintf(stderr, "KeySpec_fuzz: \"%s\" presses %s but is not refused\n",
                         spec.c_str(), shortcut.c_str());
            std::abort();
        }
    }
    return 0;
}
