#include "platform/linux/AtspiTables.h"

#include <algorithm>
#include <array>
#include <atspi/atspi-constants.h>
#include <cctype>
#include <utility>

namespace dorvex::platform::linux_desktop {
namespace {

struct RoleName {
    AtspiRole role;
    const char* name;
};

// Every role the binding names; the rest are "AXUnknown".
constexpr std::array roleTable = std::to_array<RoleName>({
    {ATSPI_ROLE_APPLICATION, "AXApplication"},
    {ATSPI_ROLE_FRAME, "AXWindow"},
    {ATSPI_ROLE_WINDOW, "AXWindow"},
    {ATSPI_ROLE_DIALOG, "AXWindow"},
    {ATSPI_ROLE_ALERT, "AXWindow"},
    {ATSPI_ROLE_PUSH_BUTTON, "AXButton"},
    {ATSPI_ROLE_PUSH_BUTTON_MENU, "AXMenuButton"},
    {ATSPI_ROLE_TOGGLE_BUTTON, "AXCheckBox"},
    {ATSPI_ROLE_CHECK_BOX, "AXCheckBox"},
    {ATSPI_ROLE_RADIO_BUTTON, "AXRadioButton"},
    {ATSPI_ROLE_COMBO_BOX, "AXComboBox"},
    {ATSPI_ROLE_ENTRY, "AXTextField"},
    {ATSPI_ROLE_EDITBAR, "AXTextField"},
    {ATSPI_ROLE_AUTOCOMPLETE, "AXTextField"},
    {ATSPI_ROLE_PASSWORD_TEXT, "AXSecureTextField"},
    {ATSPI_ROLE_TERMINAL, "AXTextArea"},
    {ATSPI_ROLE_LABEL, "AXStaticText"},
    {ATSPI_ROLE_STATIC, "AXStaticText"},
    {ATSPI_ROLE_CAPTION, "AXStaticText"},
    {ATSPI_ROLE_ACCELERATOR_LABEL, "AXStaticText"},
    {ATSPI_ROLE_HEADING, "AXHeading"},
    {ATSPI_ROLE_LINK, "AXLink"},
    {ATSPI_ROLE_IMAGE, "AXImage"},
    {ATSPI_ROLE_ICON, "AXImage"},
    {ATSPI_ROLE_ANIMATION, "AXImage"},
    {ATSPI_ROLE_LIST, "AXList"},
    {ATSPI_ROLE_LIST_BOX, "AXList"},
    {ATSPI_ROLE_LIST_ITEM, "AXRow"},
    {ATSPI_ROLE_TABLE, "AXTable"},
    {ATSPI_ROLE_TREE_TABLE, "AXOutline"},
    {ATSPI_ROLE_TREE, "AXOutline"},
    {ATSPI_ROLE_TABLE_ROW, "AXRow"},
    {ATSPI_ROLE_TREE_ITEM, "AXRow"},
    {ATSPI_ROLE_TABLE_CELL, "AXCell"},
    {ATSPI_ROLE_COLUMN_HEADER, "AXCell"},
    {ATSPI_ROLE_TABLE_COLUMN_HEADER, "AXCell"},
    {ATSPI_ROLE_ROW_HEADER, "AXCell"},
    {ATSPI_ROLE_TABLE_ROW_HEADER, "AXCell"},
    {ATSPI_ROLE_MENU, "AXMenu"},
    {ATSPI_ROLE_POPUP_MENU, "AXMenu"},
    {ATSPI_ROLE_MENU_BAR, "AXMenuBar"},
    {ATSPI_ROLE_MENU_ITEM, "AXMenuItem"},
    {ATSPI_ROLE_CHECK_MENU_ITEM, "AXMenuItem"},
    {ATSPI_ROLE_RADIO_MENU_ITEM, "AXMenuItem"},
    {ATSPI_ROLE_TEAROFF_MENU_ITEM, "AXMenuItem"},
    {ATSPI_ROLE_PAGE_TAB_LIST, "AXTabGroup"},
    {ATSPI_ROLE_PAGE_TAB, "AXRadioButton"},
    {ATSPI_ROLE_SCROLL_BAR, "AXScrollBar"},
    {ATSPI_ROLE_SCROLL_PANE, "AXScrollArea"},
    {ATSPI_ROLE_SLIDER, "AXSlider"},
    {ATSPI_ROLE_DIAL, "AXSlider"},
    {ATSPI_ROLE_SPIN_BUTTON, "AXIncrementor"},
    {ATSPI_ROLE_PROGRESS_BAR, "AXProgressIndicator"},
    {ATSPI_ROLE_LEVEL_BAR, "AXLevelIndicator"},
    {ATSPI_ROLE_SPLIT_PANE, "AXSplitGroup"},
    {ATSPI_ROLE_TOOL_BAR, "AXToolbar"},
    {ATSPI_ROLE_TOOL_TIP, "AXHelpTag"},
    {ATSPI_ROLE_DATE_EDITOR, "AXDateField"},
    {ATSPI_ROLE_COLOR_CHOOSER, "AXColorWell"},
    {ATSPI_ROLE_DOCUMENT_WEB, "AXWebArea"},
    {ATSPI_ROLE_PANEL, "AXGroup"},
    {ATSPI_ROLE_FILLER, "AXGroup"},
    {ATSPI_ROLE_GROUPING, "AXGroup"},
    {ATSPI_ROLE_SECTION, "AXGroup"},
    {ATSPI_ROLE_FORM, "AXGroup"},
    {ATSPI_ROLE_LAYERED_PANE, "AXGroup"},
    {ATSPI_ROLE_ROOT_PANE, "AXGroup"},
    {ATSPI_ROLE_VIEWPORT, "AXGroup"},
    {ATSPI_ROLE_INTERNAL_FRAME, "AXGroup"},
    {ATSPI_ROLE_HEADER, "AXGroup"},
    {ATSPI_ROLE_FOOTER, "AXGroup"},
    {ATSPI_ROLE_STATUS_BAR, "AXGroup"},
    {ATSPI_ROLE_INFO_BAR, "AXGroup"},
    {ATSPI_ROLE_NOTIFICATION, "AXGroup"},
    {ATSPI_ROLE_CALENDAR, "AXGroup"},
    {ATSPI_ROLE_FILE_CHOOSER, "AXGroup"},
    {ATSPI_ROLE_FONT_CHOOSER, "AXGroup"},
    {ATSPI_ROLE_PARAGRAPH, "AXGroup"},
    {ATSPI_ROLE_DRAWING_AREA, "AXGroup"},
    {ATSPI_ROLE_CANVAS, "AXGroup"},
    {ATSPI_ROLE_SEPARATOR, "AXSplitter"},
});

struct ActionName {
    const char* atspi;
    const char* ax;
};

// Earlier rows win when an application offers several names for one action ("click" before
// "press": a GTK button's "press" only pushes it down).
constexpr std::array actionTable = std::to_array<ActionName>({
    {"click", "AXPress"},
    {"press", "AXPress"},
    {"toggle", "AXPress"},
    {"jump", "AXPress"},
    {"activate", "AXConfirm"},
    {"showmenu", "AXShowMenu"},
    {"show menu", "AXShowMenu"},
    {"menu", "AXShowMenu"},
    {"popup", "AXShowMenu"},
    {"increment", "AXIncrement"},
    {"decrement", "AXDecrement"},
    {"cancel", "AXCancel"},
    {"confirm", "AXConfirm"},
    {"pick", "AXPick"},
    {"raise", "AXRaise"},
});

std::string lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

// The table row of an application's action name; the table's size when it has none.
size_t actionRow(const std::string& atspiName) {
    const std::string key = lower(atspiName);
    for (size_t row = 0; row < actionTable.size(); ++row) {
        if (key == actionTable[row].atspi) return row;
    }
    return actionTable.size();
}

std::string axActionName(const std::string& atspiName) {
    const size_t row = actionRow(atspiName);
    return row < actionTable.size() ? actionTable[row].ax : atspiName;
}

} // namespace

AtspiStates statesFrom(const std::vector<uint32_t>& words) {
    AtspiStates states;
    if (!words.empty()) states.bits = words[0];
    if (words.size() > 1) states.bits |= static_cast<uint64_t>(words[1]) << 32;
    return states;
}

std::string axRoleName(uint32_t role, AtspiStates states) {
    if (role == ATSPI_ROLE_TEXT) {
        return states.has(ATSPI_STATE_SINGLE_LINE) ? "AXTextField" : "AXTextArea";
    }
    for (const RoleName& row : roleTable) {
        if (static_cast<uint32_t>(row.role) == role) return row.name;
    }
    return "AXUnknown";
}

bool isPasswordRole(uint32_t role) {
    return role == ATSPI_ROLE_PASSWORD_TEXT;
}

bool isApplicationRole(uint32_t role) {
    return role == ATSPI_ROLE_APPLICATION;
}

bool isCheckableRole(uint32_t role) {
    switch (role) {
    case ATSPI_ROLE_CHECK_BOX:
    case ATSPI_ROLE_TOGGLE_BUTTON:
    case ATSPI_ROLE_RADIO_BUTTON:
    case ATSPI_ROLE_CHECK_MENU_ITEM:
    case ATSPI_ROLE_RADIO_MENU_ITEM:
        return true;
    default:
        return false;
    }
}

std::vector<std::string> axActionNames(const std::vector<std::string>& atspiNames) {
    std::vector<std::string> names;
    for (const std::string& atspiName : atspiNames) {
        std::string name = axActionName(atspiName);
        if (name.empty()) continue;
        if (std::find(names.begin(), names.end(), name) == names.end()) {
            names.push_back(std::move(name));
        }
    }
    return names;
}

int32_t atspiActionIndex(const std::vector<std::string>& atspiNames, std::string_view axName) {
    int32_t best = -1;
    size_t bestRow = actionTable.size();
    for (size_t i = 0; i < atspiNames.size(); ++i) {
        const size_t row = actionRow(atspiNames[i]);
        if (row < actionTable.size() && actionTable[row].ax == axName && row < bestRow) {
            best = static_cast<int32_t>(i);
            bestRow = row;
        }
    }
    if (best >= 0) return best;
    for (size_t i = 0; i < atspiNames.size(); ++i) {
        if (atspiNames[i] == axName) return static_cast<int32_t>(i);
    }
    return -1;
}

} // namespace dorvex::platform::linux_desktop
