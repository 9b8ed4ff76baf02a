#include "DorvexCore/AppScriptability.h"

#include "DorvexCore/Text.h"

#include <set>

namespace dorvex::AppScriptability {
namespace {

// A Resources folder with more entries than any real bundle is not worth reading through.
constexpr size_t maxResourceNames = 100'000;

std::string lowercaseExtension(const std::string& name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return "";
    return text::lowercased(std::string_view(name).substr(dot + 1));
}

std::string trimmed(const std::string& text) {
    return text::trimWhitespaceAndNewlines(text);
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<std::string> percentDecoded(std::string_view text) {
    std::string decoded;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            decoded += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        const int high = hexDigit(text[i + 1]);
        const int low = hexDigit(text[i + 2]);
        if (high < 0 || low < 0 || (high == 0 && low == 0)) return std::nullopt;
        decoded += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return decoded;
}

} // namespace

std::string_view wireName(Value value) {
    switch (value) {
    case Value::scriptable:
        return "scriptable";
    case Value::notScriptable:
        return "not_scriptable";
    case Value::unknown:
        break;
    }
    return "unknown";
}

std::optional<Value> fromWireName(std::string_view name) {
    for (Value value : {Value::scriptable, Value::notScriptable, Value::unknown}) {
        if (wireName(value) == name) return value;
    }
    return std::nullopt;
}

std::optional<bool> flag(const Json& value) {
    if (value.is_boolean()) return value.get<bool>();
    if (value.is_number()) return value.get<double>() != 0;
    if (!value.is_string()) return std::nullopt;
    const std::string word = text::lowercased(trimmed(value.get_ref<const std::string&>()));
    if (word == "yes" || word == "true" || word == "1") return true;
    if (word == "no" || word == "false" || word == "0") return false;
    return std::nullopt;
}

Value classify(const std::optional<Json>& info,
               const std::optional<std::vector<std::string>>& resourceNames) {
    if (!info || !info->is_object()) return Value::unknown;
    Value fallback = Value::notScriptable;
    if (auto enabled = info->find("NSAppleScriptEnabled"); enabled != info->end()) {
        std::optional<bool> set = flag(*enabled);
        if (set) return *set ? Value::scriptable : Value::notScriptable;
        fallback = Value::unknown;
    }
    if (auto definition = info->find("OSAScriptingDefinition");
        definition != info->end() && definition->is_string() &&
        !trimmed(definition->get_ref<const std::string&>()).empty()) {
        return Value::scriptable;
    }
    if (!resourceNames) return Value::unknown;
    std::set<std::string> extensions;
    for (const std::string& name : *resourceNames)
        extensions.insert(lowercaseExtension(name));
    for (const char* scripting : {"sdef", "scriptsuite", "scriptterminology"}) {
        if (extensions.contains(scripting)) return Value::scriptable;
    }
    if (extensions.contains("rsrc")) return Value::unknown;
    return fallback;
}

std::optional<std::vector<std::string>> resourceNames(const std::string& directory,
                                                      const BundleFiles& files) {
    const EntryKind kind = files.kind(directory);
    if (kind == EntryKind::missing) return std::vector<std::string>{};
    if (kind != EntryKind::directory) return std::nullopt;
    std::optional<std::vector<std::string>> names = files.list(directory);
    if (!names) return std::nullopt;
    const size_t topLevel = names->size();
    for (size_t i = 0; i < topLevel; ++i) {
        if (lowercaseExtension((*names)[i]) != "lproj") continue;
        std::optional<std::vector<std::string>> inner = files.list(directory + "/" + (*names)[i]);
        if (!inner || names->size() + inner->size() > maxResourceNames) return std::nullopt;
        names->insert(names->end(), inner->begin(), inner->end());
    }
    return names;
}

Value read(const std::optional<std::string>& bundlePath, const BundleFiles& files) {
    if (!bundlePath || bundlePath->empty()) return Value::unknown;
    std::string contents = *bundlePath;
    if (contents.back() != '/') contents += '/';
    contents += "Contents";
    return classify(files.readDictionary(contents + "/Info.plist"),
                    resourceNames(contents + "/Resources", files));
}

std::optional<std::string> filePathOfURL(std::string_view url) {
    std::optional<std::string> path;
    constexpr std::string_view scheme = "file://";
    if (url.starts_with("/")) {
        path = std::string(url);
    } else if (url.starts_with(scheme)) {
        url.remove_prefix(scheme.size());
        if (url.starts_with("localhost/")) url.remove_prefix(std::string_view("localhost").size());
        if (url.starts_with("/")) path = percentDecoded(url);
    }
    // A folder's URL ends in a slash; its path does not.
    while (path && path->size() > 1 && path->back() == '/')
        path->pop_back();
    return path;
}

} // namespace dorvex::AppScriptability
