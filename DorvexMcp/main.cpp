// The MCP server's entry point: the Model Context Protocol on standard input and output, over
// the driver in this process.
#include "Dorvex/ProcessMain.h"
#include "Dorvex/Transport.h"
#include "DorvexCore/McpTools.h"
#include "DorvexMcp/McpServer.h"
#include "DorvexMcp/OpenRpcDocument.h"

#include <memory>
#include <unistd.h>

int main(int argc, char** argv) {
    const dorvex::Json document = dorvex::Json::parse(dorvex::mcp::openRpcText());
    const std::string version =
        document.value("info", dorvex::Json::object()).value("version", "0");
    auto output = std::make_shared<dorvex::DescriptorTransport>(STDOUT_FILENO);
    auto bridge =
        std::make_shared<dorvex::mcp::CallBridge>(output, dorvex::McpTools::fromOpenRpc(document));
    dorvex::runDriverProcess(argc, argv, bridge, [&](dorvex::Driver& driver) {
        dorvex::mcp::McpServer(driver, *bridge, version).run(STDIN_FILENO);
    });
}
