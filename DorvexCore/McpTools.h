#pragma once

// The MCP tools of the driver, made from its OpenRPC document: one per method ("system.ping"
// is "system_ping") and one per action of "automation.execute" (named by its action type),
// each with its description and its parameters' schema; and what a driver answer becomes as
// a tool's result.
#include "platform/types/Json.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace dorvex {

struct McpTool {
    std::string name;       // what the client calls
    std::string method;     // the driver method it sends
    std::string actionType; // the action it runs; empty for a method's own tool
    Json definition;        // "name", "description", "inputSchema", as tools/list gives it
};

// A document without the methods or schemas the tools need.
struct OpenRpcError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

namespace McpTools {

// Methods first, in the document's order, then the actions in the order of the
// "automation.execute" action's "oneOf". References into the document are written out in
// place, so each input schema stands alone. Throws OpenRpcError.
std::vector<McpTool> fromOpenRpc(const Json& document);

// A method's name as a tool's: "." is not allowed in tool names everywhere.
std::string toolName(std::string_view method);

const McpTool* find(const std::vector<McpTool>& tools, std::string_view name);

// The driver request's params for a call with these arguments (an object).
Json driverParams(const McpTool& tool, const Json& arguments);

// Reads a capture's file; nothing when it cannot.
using FileReader = std::function<std::optional<std::vector<uint8_t>>(const std::string& path)>;

// The tools/call result of the driver's answer line: the method's result or the action's
// envelope as JSON text and as structured content (a capture's picture too, as PNG image
// content), or a tool error with the failure's message.
Json toolResult(const McpTool& tool, const Json& answer, const FileReader& readFile);

} // namespace McpTools
} // namespace dorvex
