#include "DorvexMcp/McpServer.h"

#include "Dorvex/Methods.h"
#include "Dorvex/RequestLoop.h"
#include "DorvexCore/Text.h"
#include "DorvexOS/LineReader.h"

#include <fstream>
#include <iterator>

namespace dorvex::mcp {
namespace {

// Larger captures are answered with their path only: a client must not be handed a message
// of hundreds of megabytes.
constexpr std::uintmax_t largestImageBytes = 32u << 20;

std::optional<std::vector<uint8_t>> readCaptureFile(const std::string& path) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error || size > largestImageBytes) return std::nullopt;
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                               std::istreambuf_iterator<char>());
    if (file.bad()) return std::nullopt;
    return bytes;
}

} // namespace

CallBridge::CallBridge(std::shared_ptr<Transport> output, std::vector<McpTool> tools)
    : output_(std::move(output)), tools_(std::move(tools)) {}

std::string CallBridge::expect(const Json& callId, const McpTool& tool) {
    std::lock_guard<std::mutex> guard(lock_);
    std::string id = "mcp-" + std::to_string(nextRequest_++);
    pending_[id] = Pending{callId, &tool};
    return id;
}

std::optional<std::string> CallBridge::forget(const Json& callId) {
    std::lock_guard<std::mutex> guard(lock_);
    for (auto entry = pending_.begin(); entry != pending_.end(); ++entry) {
        if (entry->second.callId == callId) {
            std::string id = entry->first;
            pending_.erase(entry);
            return id;
        }
    }
    return std::nullopt;
}

void CallBridge::writeLine(std::string_view line) {
    const Json answer = Json::parse(line, nullptr, /*allow_exceptions=*/false);
    if (!answer.is_object() || !answer.contains("id") || !answer["id"].is_string()) return;
    std::optional<Pending> call;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (auto found = pending_.find(answer["id"].get<std::string>()); found != pending_.end()) {
            call = found->second;
            pending_.erase(found);
        }
    }
    // An answer nobody waits for: the call was cancelled, or the request was internal.
    if (!call) return;
    writeJSON(*output_,
              McpProtocol::response(call->callId,
                                    McpTools::toolResult(*call->tool, answer, readCaptureFile)));
}

void McpServer::run(int inputFd) {
    LineReader reader(inputFd);
    std::string line;
    while (reader.next(line))
        handleLine(line);
}

void McpServer::handleLine(std::string_view line) {
    const std::string trimmed = text::trimWhitespaceAndNewlines(std::string(line));
    if (trimmed.empty()) return;
    McpProtocol::ParsedLine parsed = McpProtocol::parseLine(trimmed);
    if (const auto* refusal = std::get_if<McpProtocol::Refusal>(&parsed)) {
        return send(McpProtocol::errorResponse(refusal->id, refusal->code, refusal->message));
    }
    const auto* message = std::get_if<McpProtocol::Message>(&parsed);
    if (message == nullptr) return;
    if (std::optional<Json> line = answer(*message)) send(*line);
}

std::optional<Json> McpServer::answer(const McpProtocol::Message& message) {
    if (!message.id) {
        if (message.method == "notifications/cancelled") cancel(message.params);
        return std::nullopt; // "notifications/initialized" and the rest need nothing
    }
    const Json& id = *message.id;
    if (message.method == "initialize") {
        return McpProtocol::response(id, initializeResult(message.params));
    }
    if (message.method == "ping") return McpProtocol::response(id, Json::object());
    if (message.method == "tools/list") return McpProtocol::response(id, toolList());
    if (message.method == "tools/call") return callTool(id, message.params);
    return McpProtocol::errorResponse(id, McpProtocol::methodNotFound,
                                      "Method not found: " + message.method);
}

Json McpServer::initializeResult(const Json& params) const {
    const auto requested = params.find("protocolVersion");
    return Json{
        {"protocolVersion",
         McpProtocol::negotiatedVersion(requested == params.end() ? nullptr : &*requested)},
        {"capabilities", {{"tools", {{"listChanged", false}}}}},
        {"serverInfo", {{"name", "dorvex-mcp"}, {"title", "Dorvex"}, {"version", version_}}},
        {"instructions",
         "Drives a macOS desktop: list apps and windows, read and search accessibility trees, "
         "act on elements by the paths a read gave, capture screens, type and click, run "
         "AppleScript. Failures are tool errors whose text says what to do next."}};
}

Json McpServer::toolList() const {
    Json tools = Json::array();
    for (const McpTool& tool : bridge_.tools())
        tools.push_back(tool.definition);
    return Json{{"tools", std::move(tools)}};
}

std::optional<Json> McpServer::callTool(const Json& id, const Json& params) {
    const auto name = params.find("name");
    const McpTool* tool = name != params.end() && name->is_string()
                              ? McpTools::find(bridge_.tools(), name->get<std::string>())
                              : nullptr;
    if (tool == nullptr) {
        return McpProtocol::errorResponse(
            id, McpProtocol::invalidParams,
            "Unknown tool: " + (name != params.end() ? name->dump() : std::string("(none)")));
    }
    Json arguments = params.value("arguments", Json::object());
    if (arguments.is_null()) arguments = Json::object();
    if (!arguments.is_object()) {
        return McpProtocol::errorResponse(id, McpProtocol::invalidParams,
                                          "Invalid params: arguments must be an object");
    }
    // The driver answers through the bridge: now, or when a script run ends.
    DriverRequest request{bridge_.expect(id, *tool), tool->method,
                          McpTools::driverParams(*tool, arguments)};
    drainPendingEvents(driver_.platform.workspace);
    handleRequest(driver_, request);
    return std::nullopt;
}

// A cancelled call is not answered; a script it started is cancelled as the driver cancels
// one, by its request id.
void McpServer::cancel(const Json& params) {
    const auto callId = params.find("requestId");
    if (callId == params.end()) return;
    std::optional<std::string> requestId = bridge_.forget(*callId);
    if (!requestId) return;
    // Its own answer goes to the bridge, which knows no such call and drops it.
    handleRequest(driver_, DriverRequest{"mcp-cancel-" + std::to_string(nextInternal_++),
                                         "automation.cancel", Json{{"requestId", *requestId}}});
}

void McpServer::send(const Json& line) {
    writeJSON(bridge_.output(), line);
}

} // namespace dorvex::mcp
