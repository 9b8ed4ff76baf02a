#include "platform/sim/SimJsonReader.h"

#include <cmath>
#include <limits>

namespace dorvex::platform::sim {

ScenarioError::ScenarioError(std::vector<ScenarioRefusal> refusals)
    : std::runtime_error(refusals.empty()
                             ? std::string("refused")
                             : refusals.front().path + ": " + refusals.front().problem),
      refusals(std::move(refusals)) {}

void refuse(const std::string& path, const std::string& problem) {
    throw ScenarioError({{path, problem}});
}

ObjectReader::ObjectReader(const Json& value, std::string path)
    : value_(value), path_(std::move(path)) {
    if (!value_.is_object()) refuse(path_, "expected an object");
}

bool ObjectReader::has(const char* key) const {
    return value_.contains(key);
}

const Json* ObjectReader::raw(const char* key) {
    read_.insert(key);
    auto found = value_.find(key);
    return found == value_.end() ? nullptr : &*found;
}

std::optional<std::string> ObjectReader::string(const char* key) {
    const Json* value = raw(key);
    if (!value) return std::nullopt;
    if (!value->is_string()) refuse(pathOf(key), "expected a string");
    return value->get<std::string>();
}

std::optional<int64_t> ObjectReader::integer(const char* key, int64_t min, int64_t max) {
    const Json* value = raw(key);
    if (!value) return std::nullopt;
    if (!value->is_number_integer()) refuse(pathOf(key), "expected a whole number");
    if (value->is_number_unsigned() &&
        value->get<uint64_t>() > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
        refuse(pathOf(key), "number out of range");
    }
    int64_t number = value->get<int64_t>();
    if (number < min || number > max) {
        refuse(pathOf(key),
               "expected a number from " + std::to_string(min) + " to " + std::to_string(max));
    }
    return number;
}

std::optional<double> ObjectReader::number(const char* key) {
    const Json* value = raw(key);
    if (!value) return std::nullopt;
    if (!value->is_number()) refuse(pathOf(key), "expected a number");
    return value->get<double>();
}

std::optional<bool> ObjectReader::boolean(const char* key) {
    const Json* value = raw(key);
    if (!value) return std::nullopt;
    if (!value->is_boolean()) refuse(pathOf(key), "expected true or false");
    return value->get<bool>();
}

const Json* ObjectReader::array(const char* key) {
    const Json* value = raw(key);
    if (value && !value->is_array()) refuse(pathOf(key), "expected an array");
    return value;
}

const Json* ObjectReader::object(const char* key) {
    const Json* value = raw(key);
    if (value && !value->is_object()) refuse(pathOf(key), "expected an object");
    return value;
}

std::optional<Rect> ObjectReader::rect(const char* key) {
    const Json* value = raw(key);
    if (!value) return std::nullopt;
    return readRect(*value, pathOf(key));
}

std::optional<Point> ObjectReader::point(const char* key) {
    const Json* value = raw(key);
    if (!value) return std::nullopt;
    return readPoint(*value, pathOf(key));
}

std::optional<Size> ObjectReader::size(const char* key) {
    const Json* value = raw(key);
    if (!value) return std::nullopt;
    return readSize(*value, pathOf(key));
}

void ObjectReader::finish() const {
    std::vector<ScenarioRefusal> unknown;
    for (const auto& [key, unused] : value_.items()) {
        if (!key.empty() && key[0] == '_') continue;
        if (!read_.contains(key)) unknown.push_back({pathOf(key), "unknown key"});
    }
    if (!unknown.empty()) throw ScenarioError(std::move(unknown));
}

namespace {

double finiteNumber(ObjectReader& reader, const char* key) {
    std::optional<double> value = reader.number(key);
    if (!value) refuse(reader.pathOf(key), "required");
    if (!std::isfinite(*value)) refuse(reader.pathOf(key), "expected a finite number");
    return *value;
}

} // namespace

Rect readRect(const Json& value, const std::string& path) {
    ObjectReader reader(value, path);
    Rect rect{finiteNumber(reader, "x"), finiteNumber(reader, "y"), finiteNumber(reader, "width"),
              finiteNumber(reader, "height")};
    reader.finish();
    return rect;
}

Point readPoint(const Json& value, const std::string& path) {
    ObjectReader reader(value, path);
    Point point{finiteNumber(reader, "x"), finiteNumber(reader, "y")};
    reader.finish();
    return point;
}

Size readSize(const Json& value, const std::string& path) {
    ObjectReader reader(value, path);
    Size size{finiteNumber(reader, "width"), finiteNumber(reader, "height")};
    reader.finish();
    return size;
}

int32_t readCode(const Json& value, const std::string& path) {
    if (!value.is_number_integer()) refuse(path, "expected an error code");
    if (value.is_number_unsigned() &&
        value.get<uint64_t>() > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
        refuse(path, "error code out of range");
    }
    int64_t code = value.get<int64_t>();
    if (code < std::numeric_limits<int32_t>::min() || code > std::numeric_limits<int32_t>::max()) {
        refuse(path, "error code out of range");
    }
    return static_cast<int32_t>(code);
}

} // namespace dorvex::platform::sim
