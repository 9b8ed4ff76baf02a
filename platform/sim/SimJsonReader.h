#pragma once

// Strict readers for scenario files. A scenario that does not say exactly what it means is
// refused as a whole, so a typo never turns into a silently different desktop.
#include "platform/Platform.h"
#include "platform/types/Json.h"

#include <cstdint>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace dorvex::platform::sim {

// One thing wrong with a scenario: the path of the offending value, dotted
// ("scenario.displays[0].contentImage"), and what is wrong with it.
struct ScenarioRefusal {
    std::string path;
    std::string problem;
};

// Why a scenario was refused: one problem, or several found in one object (its unknown keys).
// The message is the first problem's "path: problem".
struct ScenarioError : std::runtime_error {
    explicit ScenarioError(std::vector<ScenarioRefusal> refusals);
    std::vector<ScenarioRefusal> refusals;
};

[[noreturn]] void refuse(const std::string& path, const std::string& problem);

// Reads the keys of one JSON object and remembers which were read; `finish` refuses any key
// that nobody asked for. Keys beginning with "_" are comments.
class ObjectReader {
public:
    ObjectReader(const Json& value, std::string path);

    bool has(const char* key) const;
    const Json* raw(const char* key);
    std::optional<std::string> string(const char* key);
    std::optional<int64_t> integer(const char* key, int64_t min, int64_t max);
    std::optional<double> number(const char* key);
    std::optional<bool> boolean(const char* key);
    const Json* array(const char* key);
    const Json* object(const char* key);
    std::optional<Rect> rect(const char* key);
    std::optional<Point> point(const char* key);
    std::optional<Size> size(const char* key);

    std::string pathOf(const std::string& key) const { return path_ + "." + key; }
    const std::string& path() const { return path_; }
    // Refuses every unknown key of the object at once.
    void finish() const;

private:
    const Json& value_;
    std::string path_;
    std::set<std::string> read_;
};

Rect readRect(const Json& value, const std::string& path);
Point readPoint(const Json& value, const std::string& path);
Size readSize(const Json& value, const std::string& path);
int32_t readCode(const Json& value, const std::string& path);

} // namespace dorvex::platform::sim
