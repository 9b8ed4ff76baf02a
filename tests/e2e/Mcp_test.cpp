// The MCP server (dorvex-mcp) through pipes on the default simulated desktop: the handshake,
// the tools, calls of each kind and their errors.
#include "support/DriverProcess.h"
#include "support/PngFiles.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <set>
#include <string>

namespace dorvex::testing {
namespace {

class McpClient {
public:
    McpClient() : server_(DORVEX_MCP_BINARY, DriverOptions{}) {}

    DriverProcess& process() { return server_; }

    // Sends one request and returns the answer with its id (other lines are kept for later).
    Json request(const std::string& method, Json params = Json::object()) {
        const int id = nextId_++;
        server_.send(
            Json{{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", params}}.dump());
        return answerTo(id);
    }
    Json answerTo(const Json& id) {
        for (auto kept = early_.begin(); kept != early_.end(); ++kept) {
            if ((*kept)["id"] == id) {
                Json line = *kept;
                early_.erase(kept);
                return line;
            }
        }
        while (std::optional<Json> line = server_.readLine()) {
            if ((*line)["id"] == id) return *line;
            early_.push_back(*line);
        }
        return Json();
    }
    Json initialize(const std::string& version = "2025-06-18") {
        Json answer = request("initialize", {{"protocolVersion", version},
                                             {"capabilities", Json::object()},
                                             {"clientInfo", {{"name", "test"}, {"version", "1"}}}});
        server_.send(R"({"jsonrpc":"2.0","method":"notifications/initialized"})");
        return answer;
    }
    Json call(const std::string& tool, Json arguments = Json::object()) {
        return request("tools/call",
                       {{"name", tool}, {"arguments", std::move(arguments)}})["result"];
    }

private:
    DriverProcess server_;
    std::vector<Json> early_;
    int nextId_ = 1;
};

std::vector<uint8_t> base64Decode(const std::string& text) {
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::vector<uint8_t> bytes;
    uint32_t group = 0;
    int bits = 0;
    for (char c : text) {
        if (c == '=') break;
        const size_t value = alphabet.find(c);
        if (value == std::string::npos) return {};
        group = (group << 6) | static_cast<uint32_t>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes.push_back(static_cast<uint8_t>((group >> bits) & 0xff));
        }
    }
    return bytes;
}

const Json* contentOfType(const Json& result, const std::string& type) {
    for (const Json& content : result["content"]) {
        if (content["type"] == type) return &content;
    }
    return nullptr;
}

TEST(McpServer, NegotiatesTheVersionAndAnswersThePlainMethods) {
    struct Case {
        std::string asked;
        std::string answered;
    } cases[] = {{"2025-06-18", "2025-06-18"},
                 {"2025-03-26", "2025-03-26"},
                 {"2024-11-05", "2024-11-05"},
                 {"2023-01-01", "2025-06-18"}};
    for (const Case& c : cases) {
        McpClient client;
        Json answer = client.initialize(c.asked);
        EXPECT_EQ(answer["result"]["protocolVersion"], c.answered) << c.asked;
        EXPECT_EQ(answer["result"]["serverInfo"]["name"], "dorvex-mcp");
        EXPECT_TRUE(answer["result"]["capabilities"].contains("tools"));
    }
    McpClient client;
    client.initialize();
    // The initialized notification got no answer: the next line is the ping's.
    EXPECT_EQ(client.request("ping"),
              (Json{{"jsonrpc", "2.0"}, {"id", 2}, {"result", Json::object()}}));
    EXPECT_EQ(client.request("resources/list")["error"]["code"], -32601);
    client.process().send("{not json");
    EXPECT_EQ(client.process().readLine().value_or(Json())["error"]["code"], -32700);
    client.process().send(R"({"jsonrpc":"2.0","id":"s-1","method":"ping"})");
    EXPECT_EQ(client.process().readLine().value_or(Json())["id"], "s-1");
    client.process().closeInput();
    EXPECT_EQ(client.process().waitExit(), 0);
    EXPECT_EQ(client.process().standardError(), "");
}

TEST(McpServer, ListsEveryMethodAndActionWithItsSchema) {
    McpClient client;
    client.initialize();
    Json tools = client.request("tools/list")["result"]["tools"];
    std::set<std::string> names;
    for (const Json& tool : tools) {
        names.insert(tool["name"].get<std::string>());
        EXPECT_EQ(tool["inputSchema"]["type"], "object") << tool["name"];
        EXPECT_FALSE(tool["description"].get<std::string>().empty()) << tool["name"];
        // The tool's name gives the action type; no schema asks for it or refers elsewhere.
        EXPECT_FALSE(tool["inputSchema"].value("properties", Json::object()).contains("actionType"))
            << tool["name"];
        EXPECT_EQ(tool["inputSchema"].dump().find("$ref"), std::string::npos) << tool["name"];
    }
    for (const char* expected : {"system_ping",
                                 "system_capabilities",
                                 "system_appState",
                                 "system_runningApps",
                                 "system_automationTargetInfo",
                                 "system_requestAutomationPermission",
                                 "app_launch",
                                 "permissions_status",
                                 "permissions_request",
                                 "permissions_openSettings",
                                 "automation_execute",
                                 "automation_cancel",
                                 "desktop_list_apps",
                                 "desktop_list_windows",
                                 "desktop_list_monitors",
                                 "desktop_capture_screen",
                                 "desktop_get_ui_tree",
                                 "desktop_find_elements",
                                 "desktop_invoke_element_action",
                                 "desktop_set_element_value",
                                 "desktop_subscribe_ui_events",
                                 "desktop_get_ui_events",
                                 "desktop_send_input",
                                 "desktop_run_applescript"}) {
        EXPECT_TRUE(names.contains(expected)) << expected;
    }
    EXPECT_EQ(names.size(), tools.size()) << "tool names are unique";
}

TEST(McpServer, ReadsAndElementActionsAnswerTheirEnvelopes) {
    McpClient client;
    client.initialize();
    Json windows = client.call("desktop_list_windows");
    EXPECT_EQ(windows["isError"], false);
    EXPECT_EQ(windows["structuredContent"]["ok"], true);
    EXPECT_EQ(Json::parse(windows["content"][0]["text"].get<std::string>()),
              windows["structuredContent"]);

    Json found = client.call("desktop_find_elements",
                             {{"appBundleId", "com.apple.TextEdit"}, {"title", "OK"}});
    ASSERT_EQ(found["structuredContent"]["ok"], true) << found;
    Json path = found["structuredContent"]["result"]["matches"][0]["path"];
    Json pressed =
        client.call("desktop_invoke_element_action", {{"appBundleId", "com.apple.TextEdit"},
                                                      {"elementPath", path},
                                                      {"elementAction", "AXPress"}});
    EXPECT_EQ(pressed["isError"], false) << pressed;
    EXPECT_EQ(pressed["structuredContent"]["actionType"], "desktop_invoke_element_action");

    // A method's tool answers the method's result.
    Json ping = client.call("system_ping");
    EXPECT_EQ(ping["isError"], false);
    EXPECT_TRUE(ping["structuredContent"].is_object());
}

TEST(McpServer, ACaptureComesAsAPngOfTheDisplaysPixelSizeBesidesItsPath) {
    McpClient client;
    client.initialize();
    Json capture = client.call("desktop_capture_screen", {{"monitorId", 1}});
    ASSERT_EQ(capture["isError"], false) << capture;
    const Json* image = contentOfType(capture, "image");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ((*image)["mimeType"], "image/png");
    std::optional<DecodedPng> png = decodePng(base64Decode((*image)["data"].get<std::string>()));
    ASSERT_TRUE(png.has_value());
    // The default desktop's display: 1440 x 900 points at scale 2.
    EXPECT_EQ(png->width, 2880u);
    EXPECT_EQ(png->height, 1800u);
    const std::string path = capture["structuredContent"]["result"]["filePath"];
    EXPECT_TRUE(std::filesystem::is_regular_file(path));
}

TEST(McpServer, FailuresAreToolErrorsWithTheirMessage) {
    McpClient client;
    client.initialize();
    // A failed envelope.
    Json missing = client.call("desktop_get_ui_tree", {{"windowId", 987654}});
    EXPECT_EQ(missing["isError"], true);
    EXPECT_EQ(missing["structuredContent"]["ok"], false);
    EXPECT_EQ(missing["content"][0]["text"], missing["structuredContent"]["error"]["message"]);
    // A JSON-RPC error of the method.
    Json launch = client.call("app_launch");
    EXPECT_EQ(launch["isError"], true);
    EXPECT_FALSE(launch["content"][0]["text"].get<std::string>().empty());
    // Not a tool, or arguments that are not an object: errors of the call itself.
    EXPECT_EQ(client.request("tools/call", {{"name", "desktop_fly"}})["error"]["code"], -32602);
    EXPECT_EQ(
        client.request("tools/call", {{"name", "system_ping"}, {"arguments", 3}})["error"]["code"],
        -32602);
}

TEST(McpServer, AScriptAnswersWhenItEndsWhileOtherCallsGoOn) {
    McpClient client;
    client.initialize();
    // The simulated desktop runs scripts with /bin/sh.
    client.process().send(
        R"({"jsonrpc":"2.0","id":"script","method":"tools/call","params":{"name":"desktop_run_applescript","arguments":{"script":"sleep 0.3; echo done","targetBundleId":"com.apple.TextEdit"}}})");
    EXPECT_EQ(client.request("ping")["result"], Json::object());
    Json script = client.answerTo("script");
    EXPECT_EQ(script["result"]["isError"], false) << script;
    EXPECT_EQ(script["result"]["structuredContent"]["actionType"], "desktop_run_applescript");
}

TEST(McpServer, ACancelledCallIsNeverAnswered) {
    McpClient client;
    client.initialize();
    client.process().send(
        R"({"jsonrpc":"2.0","id":"long","method":"tools/call","params":{"name":"desktop_run_applescript","arguments":{"script":"sleep 30","targetBundleId":"com.apple.TextEdit"}}})");
    client.request("ping"); // the script has started
    client.process().send(
        R"({"jsonrpc":"2.0","method":"notifications/cancelled","params":{"requestId":"long"}})");
    EXPECT_EQ(client.request("ping")["result"], Json::object());
    client.process().closeInput();
    EXPECT_EQ(client.process().readLine(std::chrono::milliseconds(2000)), std::nullopt);
    EXPECT_EQ(client.process().waitExit(), 0);
}

} // namespace
} // namespace dorvex::testing
