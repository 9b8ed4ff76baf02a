#pragma once

// Plain values out of CoreFoundation values and back.
#include "platform/macos/CFRef.h"
#include "platform/types/Json.h"

#include <optional>
#include <string>
#include <vector>

namespace dorvex::platform::macos {

// A string's UTF-8 text; nothing when the value is not a string.
std::optional<std::string> utf8(CFTypeRef value);

// A string of UTF-8 text; text that is not UTF-8 gives nothing.
CFRef<CFStringRef> cfString(const std::string& text);

CFRef<CFArrayRef> cfStringArray(const std::vector<std::string>& texts);

// A number as a double; a boolean as 0 or 1.
std::optional<double> numberValue(CFTypeRef value);

// A property-list value as JSON: strings, numbers (whole ones as integers), booleans, arrays
// and dictionaries with string keys; anything else is null.
Json jsonValue(CFTypeRef value);

} // namespace dorvex::platform::macos
