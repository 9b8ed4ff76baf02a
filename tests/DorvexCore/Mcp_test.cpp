// The MCP server's rules: reading client lines, the version agreed, the tools made from an
// OpenRPC document, and what driver answers become.
#include "DorvexCore/Base64.h"
#include "DorvexCore/McpProtocol.h"
#include "DorvexCore/McpTools.h"

#include <gtest/gtest.h>
#include <string>

namespace dorvex {
namespace {

TEST(Base64, EncodesEveryPaddingCase) {
    struct Case {
        std::vector<uint8_t> bytes;
        std::string text;
    } cases[] = {{{}, ""},
                 {{'f'}, "Zg=="},
                 {{'f', 'o'}, "Zm8="},
                 {{'f', 'o', 'o'}, "Zm9v"},
                 {{'f', 'o', 'o', 'b'}, "Zm9vYg=="},
                 {{0xff, 0xfe, 0x00}, "//4A"}};
    for (const Case& c : cases)
        EXPECT_EQ(base64Encode(c.bytes), c.text) << c.text;
}

TEST(McpProtocol, AnswersTheClientsVersionWhenSpokenElseTheNewest) {
    struct Case {
        Json asked;
        std::string answered;
    } cases[] = {{"2025-06-18", "2025-06-18"}, {"2025-03-26", "2025-03-26"},
                 {"2024-11-05", "2024-11-05"}, {"2099-01-01", "2025-06-18"},
                 {42, "2025-06-18"},           {nullptr, "2025-06-18"}};
    for (const Case& c : cases)
        EXPECT_EQ(McpProtocol::negotiatedVersion(&c.asked), c.answered) << c.asked;
    EXPECT_EQ(McpProtocol::negotiatedVersion(nullptr), "2025-06-18");
}

TEST(McpProtocol, ReadsRequestsNotificationsAndRefusesTheRest) {
    using namespace McpProtocol;
    auto message = std::get<Message>(parseLine(R"({"jsonrpc":"2.0","id":7,"method":"ping"})"));
    EXPECT_EQ(message.id, Json(7));
    EXPECT_EQ(message.method, "ping");
    EXPECT_EQ(message.params, Json::object());
    auto notification =
        std::get<Message>(parseLine(R"({"jsonrpc":"2.0","method":"notifications/initialized"})"));
    EXPECT_FALSE(notification.id.has_value());

    struct Case {
        std::string line;
        Json id;
        int code;
    } refused[] = {
        {"{nope", nullptr, parseError},
        {std::string("{\"id\":1,\"method\":\"ping\"}\0", 23), nullptr, parseError},
        {std::string(300, '[') + std::string(300, ']'), nullptr, parseError},
        {"[1]", nullptr, invalidRequest},
        {R"({"id":1.5,"method":"ping"})", nullptr, invalidRequest},
        {R"({"id":null,"method":"ping"})", nullptr, invalidRequest},
        {R"({"id":"a"})", "a", invalidRequest},
        {R"({"id":"a","method":3})", "a", invalidRequest},
        {R"({"id":2,"method":"tools/call","params":[1]})", 2, invalidParams},
    };
    for (const Case& c : refused) {
        const ParsedLine parsed = parseLine(c.line);
        ASSERT_TRUE(std::holds_alternative<Refusal>(parsed)) << c.line;
        EXPECT_EQ(std::get<Refusal>(parsed).id, c.id) << c.line;
        EXPECT_EQ(std::get<Refusal>(parsed).code, c.code) << c.line;
    }
    // The client's responses and malformed notifications are not answered.
    for (const char* line : {R"({"jsonrpc":"2.0","id":1,"result":{}})",
                             R"({"jsonrpc":"2.0","method":"x","params":3})"}) {
        EXPECT_TRUE(std::holds_alternative<Ignored>(parseLine(line))) << line;
    }
}

// A small document in the shape the driver's follows.
Json document() {
    return Json::parse(R"({
      "openrpc": "1.2.6",
      "methods": [
        {"name": "system.ping", "description": "Checks.", "params": [],
         "result": {"name": "r", "schema": {"type": "object"}}},
        {"name": "app.launch", "summary": "Launches.",
         "params": [{"name": "bundleId", "required": true, "description": "The app.",
                     "schema": {"type": "string"}},
                    {"name": "wait", "required": false, "schema": {"$ref": "#/components/schemas/ms"}}],
         "result": {"name": "r", "schema": {}}},
        {"name": "automation.execute", "description": "Runs an action.",
         "params": [{"name": "action", "required": true, "schema": {"oneOf": [
           {"$ref": "#/components/schemas/action.desktop_get_ui_tree"}]}}],
         "result": {"name": "r", "schema": {}}}
      ],
      "components": {"schemas": {
        "ms": {"type": "integer", "minimum": 0},
        "path": {"type": "array", "items": {"$ref": "#/components/schemas/path"}},
        "action.desktop_get_ui_tree": {
          "type": "object", "description": "Reads a tree.",
          "properties": {"actionType": {"const": "desktop_get_ui_tree"},
                         "windowId": {"$ref": "#/components/schemas/ms"},
                         "elementPath": {"$ref": "#/components/schemas/path"}},
          "required": ["actionType"], "additionalProperties": false}
      }}
    })");
}

TEST(McpTools, MakesOneToolPerMethodAndActionWithStandAloneSchemas) {
    const std::vector<McpTool> tools = McpTools::fromOpenRpc(document());
    ASSERT_EQ(tools.size(), 4u);
    EXPECT_EQ(tools[0].definition,
              (Json{{"name", "system_ping"},
                    {"description", "Checks."},
                    {"inputSchema", {{"type", "object"}, {"properties", Json::object()}}}}));
    EXPECT_EQ(tools[1].definition["description"], "Launches.");
    EXPECT_EQ(tools[1].definition["inputSchema"], Json::parse(R"({"type": "object", "properties": {
                "bundleId": {"type": "string", "description": "The app."},
                "wait": {"type": "integer", "minimum": 0}}, "required": ["bundleId"]})"));
    EXPECT_EQ(tools[2].name, "automation_execute");
    const McpTool& tree = tools[3];
    EXPECT_EQ(tree.name, "desktop_get_ui_tree");
    EXPECT_EQ(tree.method, "automation.execute");
    EXPECT_EQ(tree.definition["description"], "Reads a tree.");
    const Json& input = tree.definition["inputSchema"];
    EXPECT_FALSE(input["properties"].contains("actionType"));
    EXPECT_FALSE(input.contains("required"));
    EXPECT_EQ(input["properties"]["windowId"], (Json{{"type", "integer"}, {"minimum", 0}}));
    // A schema that refers to itself is cut, not followed for ever.
    EXPECT_EQ(input.dump().find("$ref"), std::string::npos);
}

TEST(McpTools, RefusesDocumentsTheToolsCannotComeFrom) {
    for (const char* text :
         {R"({})", R"({"methods": [{"name": "system.ping"}]})",
          R"({"methods": [{"name": "automation.execute", "params": [{"name": "action",
              "schema": {"oneOf": [{"$ref": "#/components/schemas/missing"}]}}]}]})",
          R"({"methods": [{"name": "automation.execute", "params": [{"name": "action",
              "schema": {"oneOf": [{"type": "object"}]}}]}]})"}) {
        EXPECT_THROW(McpTools::fromOpenRpc(Json::parse(text)), OpenRpcError) << text;
    }
}

TEST(McpTools, ArgumentsBecomeTheMethodsParamsOrTheAction) {
    const std::vector<McpTool> tools = McpTools::fromOpenRpc(document());
    const Json arguments{{"windowId", 5}};
    EXPECT_EQ(McpTools::driverParams(tools[1], arguments), arguments);
    EXPECT_EQ(McpTools::driverParams(tools[3], arguments),
              (Json{{"action", {{"windowId", 5}, {"actionType", "desktop_get_ui_tree"}}}}));
    // The tool's own action type wins over one in the arguments.
    EXPECT_EQ(McpTools::driverParams(tools[3], {{"actionType", "desktop_send_input"}}),
              (Json{{"action", {{"actionType", "desktop_get_ui_tree"}}}}));
}

TEST(McpTools, AnswersBecomeResultsOrToolErrors) {
    const McpTool ping{"system_ping", "system.ping", "", Json::object()};
    const McpTool capture{"desktop_capture_screen", "automation.execute", "desktop_capture_screen",
                          Json::object()};
    std::vector<std::string> read;
    const McpTools::FileReader reader = [&](const std::string& path) {
        read.push_back(path);
        return std::optional<std::vector<uint8_t>>(std::vector<uint8_t>{'P', 'N', 'G'});
    };
    const Json pong{{"ok", true}};
    EXPECT_EQ(McpTools::toolResult(ping, {{"id", "1"}, {"result", pong}}, reader),
              (Json{{"content", {{{"type", "text"}, {"text", pong.dump()}}}},
                    {"isError", false},
                    {"structuredContent", pong}}));

    const Json error{{"code", -32602}, {"message", "bundleId is required."}};
    Json failed = McpTools::toolResult(ping, {{"id", "1"}, {"error", error}}, reader);
    EXPECT_EQ(failed["isError"], true);
    EXPECT_EQ(failed["content"][0]["text"], "bundleId is required.");

    const Json refused{{"ok", false},
                       {"actionType", "desktop_capture_screen"},
                       {"error", {{"code", "monitor_not_found"}, {"message", "No display 9."}}}};
    failed = McpTools::toolResult(capture, {{"result", refused}}, reader);
    EXPECT_EQ(failed["isError"], true);
    EXPECT_EQ(failed["content"], Json::parse(R"([{"type": "text", "text": "No display 9."}])"));
    EXPECT_EQ(failed["structuredContent"], refused);
    EXPECT_TRUE(read.empty());

    const Json captured{{"ok", true},
                        {"actionType", "desktop_capture_screen"},
                        {"result", {{"filePath", "/tmp/c/1.png"}}}};
    Json shot = McpTools::toolResult(capture, {{"result", captured}}, reader);
    EXPECT_EQ(shot["isError"], false);
    EXPECT_EQ(read, std::vector<std::string>{"/tmp/c/1.png"});
    ASSERT_EQ(shot["content"].size(), 2u);
    EXPECT_EQ(shot["content"][1],
              (Json{{"type", "image"}, {"data", "UE5H"}, {"mimeType", "image/png"}}));
    // A file that cannot be read leaves the path alone.
    shot = McpTools::toolResult(capture, {{"result", captured}},
                                [](const std::string&) { return std::nullopt; });
    EXPECT_EQ(shot["content"].size(), 1u);
    EXPECT_EQ(shot["isError"], false);
}

} // namespace
} // namespace dorvex
