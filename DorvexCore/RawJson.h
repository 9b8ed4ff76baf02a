#pragma once

// JSON text already serialized, carried as a value of an answer until its line is written,
// where it stands verbatim. For answers too large to build as objects first: a UI tree of
// thousands of nodes is written as text node by node while it is read, and would otherwise
// cost ten times its text in memory.
#include "platform/types/Json.h"

#include <string>

namespace dorvex::RawJson {

// A value that is written as `text`, which must be one compact JSON value.
Json raw(const std::string& text);

// The answer as one compact line with its line feed, raw values written as their text. Throws
// what dumping the answer throws (a string that is not UTF-8).
std::string dumpLine(const Json& answer);

} // namespace dorvex::RawJson
