#pragma once

// The one JSON type of the driver: keeps key order and is strict about UTF-8 both ways.
#include <nlohmann/json.hpp>

namespace dorvex {

using Json = nlohmann::ordered_json;

} // namespace dorvex
