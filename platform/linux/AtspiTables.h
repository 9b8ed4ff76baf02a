#pragma once

// How AT-SPI's roles and action names read as the accessibility names the driver's rules
// know. One table each; whatever a table lacks reads as "AXUnknown" (roles) or as itself
// (actions).
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dorvex::platform::linux_desktop {

// AT-SPI state bits (the two words of GetState) the binding looks at.
struct AtspiStates {
    uint64_t bits = 0;
    bool has(uint32_t state) const { return state < 64 && ((bits >> state) & 1U) != 0; }
};
AtspiStates statesFrom(const std::vector<uint32_t>& words);

// The role name of an AT-SPI role; a text role reads as a field when it is single-line.
std::string axRoleName(uint32_t role, AtspiStates states);
bool isPasswordRole(uint32_t role);
bool isApplicationRole(uint32_t role);
// Roles whose value is their checked state (0 or 1).
bool isCheckableRole(uint32_t role);

// The action names as the driver sees them, each once, in the application's order.
std::vector<std::string> axActionNames(const std::vector<std::string>& atspiNames);
// The index of the application's action that performs `axName`; -1 when none does.
int32_t atspiActionIndex(const std::vector<std::string>& atspiNames, std::string_view axName);

} // namespace dorvex::platform::linux_desktop
