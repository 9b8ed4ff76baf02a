// The Linux binding's tables, without a desktop: how AT-SPI roles, states and action names read
// to the driver's rules, and which X key symbol each of the driver's keys presses.
#include "DorvexCore/KeySpec.h"
#include "platform/linux/AtspiTables.h"
#include "platform/linux/KeySymbols.h"

#include <atspi/atspi-constants.h>
#include <gtest/gtest.h>

namespace dorvex::platform::linux_desktop {
namespace {

AtspiStates statesWith(AtspiStateType state) {
    std::vector<uint32_t> words(2, 0);
    words[state / 32] |= 1U << (state % 32);
    return statesFrom(words);
}

TEST(LinuxTables, RolesReadAsTheNamesTheRulesKnow) {
    struct Case {
        AtspiRole role;
        AtspiStates states;
        const char* name;
    } cases[] = {
        {ATSPI_ROLE_PASSWORD_TEXT, {}, "AXSecureTextField"}, // the secure-field rule rests on it
        {ATSPI_ROLE_TEXT, statesWith(ATSPI_STATE_SINGLE_LINE), "AXTextField"},
        {ATSPI_ROLE_TEXT, statesWith(ATSPI_STATE_MULTI_LINE), "AXTextArea"},
        {ATSPI_ROLE_TEXT, {}, "AXTextArea"},
        {ATSPI_ROLE_ENTRY, {}, "AXTextField"},
        {ATSPI_ROLE_FRAME, {}, "AXWindow"},
        {ATSPI_ROLE_DIALOG, {}, "AXWindow"},
        {ATSPI_ROLE_PUSH_BUTTON, {}, "AXButton"},
        {ATSPI_ROLE_TOGGLE_BUTTON, {}, "AXCheckBox"},
        {ATSPI_ROLE_APPLICATION, {}, "AXApplication"},
        {ATSPI_ROLE_REDUNDANT_OBJECT, {}, "AXUnknown"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(axRoleName(c.role, c.states), c.name) << c.role;
    }
    EXPECT_EQ(axRoleName(100000, {}), "AXUnknown") << "a role newer than the table";
    EXPECT_TRUE(isPasswordRole(ATSPI_ROLE_PASSWORD_TEXT));
    EXPECT_FALSE(isPasswordRole(ATSPI_ROLE_TEXT));
    EXPECT_TRUE(isCheckableRole(ATSPI_ROLE_CHECK_BOX));
    EXPECT_FALSE(isCheckableRole(ATSPI_ROLE_PUSH_BUTTON));
}

TEST(LinuxTables, StatesBeyondTheFirstWordAreKept) {
    EXPECT_TRUE(statesWith(ATSPI_STATE_SINGLE_LINE).has(ATSPI_STATE_SINGLE_LINE));
    EXPECT_FALSE(statesWith(ATSPI_STATE_SINGLE_LINE).has(ATSPI_STATE_MULTI_LINE));
    const AtspiStates high = statesFrom({0, 1U << 3});
    EXPECT_TRUE(high.has(35));
    EXPECT_FALSE(high.has(3));
    EXPECT_FALSE(high.has(64)) << "out of range is absent, not undefined";
    EXPECT_FALSE(statesFrom({}).has(0));
}

TEST(LinuxTables, ActionsReadOnceAndThePerformingOneIsChosen) {
    // A GTK button offers "click", "press" and "release": "press" only pushes it down.
    const std::vector<std::string> button{"press", "release", "click"};
    EXPECT_EQ(axActionNames(button), (std::vector<std::string>{"AXPress", "release"}));
    EXPECT_EQ(atspiActionIndex(button, "AXPress"), 2);
    EXPECT_EQ(atspiActionIndex(button, "release"), 1) << "an unmapped name is performed as itself";
    EXPECT_EQ(atspiActionIndex(button, "AXShowMenu"), -1);
    EXPECT_EQ(axActionNames({"activate", "showmenu"}),
              (std::vector<std::string>{"AXConfirm", "AXShowMenu"}));
    EXPECT_TRUE(axActionNames({}).empty());
}

TEST(LinuxTables, EveryKeyTheDriverNamesHasAKeySymbol) {
    for (const auto& [name, code] : KeySpec::keyCodeMap()) {
        EXPECT_TRUE(keysymForKeyCode(code).has_value()) << name << " (" << code << ")";
    }
    EXPECT_FALSE(keysymForKeyCode(0xffff).has_value());
}

TEST(LinuxTables, CharactersBecomeTheirKeySymbols) {
    struct Case {
        char32_t character;
        uint32_t keysym;
    } cases[] = {
        {U'a', 'a'},
        {U'~', '~'},
        {U'\u00e9', 0xe9},
        {U'\n', 0xff0d},
        {U'\t', 0xff09},
        {U'\u20ac', 0x10020ac},
        {U'\U0001F600', 0x101F600},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(keysymForCharacter(c.character), c.keysym) << static_cast<uint32_t>(c.character);
    }
}

} // namespace
} // namespace dorvex::platform::linux_desktop
