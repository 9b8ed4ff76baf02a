#include "DorvexCore/DriverProtocol.h"

#include "DorvexCore/RawJson.h"

#include <algorithm>

namespace dorvex::DriverProtocol {

size_t nestingDepth(std::string_view text) {
    size_t depth = 0;
    size_t deepest = 0;
    bool inString = false;
    bool escaped = false;
    for (char c : text) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
            continue;
        }
        switch (c) {
        case '"':
            inString = true;
            break;
        case '[':
        case '{':
            deepest = std::max(deepest, ++depth);
            break;
        case ']':
        case '}':
            if (depth > 0) --depth;
            break;
        default:
            break;
        }
    }
    return deepest;
}

std::optional<DriverRequest> parseRequestLine(std::string_view line) {
    // A NUL byte is never valid JSON, but the reader would take it as the end of the text and
    // accept whatever came before it.
    if (line.find('\0') != std::string_view::npos) return std::nullopt;
    if (nestingDepth(line) > maxNestingDepth) return std::nullopt;
    Json document = Json::parse(line, nullptr, /*allow_exceptions=*/false);
    if (!document.is_object()) return std::nullopt; // also a syntax error ("discarded")
    auto id = document.find("id");
    auto method = document.find("method");
    if (id == document.end() || !id->is_string()) return std::nullopt;
    if (method == document.end() || !method->is_string()) return std::nullopt;
    DriverRequest request;
    request.id = id->get<std::string>();
    request.method = method->get<std::string>();
    if (auto params = document.find("params"); params != document.end() && params->is_object()) {
        request.params = std::move(*params);
    }
    return request;
}

bool isActionSupported(std::string_view actionType) {
    return std::find(supportedActionTypes.begin(), supportedActionTypes.end(), actionType) !=
           supportedActionTypes.end();
}

std::optional<std::string> actionFamily(std::string_view actionType) {
    struct Row {
        std::string_view actionType;
        const char* family;
    };
    static constexpr Row rows[] = {
        {"desktop_list_apps", "read"},          {"desktop_list_windows", "read"},
        {"desktop_list_monitors", "read"},      {"desktop_get_ui_tree", "read"},
        {"desktop_find_elements", "read"},      {"desktop_invoke_element_action", "write"},
        {"desktop_set_element_value", "write"}, {"desktop_subscribe_ui_events", "observer"},
        {"desktop_get_ui_events", "observer"},  {"desktop_capture_screen", "non_ax"},
        {"desktop_run_applescript", "non_ax"},  {"desktop_send_input", "non_ax"},
    };
    for (const Row& row : rows) {
        if (row.actionType == actionType) return row.family;
    }
    return std::nullopt;
}

std::optional<std::string> keyboardTargetRefusal(std::optional<int64_t> expectedFrontmostPid,
                                                 std::optional<int32_t> frontmostPid) {
    if (!expectedFrontmostPid) return std::nullopt;
    frontmostPid = knownPid(frontmostPid); // a pid of 0 or below names no app
    std::string reason;
    if (!frontmostPid) {
        reason = "the frontmost app could not be read when the keys were due to be sent";
    } else if (*frontmostPid == *expectedFrontmostPid) {
        return std::nullopt;
    } else {
        reason = "another app came to the front before the keys were sent";
    }
    return "Keyboard input refused (target_missing): " + reason + ". Nothing was typed. " +
           "Bring the target window's app to the front, then list windows and retry.";
}

std::optional<int32_t> knownPid(std::optional<int32_t> pid) {
    if (pid && *pid > 0) return pid;
    return std::nullopt;
}

Json frontmostPidField(std::optional<int64_t> pid) {
    return pid ? Json(*pid) : Json(nullptr);
}

DriverAXErrorMapping mapAXError(int32_t code, const std::string& operation) {
    struct Row {
        const char* status;
        const char* code;
        bool retryable;
        const char* prefix;
    };
    static constexpr Row apiDisabled = {"permission_required", "accessibility_not_granted", true,
                                        "Accessibility permission is required for "};
    static constexpr Row invalidElement = {"semantic_unavailable", "element_not_found", true,
                                           "AX element reference is invalid or stale for "};
    static constexpr Row attributeUnsupported = {"semantic_unavailable", "attribute_unsupported",
                                                 false, "AX attribute is not supported for "};
    static constexpr Row actionUnsupported = {"semantic_unavailable", "unsupported_action", false,
                                              "AX action is not supported for "};
    static constexpr Row notImplemented = {"not_implemented", "ax_not_implemented", false,
                                           "AX operation is not implemented for "};
    static constexpr Row other = {"execution_failed", "ax_operation_failed", true,
                                  "AX operation failed for "};
    const Row* row = &other;
    switch (code) {
    case -25211:
        row = &apiDisabled;
        break;
    case -25202:
    case -25203:
        row = &invalidElement;
        break;
    case -25205:
    case -25213:
        row = &attributeUnsupported;
        break;
    case -25206:
        row = &actionUnsupported;
        break;
    case -25208:
        row = &notImplemented;
        break;
    default:
        break;
    }
    return {row->status, row->code, row->retryable,
            row->prefix + operation + " (" + std::to_string(code) + ")."};
}

std::optional<std::string> encodeLine(const Json& object) {
    try {
        return RawJson::dumpLine(object);
    } catch (const Json::exception&) {
        return std::nullopt; // not serializable, e.g. a string that is not UTF-8
    }
}

} // namespace dorvex::DriverProtocol
