#pragma once

// The answer lines of the protocol, each written whole in one write under the output lock.
#include "DorvexCore/Json.h"

#include <mutex>
#include <optional>
#include <string>

namespace dorvex {

namespace Shared {
std::mutex& outputLock();
} // namespace Shared

// Serializes one object and writes it as one line; a line that cannot be serialized is dropped.
void writeJSON(const Json& object);
void writeResponse(const std::string& id, const Json& result);
void writeError(const std::string& id, int code, const std::string& message,
                const std::optional<Json>& data = std::nullopt);

Json responseObject(const std::string& id, Json result);
Json errorObject(const std::string& id, int code, const std::string& message,
                 const std::optional<Json>& data);

} // namespace dorvex
