#include "DorvexCore/KeySpec.h"

#include <gtest/gtest.h>

namespace dorvex::KeySpec {
namespace {

constexpr uint64_t cmd = maskCommand;
constexpr uint64_t shift = maskShift;
constexpr uint64_t opt = maskAlternate;
constexpr uint64_t ctrl = maskControl;

TEST(KeySpecTables, HoldTheAnsiCodesAndTheTenBlockedShortcuts) {
    EXPECT_EQ(keyCodeMap().size(), 59u);
    EXPECT_EQ(blockedShortcutSet().size(), 10u);
    struct Case {
        const char* key;
        std::optional<uint16_t> code;
    } cases[] = {
        {"a", 0},
        {"s", 1},
        {"k", 40},
        {"t", 17},
        {"q", 12},
        {"z", 6},
        {"0", 29},
        {"5", 23},
        {"6", 22},
        {"9", 25},
        {"-", 27},
        {"=", 24},
        {"\\", 42},
        {"'", 39},
        {"/", 44},
        {"return", 36},
        {"enter", 36},
        {"tab", 48},
        {"space", 49},
        {"delete", 51},
        {"escape", 53},
        {"esc", 53},
        {"left", 123},
        {"up", 126},
        {"pageup", 116},
        {"pagedown", 121},
        // Not on the list: function, home/end, forward delete, grave accent, keypad, capitals.
        {"f1", std::nullopt},
        {"home", std::nullopt},
        {"end", std::nullopt},
        {"forwarddelete", std::nullopt},
        {"`", std::nullopt},
        {"kp1", std::nullopt},
        {"A", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(keyCode(c.key), c.code);
    }
}

TEST(KeySpecParse, SplitsModifiersFromTheKey) {
    struct Case {
        const char* spec;
        std::optional<ParsedKey> parsed;
    } cases[] = {
        {"Cmd+Shift+K", ParsedKey{"k", cmd | shift}},
        {"  command + option + a \n", ParsedKey{"a", cmd | opt}},
        {"cmd+hyper+a", ParsedKey{"a", cmd}},
        {"shift+shift+a", ParsedKey{"a", shift}},
        {"SHIFT+Shift+sHiFt+a", ParsedKey{"a", shift}},
        {"ctrl+control+alt+opt+option+x", ParsedKey{"x", ctrl | opt}},
        {"a", ParsedKey{"a", 0}},
        {"Return", ParsedKey{"return", 0}},
        {"+", ParsedKey{"+", 0}},
        {"a+", ParsedKey{"a+", 0}},
        {"cmd++", ParsedKey{"cmd++", 0}},
        {"cmd+++a", ParsedKey{"a", cmd}},
        {"cmd+\ta", ParsedKey{"\ta", cmd}},        // only U+0020 is removed inside
        {"\u00C9", ParsedKey{"\u00E9", 0}},        // full Unicode lower-casing
        {"CMD+\u0130", ParsedKey{"i\u0307", cmd}}, // dotted capital I: two code points
        {"", std::nullopt},
        {"    ", std::nullopt},
        {"\t\n\u2003", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.spec);
        EXPECT_EQ(parseKeySpec(c.spec), c.parsed);
    }
}

TEST(KeySpecBlocked, RefusesTheSetInAnyCaseAndSpacing) {
    struct Case {
        const char* spec;
        bool blocked;
    } cases[] = {
        {"cmd+q", true},
        {"Cmd + Q", true},
        {"COMMAND+SHIFT+Q", true},
        {"command+w", true},
        {"cmd+tab", true},
        {"cmd+option+esc", true},
        {"cmd+shift+w", false},
        {"cmd+a", false},
        {"q", false},
        {"ctrl+q", false},
        {"cmd+opt+shift+q", false},
        {"cmd+f5", false},
        {"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.spec);
        EXPECT_EQ(isBlockedShortcut(c.spec), c.blocked);
    }
}

// The set is written one way; a spelling that presses the same key with the same modifiers
// would otherwise slip past it and quit the user's app.
TEST(KeySpecBlocked, RefusesOtherSpellingsOfABlockedChord) {
    for (const char* spec :
         {"shift+cmd+q", "cmd+q+", "+cmd+q", "cmd++q", "cmd+hyper+q", "command+command+w",
          "cmd+opt+escape", "option+command+esc", "alt+cmd+esc", "shift+command+Q"}) {
        SCOPED_TRACE(spec);
        EXPECT_TRUE(isBlockedShortcut(spec));
    }
}

} // namespace
} // namespace dorvex::KeySpec
