#include "DorvexCore/RawJson.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

namespace dorvex::RawJson {

namespace {

// Raw JSON travels as a binary value of this subtype; no answer holds binary values otherwise.
constexpr std::uint64_t rawSubtype = 0x72;

bool isRaw(const Json& value) {
    return value.is_binary() && value.get_binary().has_subtype() &&
           value.get_binary().subtype() == rawSubtype;
}

bool containsRaw(const Json& value) {
    if (isRaw(value)) return true;
    if (!value.is_structured()) return false;
    return std::any_of(value.begin(), value.end(),
                       [](const Json& item) { return containsRaw(item); });
}

// A copy of the value with every raw value replaced by a stand-in string, numbered in the order
// they are written; `texts` gets their text (views into `value`, which must outlive them).
Json withStandIns(const Json& value, std::vector<std::string_view>& texts) {
    if (isRaw(value)) {
        const Json::binary_t& bytes = value.get_binary();
        texts.emplace_back(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return std::string(1, '\0') + "dorvex-raw-" + std::to_string(texts.size() - 1) + '\0';
    }
    if (value.is_object()) {
        Json copy = Json::object();
        for (const auto& [key, item] : value.items())
            copy[key] = withStandIns(item, texts);
        return copy;
    }
    if (value.is_array()) {
        Json copy = Json::array();
        for (const Json& item : value)
            copy.push_back(withStandIns(item, texts));
        return copy;
    }
    return value;
}

// What a raw value's stand-in string looks like in the written line. A control character is
// written escaped, so only a string that spells exactly this could look the same.
std::string mark(size_t index) {
    return "\"\\u0000dorvex-raw-" + std::to_string(index) + "\\u0000\"";
}

// The answer with every raw value parsed into objects.
Json parsedBack(const Json& value) {
    if (isRaw(value)) {
        const Json::binary_t& bytes = value.get_binary();
        return Json::parse(bytes.begin(), bytes.end());
    }
    if (!value.is_structured()) return value;
    Json copy = value.is_object() ? Json::object() : Json::array();
    for (const auto& [key, item] : value.items()) {
        if (value.is_object()) {
            copy[key] = parsedBack(item);
        } else {
            copy.push_back(parsedBack(item));
        }
    }
    return copy;
}

} // namespace

Json raw(const std::string& text) {
    // Copied as bytes at once: an element-wise copy from char to uint8_t is several times slower
    // on a tree of megabytes.
    Json::binary_t::container_type bytes(text.size());
    if (!text.empty()) std::memcpy(bytes.data(), text.data(), text.size());
    return Json::binary(std::move(bytes), rawSubtype);
}

std::string dumpLine(const Json& answer) {
    std::vector<std::string_view> texts;
    std::string line = containsRaw(answer) ? withStandIns(answer, texts).dump() : answer.dump();
    // Every stand-in is found before any text goes in, and each exactly once; otherwise the raw
    // values are written the slow way, parsed back into the answer.
    std::vector<std::pair<size_t, size_t>> places; // position in the line, raw value
    for (size_t i = 0; i < texts.size(); ++i) {
        const std::string stand = mark(i);
        const size_t at = line.find(stand);
        if (at == std::string::npos || line.find(stand, at + 1) != std::string::npos) {
            return parsedBack(answer).dump() + '\n';
        }
        places.emplace_back(at, i);
    }
    std::sort(places.rbegin(), places.rend());
    for (const auto& [at, i] : places)
        line.replace(at, mark(i).size(), texts[i]);
    line.push_back('\n');
    return line;
}

} // namespace dorvex::RawJson
