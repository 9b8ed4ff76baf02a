#pragma once

// Whether an application bundle can be scripted, judged from its Info.plist and the names of
// its resource files. The file system is reached only through the injected BundleFiles.
#include "platform/types/Json.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dorvex::AppScriptability {

enum class Value { scriptable, notScriptable, unknown };

std::string_view wireName(Value value);
// Exact match; nothing for any other text.
std::optional<Value> fromWireName(std::string_view name);

enum class EntryKind { missing, directory, other };

// How the rules see a bundle on disk.
struct BundleFiles {
    // What is at the path, following links; a link that leads nowhere readable is "other".
    std::function<EntryKind(const std::string& path)> kind;
    // The entry names of a directory (one level); nothing when it cannot be listed.
    std::function<std::optional<std::vector<std::string>>(const std::string& path)> list;
    // The property list at the path when its top level is a dictionary (as a JSON object).
    std::function<std::optional<Json>(const std::string& path)> readDictionary;
};

// A property-list value as a flag: numbers and booleans (non-zero is true), and the strings
// yes/true/1 and no/false/0 in any case with white space around; nothing otherwise.
std::optional<bool> flag(const Json& value);

// The verdict from the Info.plist dictionary and the resource names, either of which may be
// unknown.
Value classify(const std::optional<Json>& info,
               const std::optional<std::vector<std::string>>& resourceNames);

// The entry names of a Resources directory followed by those of its ".lproj" subdirectories:
// empty when nothing is there, nothing when it is not a directory or a listing fails.
std::optional<std::vector<std::string>> resourceNames(const std::string& directory,
                                                      const BundleFiles& files);

// The verdict for the bundle directory at the path; unknown without one. Never fails.
Value read(const std::optional<std::string>& bundlePath, const BundleFiles& files);

// The file-system path of a file URL ("file:///A%20B.app/" gives "/A B.app"), without a
// trailing slash; a plain absolute path is kept. Nothing for other URLs, hosts other than
// localhost, or encoded NUL bytes.
std::optional<std::string> filePathOfURL(std::string_view url);

} // namespace dorvex::AppScriptability
