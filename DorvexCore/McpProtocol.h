#pragma once

// The Model Context Protocol's message rules: reading one line of a client, the answers, and
// the protocol version agreed at initialize.
#include "platform/types/Json.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace dorvex::McpProtocol {

// Newest first.
inline constexpr std::array<std::string_view, 3> supportedVersions = {"2025-06-18", "2025-03-26",
                                                                      "2024-11-05"};

// The client's version when this server speaks it, else the newest it speaks.
std::string negotiatedVersion(const Json* requested);

inline constexpr int parseError = -32700;
inline constexpr int invalidRequest = -32600;
inline constexpr int methodNotFound = -32601;
inline constexpr int invalidParams = -32602;

// A request (with an id) or a notification (without one).
struct Message {
    std::optional<Json> id; // a string or a whole number, exactly as sent
    std::string method;
    Json params = Json::object();
};

// A line that must be answered with an error.
struct Refusal {
    Json id; // null when the line's id could not be read
    int code = invalidRequest;
    std::string message;
};

// A line that gets no answer: a response of the client, or a notification that is not valid.
struct Ignored {};

using ParsedLine = std::variant<Message, Refusal, Ignored>;

// Never throws. Lines holding NUL bytes or nested too deeply are parse errors.
ParsedLine parseLine(std::string_view line);

Json response(const Json& id, Json result);
Json errorResponse(const Json& id, int code, const std::string& message);

} // namespace dorvex::McpProtocol
