#pragma once

// The wire protocol's pure rules: request lines, action types and families, and the mapping
// of accessibility error codes to failure fields.
#include "platform/types/Json.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace dorvex {

struct DriverRequest {
    std::string id;     // exactly as sent
    std::string method; // exactly as sent
    Json params = Json::object();
};

struct DriverAXErrorMapping {
    std::string status;
    std::string code;
    bool retryable = false;
    std::string message;
    friend bool operator==(const DriverAXErrorMapping&, const DriverAXErrorMapping&) = default;
};

namespace DriverProtocol {

inline constexpr int protocolVersion = 1;

// Deeper documents are refused before parsing: copying, comparing or writing one recurses
// once per level and would overflow the stack.
inline constexpr size_t maxNestingDepth = 256;

inline constexpr std::array<std::string_view, 12> supportedActionTypes = {
    "desktop_list_apps",         "desktop_list_windows",        "desktop_list_monitors",
    "desktop_get_ui_tree",       "desktop_find_elements",       "desktop_invoke_element_action",
    "desktop_set_element_value", "desktop_subscribe_ui_events", "desktop_get_ui_events",
    "desktop_capture_screen",    "desktop_run_applescript",     "desktop_send_input",
};

// A request, or nothing when the line is not an acceptable request. Never throws.
std::optional<DriverRequest> parseRequestLine(std::string_view line);

// The deepest nesting of arrays and objects in a JSON text, counted without parsing it.
size_t nestingDepth(std::string_view text);

bool isActionSupported(std::string_view actionType);

// "read", "write", "observer", "non_ax", or nothing.
std::optional<std::string> actionFamily(std::string_view actionType);

std::optional<int32_t> knownPid(std::optional<int32_t> pid);
Json frontmostPidField(std::optional<int64_t> pid);

// Why keys must not be sent now, or nothing when they may: the check is off without an
// expected pid; otherwise the frontmost app must be readable (a pid above 0) and be it.
std::optional<std::string> keyboardTargetRefusal(std::optional<int64_t> expectedFrontmostPid,
                                                 std::optional<int32_t> frontmostPid);

DriverAXErrorMapping mapAXError(int32_t code, const std::string& operation);

// One answer line: compact JSON and one line feed, or nothing when it cannot be serialized
// (for example a string that is not UTF-8).
std::optional<std::string> encodeLine(const Json& object);

} // namespace DriverProtocol
} // namespace dorvex
