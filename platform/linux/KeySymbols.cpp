#include "platform/linux/KeySymbols.h"

#include <array>
#include <utility>

namespace dorvex::platform::linux_desktop {
namespace {

// Virtual key code -> X key symbol, one row per key of the driver's key table.
constexpr std::array keyTable = std::to_array<std::pair<uint16_t, uint32_t>>({
    {0, 'a'},      {11, 'b'}, {8, 'c'},   {2, 'd'},  {14, 'e'}, {3, 'f'},  {5, 'g'},     {4, 'h'},
    {34, 'i'},     {38, 'j'}, {40, 'k'},  {37, 'l'}, {46, 'm'}, {45, 'n'}, {31, 'o'},    {35, 'p'},
    {12, 'q'},     {15, 'r'}, {1, 's'},   {17, 't'}, {32, 'u'}, {9, 'v'},  {13, 'w'},    {7, 'x'},
    {16, 'y'},     {6, 'z'},  {29, '0'},  {18, '1'}, {19, '2'}, {20, '3'}, {21, '4'},    {23, '5'},
    {22, '6'},     {26, '7'}, {28, '8'},  {25, '9'}, {27, '-'}, {24, '='}, {33, '['},    {30, ']'},
    {42, '\\'},    {41, ';'}, {39, '\''}, {43, ','}, {47, '.'}, {44, '/'}, {36, 0xff0d}, // Return
    {48, 0xff09},                                                                        // Tab
    {49, ' '},                                                                           // space
    {51, 0xff08},  // BackSpace: the Mac "delete" key
    {53, 0xff1b},  // Escape
    {123, 0xff51}, // Left
    {124, 0xff53}, // Right
    {125, 0xff54}, // Down
    {126, 0xff52}, // Up
    {116, 0xff55}, // Prior (page up)
    {121, 0xff56}, // Next (page down)
});

} // namespace

std::optional<uint32_t> keysymForKeyCode(uint16_t keyCode) {
    for (const auto& [code, keysym] : keyTable) {
        if (code == keyCode) return keysym;
    }
    return std::nullopt;
}

uint32_t keysymForCharacter(char32_t character) {
    switch (character) {
    case U'\n':
    case U'\r':
        return 0xff0d;
    case U'\t':
        return 0xff09;
    case U'\b':
        return 0xff08;
    default:
        break;
    }
    if ((character >= 0x20 && character <= 0x7e) || (character >= 0xa0 && character <= 0xff)) {
        return static_cast<uint32_t>(character);
    }
    return 0x01000000U | static_cast<uint32_t>(character);
}

} // namespace dorvex::platform::linux_desktop
