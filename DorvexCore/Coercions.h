#pragma once

// Tolerant readers of request parameters and action fields. Each takes a JSON value or
// nothing (an absent key).
#include "platform/types/Json.h"

#include <cstdint>
#include <optional>
#include <string>

namespace dorvex {

// A whole number: JSON numbers truncated toward zero (out-of-range ones clamped), booleans as
// 1 and 0, and strings that are exactly an optional sign and base-10 digits within 64 bits.
std::optional<int64_t> intValue(const Json* value);

// A boolean: booleans, numbers (non-zero is true) and the strings "true"/"1"/"false"/"0" in any
// case with surrounding white space; anything else gives the default.
bool boolValue(const Json* value, bool fallback);

// A JSON string trimmed of white space and line ends, or nothing when that leaves it empty.
std::optional<std::string> stringValue(const Json* value);

// The value under key when object is a JSON object that has it, else nullptr.
const Json* field(const Json& object, const char* key);

} // namespace dorvex
