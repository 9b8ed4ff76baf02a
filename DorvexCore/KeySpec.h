#pragma once

// Key specifications such as "cmd+shift+k": the key names the driver can press, the shortcuts
// it never posts, and the parse of a specification into a key and modifier flags. Pure.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace dorvex::KeySpec {

// The platform's event-flag bits of the four modifiers.
inline constexpr uint64_t maskCommand = 0x00100000;
inline constexpr uint64_t maskShift = 0x00020000;
inline constexpr uint64_t maskAlternate = 0x00080000;
inline constexpr uint64_t maskControl = 0x00040000;

using KeyCodeMap = std::unordered_map<std::string, uint16_t>;
using ShortcutSet = std::unordered_set<std::string>;

// Key name (lower case) to the virtual key code of the ANSI layout: letters, digits, ten
// punctuation keys and thirteen named keys, 59 in all. Built on first use and never changed;
// the driver builds it at start-up, before the first request.
const KeyCodeMap& keyCodeMap();

// The ten shortcuts that would quit, close or switch away from the user's work.
const ShortcutSet& blockedShortcutSet();

// Builds both tables (and what the blocked-shortcut test derives from them) now, so that no
// request pays for it; the driver calls it once at start-up.
void buildTables();

struct ParsedKey {
    std::string key;
    uint64_t flags = 0;
    friend bool operator==(const ParsedKey&, const ParsedKey&) = default;
};

// Trims, lower-cases (full Unicode), drops every U+0020 and splits at "+": the last piece is
// the key, the earlier ones modifier words (unknown words are ignored). Fewer than two pieces
// make the whole text the key. Nothing when the text is empty after that normalization. The
// key is not looked up.
std::optional<ParsedKey> parseKeySpec(std::string_view spec);

// The key's code, when the key is in keyCodeMap.
std::optional<uint16_t> keyCode(const std::string& key);

// Whether the specification (as the action read it: trimmed) is a blocked shortcut: literally
// one of blockedShortcutSet once lower-cased without spaces, or any spelling that presses the
// same key with exactly the same modifiers ("shift+cmd+q", "cmd+q+", "cmd+opt+escape").
bool isBlockedShortcut(std::string_view spec);

} // namespace dorvex::KeySpec
