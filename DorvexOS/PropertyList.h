#pragma once

// Reads property-list files (XML or binary) such as an application's Info.plist. Files come
// from bundles anyone may have made, so size and nesting are bounded before any parser sees
// them, and only regular files are read (a FIFO never blocks the reader).
#include "platform/types/Json.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace dorvex::propertyList {

// Far above any real Info.plist.
inline constexpr size_t maxBytes = 4 * 1024 * 1024;
// Elements of XML nest a few levels deeper than the values they hold.
inline constexpr size_t maxDepth = 64;

// Whether the document's containers (or XML elements) nest at most `depth` levels, with no
// reference cycle in a binary list. A malformed binary list answers false.
bool nestingWithin(std::string_view data, size_t depth);

// Parses with the platform's reader and converts: dictionaries become objects, arrays arrays,
// strings, booleans and numbers themselves; dates, data and other values null. Nothing when it
// does not parse. The caller bounds the nesting first.
std::optional<Json> parse(std::string_view data);

// The file's top-level dictionary; nothing when the file is not a regular file, is larger than
// maxBytes, nests too deep, does not parse, or its top level is not a dictionary.
std::optional<Json> readDictionary(const std::string& path);

} // namespace dorvex::propertyList
