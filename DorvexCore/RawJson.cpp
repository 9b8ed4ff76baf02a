#include "DorvexCore/RawJson.h"

#include "DorvexCore/JsonText.h"

#include <cstring>

namespace dorvex::RawJson {

Json raw(const std::string& text) {
    // Copied as bytes at once: an element-wise copy from char to uint8_t is several times slower
    // on a tree of megabytes.
    Json::binary_t::container_type bytes(text.size());
    if (!text.empty()) std::memcpy(bytes.data(), text.data(), text.size());
    return Json::binary(std::move(bytes), JsonText::rawTextSubtype);
}

std::string dumpLine(const Json& answer) {
    std::string line;
    JsonText::append(line, answer);
    line += '\n';
    return line;
}

} // namespace dorvex::RawJson
