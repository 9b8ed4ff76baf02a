#include "DorvexCore/JsonText.h"

#include <charconv>
#include <cmath>

namespace dorvex::JsonText {
namespace {

// The length of the well-formed UTF-8 sequence at the start of `rest` (whose first byte is
// 0x80 or above), or 0: no overlong forms, no surrogates, nothing above U+10FFFF, as the
// library's decoder rules.
size_t sequenceLength(std::string_view rest) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(rest[i]); };
    const auto continues = [&](size_t i, unsigned char low = 0x80, unsigned char high = 0xBF) {
        return i < rest.size() && byte(i) >= low && byte(i) <= high;
    };
    const unsigned char lead = byte(0);
    if (lead >= 0xC2 && lead <= 0xDF) return continues(1) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        const unsigned char low = lead == 0xE0 ? 0xA0 : 0x80;
        const unsigned char high = lead == 0xED ? 0x9F : 0xBF;
        return continues(1, low, high) && continues(2) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const unsigned char low = lead == 0xF0 ? 0x90 : 0x80;
        const unsigned char high = lead == 0xF4 ? 0x8F : 0xBF;
        return continues(1, low, high) && continues(2) && continues(3) ? 4 : 0;
    }
    return 0;
}

void appendEscape(std::string& out, unsigned char c) {
    switch (c) {
    case '\b':
        out += "\\b";
        return;
    case '\t':
        out += "\\t";
        return;
    case '\n':
        out += "\\n";
        return;
    case '\f':
        out += "\\f";
        return;
    case '\r':
        out += "\\r";
        return;
    case '"':
        out += "\\\"";
        return;
    case '\\':
        out += "\\\\";
        return;
    default:
        break;
    }
    static constexpr char hex[] = "0123456789abcdef";
    out += "\\u00";
    out += hex[c >> 4];
    out += hex[c & 0xF];
}

bool isRawText(const Json& value) {
    return value.is_binary() && value.get_binary().has_subtype() &&
           value.get_binary().subtype() == rawTextSubtype;
}

} // namespace

void appendEscapedString(std::string& out, std::string_view text) {
    const size_t start = out.size();
    out += '"';
    size_t copied = 0; // text before this is in `out`
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const size_t length = sequenceLength(text.substr(i));
            if (length == 0) {
                out.resize(start);
                out += Json(text).dump(); // throws the library's own error
                return;
            }
            i += length;
        } else if (c < 0x20 || c == '"' || c == '\\') {
            out.append(text.data() + copied, i - copied);
            appendEscape(out, c);
            copied = ++i;
        } else {
            ++i;
        }
    }
    out.append(text.data() + copied, text.size() - copied);
    out += '"';
}

void appendNumber(std::string& out, int64_t value) {
    char buffer[24];
    auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, end);
}

// A whole number below 10^15 in magnitude is its digits and ".0" (the library's shortest form
// for it); anything else is written by the library.
void appendNumber(std::string& out, double value) {
    if (std::isfinite(value) && std::trunc(value) == value && std::fabs(value) < 1e15 &&
        !(value == 0 && std::signbit(value))) {
        appendNumber(out, static_cast<int64_t>(value));
        out += ".0";
    } else {
        out += Json(value).dump();
    }
}

void append(std::string& out, const Json& value) {
    switch (value.type()) {
    case Json::value_t::object: {
        out += '{';
        bool first = true;
        for (const auto& [key, item] : value.get_ref<const Json::object_t&>()) {
            if (!first) out += ',';
            first = false;
            appendString(out, key);
            out += ':';
            append(out, item);
        }
        out += '}';
        return;
    }
    case Json::value_t::array: {
        out += '[';
        bool first = true;
        for (const Json& item : value.get_ref<const Json::array_t&>()) {
            if (!first) out += ',';
            first = false;
            append(out, item);
        }
        out += ']';
        return;
    }
    case Json::value_t::string:
        appendString(out, value.get_ref<const std::string&>());
        return;
    case Json::value_t::boolean:
        out += value.get<bool>() ? "true" : "false";
        return;
    case Json::value_t::number_integer:
        appendNumber(out, value.get<int64_t>());
        return;
    case Json::value_t::number_unsigned: {
        char buffer[24];
        auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value.get<uint64_t>());
        out.append(buffer, end);
        return;
    }
    case Json::value_t::number_float:
        appendNumber(out, value.get<double>());
        return;
    case Json::value_t::null:
        out += "null";
        return;
    case Json::value_t::binary:
        if (isRawText(value)) {
            const Json::binary_t& bytes = value.get_binary();
            out.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
            return;
        }
        out += value.dump();
        return;
    case Json::value_t::discarded:
        out += value.dump();
        return;
    }
}

} // namespace dorvex::JsonText
