#pragma once

// The MCP server over the driver in the same process: each tools/call becomes one driver
// request through the same dispatcher, and the driver's answer, now or later from a script
// run's thread, becomes the call's result.
#include "Dorvex/Driver.h"
#include "Dorvex/Transport.h"
#include "DorvexCore/McpProtocol.h"
#include "DorvexCore/McpTools.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dorvex::mcp {

// The driver's transport: turns each answer line into the result of the call that asked for
// it and writes that to the client's output.
class CallBridge final : public Transport {
public:
    CallBridge(std::shared_ptr<Transport> output, std::vector<McpTool> tools);

    const std::vector<McpTool>& tools() const { return tools_; }
    Transport& output() { return *output_; }

    // Registers a call and names the driver request that serves it.
    std::string expect(const Json& callId, const McpTool& tool);
    // The driver request serving a call still waiting; its answer is then dropped.
    std::optional<std::string> forget(const Json& callId);

    void writeLine(std::string_view line) override;

private:
    struct Pending {
        Json callId;
        const McpTool* tool;
    };

    std::shared_ptr<Transport> output_;
    const std::vector<McpTool> tools_;
    std::mutex lock_; // guards the two below
    std::map<std::string, Pending> pending_;
    uint64_t nextRequest_ = 1;
};

class McpServer {
public:
    McpServer(Driver& driver, CallBridge& bridge, std::string version)
        : driver_(driver), bridge_(bridge), version_(std::move(version)) {}

    // Answers one line of the client (or nothing, for notifications and responses).
    void handleLine(std::string_view line);
    // Until end of input.
    void run(int inputFd);

private:
    std::optional<Json> answer(const McpProtocol::Message& message);
    Json initializeResult(const Json& params) const;
    Json toolList() const;
    std::optional<Json> callTool(const Json& id, const Json& params);
    void cancel(const Json& params);
    void send(const Json& line);

    Driver& driver_;
    CallBridge& bridge_;
    std::string version_;
    uint64_t nextInternal_ = 1;
};

} // namespace dorvex::mcp
