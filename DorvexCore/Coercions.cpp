#include "DorvexCore/Coercions.h"

#include "DorvexCore/Text.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace dorvex {
namespace {

// Converting an out-of-range double to an integer is undefined behaviour, so clamp first.
int64_t truncateClamped(double number) {
    constexpr double lowest = -9223372036854775808.0; // -2^63, exact
    constexpr double beyond = 9223372036854775808.0;  // 2^63, the first value past the range
    if (std::isnan(number)) return 0;
    if (number <= lowest) return std::numeric_limits<int64_t>::min();
    if (number >= beyond) return std::numeric_limits<int64_t>::max();
    return static_cast<int64_t>(number); // truncates toward zero
}

std::optional<int64_t> parseWholeDecimal(const std::string& text) {
    std::string_view digits = text;
    bool negative = false;
    if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    if (digits.empty()) return std::nullopt;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
    }
    // Parse with the sign attached so that the most negative value is still in range.
    std::string signedDigits = (negative ? "-" : "") + std::string(digits);
    int64_t result = 0;
    auto [end, error] =
        std::from_chars(signedDigits.data(), signedDigits.data() + signedDigits.size(), result);
    if (error != std::errc() || end != signedDigits.data() + signedDigits.size()) {
        return std::nullopt;
    }
    return result;
}

} // namespace

std::optional<int64_t> intValue(const Json* value) {
    if (value == nullptr) return std::nullopt;
    switch (value->type()) {
    case Json::value_t::boolean:
        return value->get<bool>() ? 1 : 0;
    case Json::value_t::number_integer:
        return value->get<int64_t>();
    case Json::value_t::number_unsigned: {
        const uint64_t number = value->get<uint64_t>();
        constexpr auto top = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
        return static_cast<int64_t>(number > top ? top : number);
    }
    case Json::value_t::number_float:
        return truncateClamped(value->get<double>());
    case Json::value_t::string:
        return parseWholeDecimal(value->get_ref<const std::string&>());
    default:
        return std::nullopt;
    }
}

bool boolValue(const Json* value, bool fallback) {
    if (value == nullptr) return fallback;
    if (value->is_boolean()) return value->get<bool>();
    if (value->is_number_float()) return value->get<double>() != 0.0;
    if (value->is_number_integer()) return value->get<int64_t>() != 0;
    if (value->is_number_unsigned()) return value->get<uint64_t>() != 0;
    if (!value->is_string()) return fallback;
    const std::string word =
        text::lowercased(text::trimWhitespaceAndNewlines(value->get_ref<const std::string&>()));
    if (word == "true" || word == "1") return true;
    if (word == "false" || word == "0") return false;
    return fallback;
}

std::optional<std::string> stringValue(const Json* value) {
    if (value == nullptr || !value->is_string()) return std::nullopt;
    std::string trimmed = text::trimWhitespaceAndNewlines(value->get_ref<const std::string&>());
    if (trimmed.empty()) return std::nullopt;
    return trimmed;
}

const Json* field(const Json& object, const char* key) {
    if (!object.is_object()) return nullptr;
    auto found = object.find(key);
    return found == object.end() ? nullptr : &*found;
}

} // namespace dorvex
