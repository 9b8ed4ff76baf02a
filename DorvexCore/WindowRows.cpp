#include "DorvexCore/WindowRows.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace dorvex::WindowRows {
namespace {

const Json* member(const Json& object, const char* key) {
    if (!object.is_object()) return nullptr;
    auto found = object.find(key);
    return found == object.end() ? nullptr : &*found;
}

std::optional<double> finiteNumber(const Json& object, const char* key) {
    const Json* value = member(object, key);
    if (value == nullptr || !value->is_number()) return std::nullopt;
    const double number = value->get<double>();
    if (!std::isfinite(number)) return std::nullopt;
    return number;
}

} // namespace

std::optional<int64_t> integer(const Json& row, const char* key) {
    const Json* value = member(row, key);
    if (value == nullptr) return std::nullopt;
    // Unsigned first: the JSON library counts unsigned numbers as integers too.
    if (value->is_number_unsigned()) {
        const auto number = value->get<uint64_t>();
        if (number > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
            return std::nullopt;
        }
        return static_cast<int64_t>(number);
    }
    if (value->is_number_integer()) return value->get<int64_t>();
    if (!value->is_number_float()) return std::nullopt;
    const double number = value->get<double>();
    // Casting a double outside the range is undefined behaviour, so check first: 2^63 is the
    // first value past it.
    if (!std::isfinite(number) || number < -9223372036854775808.0 ||
        number >= 9223372036854775808.0) {
        return std::nullopt;
    }
    return static_cast<int64_t>(number);
}

std::optional<std::string> string(const Json& row, const char* key) {
    const Json* value = member(row, key);
    if (value == nullptr || !value->is_string()) return std::nullopt;
    return value->get<std::string>();
}

std::optional<double> realNumber(const Json& row, const char* key) {
    const Json* value = member(row, key);
    if (value == nullptr || !value->is_number()) return std::nullopt;
    return value->get<double>();
}

std::optional<int32_t> ownerPid32(const Json& row) {
    const std::optional<int64_t> pid = integer(row, ownerPid);
    if (!pid || *pid < INT32_MIN || *pid > INT32_MAX) return std::nullopt;
    return static_cast<int32_t>(*pid);
}

bool flag(const Json& row, const char* key) {
    const Json* value = member(row, key);
    if (value == nullptr) return false;
    if (value->is_boolean()) return value->get<bool>();
    if (value->is_number()) return value->get<double>() != 0.0;
    return false;
}

std::optional<platform::Rect> frame(const Json& row) {
    const Json* dictionary = member(row, bounds);
    if (dictionary == nullptr || !dictionary->is_object()) return std::nullopt;
    std::optional<double> x = finiteNumber(*dictionary, "X");
    std::optional<double> y = finiteNumber(*dictionary, "Y");
    std::optional<double> width = finiteNumber(*dictionary, "Width");
    std::optional<double> height = finiteNumber(*dictionary, "Height");
    if (!x || !y || !width || !height) return std::nullopt;
    return platform::Rect{*x, *y, *width, *height};
}

Json listRow(const Json& row) {
    auto orNull = [](const auto& value) { return value ? Json(*value) : Json(nullptr); };
    const Json* rowBounds = member(row, bounds);
    return Json{{"windowId", orNull(integer(row, number))},
                {"ownerPid", orNull(integer(row, ownerPid))},
                {"ownerName", orNull(string(row, ownerName))},
                {"title", orNull(string(row, name))},
                {"layer", orNull(integer(row, layer))},
                {"bounds", rowBounds && rowBounds->is_object() ? *rowBounds : Json::object()}};
}

std::optional<Json> listRows(const std::vector<Json>& rows, const WindowListOwnerScope& scope,
                             std::optional<int64_t> windowFilter) {
    Json listed = Json::array();
    for (const Json& row : rows) {
        if (!row.is_object()) return std::nullopt;
        const std::optional<int64_t> owner = integer(row, ownerPid);
        if (!owner) continue;
        if (!scope.isUnfiltered() && (*owner < INT32_MIN || *owner > INT32_MAX ||
                                      !scope.keeps(static_cast<int32_t>(*owner)))) {
            continue;
        }
        if (windowFilter && integer(row, number) != windowFilter) continue;
        listed.push_back(listRow(row));
    }
    return listed;
}

} // namespace dorvex::WindowRows
