#include "DorvexCore/KeySpec.h"

#include "DorvexCore/Text.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

namespace dorvex::KeySpec {
namespace {

constexpr std::array<std::pair<const char*, uint16_t>, 59> keyCodes{{
    {"a", 0},       {"b", 11},      {"c", 8},        {"d", 2},          {"e", 14},
    {"f", 3},       {"g", 5},       {"h", 4},        {"i", 34},         {"j", 38},
    {"k", 40},      {"l", 37},      {"m", 46},       {"n", 45},         {"o", 31},
    {"p", 35},      {"q", 12},      {"r", 15},       {"s", 1},          {"t", 17},
    {"u", 32},      {"v", 9},       {"w", 13},       {"x", 7},          {"y", 16},
    {"z", 6},       {"0", 29},      {"1", 18},       {"2", 19},         {"3", 20},
    {"4", 21},      {"5", 23},      {"6", 22},       {"7", 26},         {"8", 28},
    {"9", 25},      {"-", 27},      {"=", 24},       {"[", 33},         {"]", 30},
    {"\\", 42},     {";", 41},      {"'", 39},       {",", 43},         {".", 47},
    {"/", 44},      {"return", 36}, {"enter", 36},   {"tab", 48},       {"space", 49},
    {"delete", 51}, {"escape", 53}, {"esc", 53},     {"left", 123},     {"right", 124},
    {"down", 125},  {"up", 126},    {"pageup", 116}, {"pagedown", 121},
}};

constexpr std::array<const char*, 10> blockedShortcuts{
    "command+q",          "cmd+q",          "command+w",       "cmd+w",
    "command+tab",        "cmd+tab",        "command+shift+q", "cmd+shift+q",
    "command+option+esc", "cmd+option+esc",
};

constexpr std::array<std::pair<const char*, uint64_t>, 8> modifierWords{{
    {"cmd", maskCommand},
    {"command", maskCommand},
    {"shift", maskShift},
    {"opt", maskAlternate},
    {"option", maskAlternate},
    {"alt", maskAlternate},
    {"ctrl", maskControl},
    {"control", maskControl},
}};

std::string withoutSpaces(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
    return text;
}

uint64_t modifierFlag(const std::string& word) {
    for (const auto& [name, flag] : modifierWords) {
        if (word == name) return flag;
    }
    return 0;
}

std::vector<std::string> nonEmptyPieces(const std::string& text) {
    std::vector<std::string> pieces;
    size_t start = 0;
    while (start <= text.size()) {
        size_t plus = text.find('+', start);
        if (plus == std::string::npos) plus = text.size();
        if (plus > start) pieces.push_back(text.substr(start, plus - start));
        start = plus + 1;
    }
    return pieces;
}

// What a specification presses: the key's code and the modifiers.
struct Chord {
    uint16_t code = 0;
    uint64_t flags = 0;
    friend bool operator==(const Chord&, const Chord&) = default;
};

std::optional<Chord> chordOf(std::string_view spec) {
    std::optional<ParsedKey> parsed = parseKeySpec(spec);
    if (!parsed) return std::nullopt;
    std::optional<uint16_t> code = keyCode(parsed->key);
    if (!code) return std::nullopt;
    return Chord{*code, parsed->flags};
}

const std::vector<Chord>& blockedChords() {
    static const std::vector<Chord> chords = [] {
        std::vector<Chord> built;
        for (const char* shortcut : blockedShortcuts) {
            if (std::optional<Chord> chord = chordOf(shortcut)) built.push_back(*chord);
        }
        return built;
    }();
    return chords;
}

} // namespace

const KeyCodeMap& keyCodeMap() {
    static const KeyCodeMap map(keyCodes.begin(), keyCodes.end());
    return map;
}

const ShortcutSet& blockedShortcutSet() {
    static const ShortcutSet set(blockedShortcuts.begin(), blockedShortcuts.end());
    return set;
}

void buildTables() {
    keyCodeMap();
    blockedShortcutSet();
    blockedChords();
}

std::optional<ParsedKey> parseKeySpec(std::string_view spec) {
    const std::string normalized =
        withoutSpaces(text::lowercased(text::trimWhitespaceAndNewlines(spec)));
    if (normalized.empty()) return std::nullopt;
    std::vector<std::string> pieces = nonEmptyPieces(normalized);
    if (pieces.size() < 2) return ParsedKey{normalized, 0};
    ParsedKey parsed{pieces.back(), 0};
    for (size_t i = 0; i + 1 < pieces.size(); ++i) {
        parsed.flags |= modifierFlag(pieces[i]);
    }
    return parsed;
}

std::optional<uint16_t> keyCode(const std::string& key) {
    const KeyCodeMap& map = keyCodeMap();
    auto found = map.find(key);
    if (found == map.end()) return std::nullopt;
    return found->second;
}

bool isBlockedShortcut(std::string_view spec) {
    if (blockedShortcutSet().contains(withoutSpaces(text::lowercased(spec)))) return true;
    // The set is written one way; the same chord spelt any other way is just as harmful.
    std::optional<Chord> chord = chordOf(spec);
    if (!chord) return false;
    const std::vector<Chord>& blocked = blockedChords();
    return std::find(blocked.begin(), blocked.end(), *chord) != blocked.end();
}

} // namespace dorvex::KeySpec
