#include "DorvexCore/NumberText.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace dorvex {
namespace {

constexpr int maxSignificantDigits = 17; // enough for every double

// The scientific form with the fewest digits that still reads back as the value.
std::string shortestScientific(double value) {
    char buffer[48];
    for (int precision = 0; precision < maxSignificantDigits; ++precision) {
        std::snprintf(buffer, sizeof buffer, "%.*e", precision, value);
        if (std::strtod(buffer, nullptr) == value) break;
    }
    return buffer;
}

// The same digits and exponent written without an exponent. A whole number is written with
// all its digits, exactly as it is held, as the library does.
std::string fixedFrom(std::string_view scientific, double value) {
    std::string sign;
    if (!scientific.empty() && scientific.front() == '-') {
        sign = "-";
        scientific.remove_prefix(1);
    }
    const size_t e = scientific.find('e');
    std::string digits;
    for (char c : scientific.substr(0, e)) {
        if (c != '.') digits += c;
    }
    const int exponent = std::atoi(std::string(scientific.substr(e + 1)).c_str());
    if (exponent < 0)
        return sign + "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
    const size_t whole = static_cast<size_t>(exponent) + 1;
    if (digits.size() <= whole) {
        char buffer[400];
        std::snprintf(buffer, sizeof buffer, "%.0f", value);
        return buffer;
    }
    return sign + digits.substr(0, whole) + "." + digits.substr(whole);
}

} // namespace

std::string shortestNumberText(double value) {
    if (std::isnan(value)) return std::signbit(value) ? "-nan" : "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    std::string scientific = shortestScientific(value);
    std::string fixed = fixedFrom(scientific, value);
    return fixed.size() <= scientific.size() ? fixed : scientific;
}

} // namespace dorvex
