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

namespace {

using dorvex::KeySpec::ParsedKey;

bool pressesSameKey(const ParsedKey& a, const ParsedKey& b) {
    if (a.flags != b.flags) return false;
    if (a.key == b.key) return true;
    std::optional<uint16_t> codeA = dorvex::KeySpec::keyCode(a.key);
    return codeA && codeA == dorvex::KeySpec::keyCode(b.key);
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
    for (const std::string& shortcut : KeySpec::blockedShortcutSet()) {
        std::optional<ParsedKey> refused = KeySpec::parseKeySpec(shortcut);
        if (refused && pressesSameKey(*parsed, *refused) && !blocked) {
            std::fprintf(stderr, "KeySpec_fuzz: \"%s\" presses %s but is not refused\n",
                         spec.c_str(), shortcut.c_str());
            std::abort();
        }
    }
    return 0;
}
