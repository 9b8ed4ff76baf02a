#pragma once

// Unicode text rules shared by the driver, over ICU rather than hand-written tables.
#include <string>
#include <string_view>

namespace dorvex::text {

// Removes Unicode white space and line ends (spaces, tabs, CR, LF, NEL, the Unicode space and
// line separators) from both ends. Bytes that are not valid UTF-8 stop the trim there.
std::string trimWhitespaceAndNewlines(std::string_view text);

// Full Unicode lower-casing, root locale. Invalid UTF-8 comes back unchanged.
std::string lowercased(std::string_view text);

} // namespace dorvex::text
