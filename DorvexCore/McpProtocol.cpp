#include "DorvexCore/McpProtocol.h"

#include "DorvexCore/DriverProtocol.h"

namespace dorvex::McpProtocol {
namespace {

bool validId(const Json& id) {
    return id.is_string() || id.is_number_integer();
}

} // namespace

std::string negotiatedVersion(const Json* requested) {
    if (requested && requested->is_string()) {
        for (std::string_view version : supportedVersions) {
            if (version == requested->get<std::string>()) return std::string(version);
        }
    }
    return std::string(supportedVersions.front());
}

ParsedLine parseLine(std::string_view line) {
    // As in the driver: a NUL byte ends the reader's text early, and deep nesting would recurse
    // once per level when the message is copied or written.
    if (line.find('\0') != std::string_view::npos ||
        DriverProtocol::nestingDepth(line) > DriverProtocol::maxNestingDepth) {
        return Refusal{nullptr, parseError, "Parse error"};
    }
    Json document = Json::parse(line, nullptr, /*allow_exceptions=*/false);
    if (document.is_discarded()) return Refusal{nullptr, parseError, "Parse error"};
    if (!document.is_object()) return Refusal{nullptr, invalidRequest, "Invalid Request"};
    const auto id = document.find("id");
    const bool hasId = id != document.end();
    if (hasId && !validId(*id)) return Refusal{nullptr, invalidRequest, "Invalid Request"};
    const auto method = document.find("method");
    if (method == document.end() || !method->is_string()) {
        // A response to a request of ours (this server sends none) or a malformed line.
        if (!hasId || document.contains("result") || document.contains("error")) return Ignored{};
        return Refusal{*id, invalidRequest, "Invalid Request"};
    }
    Message message{hasId ? std::optional<Json>(*id) : std::nullopt, method->get<std::string>()};
    if (const auto params = document.find("params"); params != document.end()) {
        if (!params->is_object()) {
            if (!hasId) return Ignored{};
            return Refusal{*id, invalidParams, "Invalid params: params must be an object"};
        }
        message.params = std::move(*params);
    }
    return message;
}

Json response(const Json& id, Json result) {
    Json line = Json::object();
    line["jsonrpc"] = "2.0";
    line["id"] = id;
    line["result"] = std::move(result);
    return line;
}

Json errorResponse(const Json& id, int code, const std::string& message) {
    return Json{{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}};
}

} // namespace dorvex::McpProtocol
