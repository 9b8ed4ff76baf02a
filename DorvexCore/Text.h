#pragma once

// Unicode text rules shared by the driver, over ICU rather than hand-written tables.
#include <cstddef>
#include <string>
#include <string_view>

namespace dorvex::text {

// Removes Unicode white space and line ends (spaces, tabs, CR, LF, NEL, the Unicode space and
// line separators) from both ends. Bytes that are not valid UTF-8 stop the trim there.
std::string trimWhitespaceAndNewlines(std::string_view text);

// Full Unicode lower-casing, root locale. Invalid UTF-8 comes back unchanged.
std::string lowercased(std::string_view text);

// True when fragment occurs in text once both are case-folded with full Unicode folding, so
// that "STRASSE" contains "straße" and "ΣΊΣΥΦΟΣ" contains "σίσυφος".
bool containsIgnoringCase(std::string_view text, std::string_view fragment);

// The number of user-perceived characters (extended grapheme clusters): an emoji made of
// several code points counts once.
size_t characterCount(std::string_view text);

// The text as UTF-16 code units: a character beyond the Basic Multilingual Plane takes two.
// Invalid UTF-8 bytes become U+FFFD.
std::u16string utf16(std::string_view text);

} // namespace dorvex::text
