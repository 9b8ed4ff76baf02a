#include "DorvexCore/McpTools.h"

#include "DorvexCore/Base64.h"

#include <algorithm>

namespace dorvex::McpTools {
namespace {

constexpr std::string_view executeMethod = "automation.execute";
constexpr std::string_view schemaPrefix = "#/components/schemas/";
// References deeper than this are cut (a schema that refers to itself) and accept anything.
constexpr int maxReferenceDepth = 32;

const Json& componentSchema(const Json& document, const std::string& reference) {
    if (reference.rfind(schemaPrefix, 0) != 0) {
        throw OpenRpcError("unsupported reference " + reference);
    }
    const std::string name = reference.substr(schemaPrefix.size());
    const Json* schemas = nullptr;
    if (auto components = document.find("components"); components != document.end()) {
        if (auto found = components->find("schemas"); found != components->end()) {
            schemas = &*found;
        }
    }
    if (schemas == nullptr || !schemas->contains(name)) {
        throw OpenRpcError("no schema " + name);
    }
    return (*schemas)[name];
}

// The schema with every "$ref" replaced by what it names.
Json resolved(const Json& schema, const Json& document, int depth = 0) {
    if (schema.is_array()) {
        Json items = Json::array();
        for (const Json& item : schema)
            items.push_back(resolved(item, document, depth));
        return items;
    }
    if (!schema.is_object()) return schema;
    if (auto reference = schema.find("$ref"); reference != schema.end()) {
        if (depth >= maxReferenceDepth || !reference->is_string()) return Json::object();
        return resolved(componentSchema(document, reference->get<std::string>()), document,
                        depth + 1);
    }
    Json copy = Json::object();
    for (const auto& [key, value] : schema.items())
        copy[key] = resolved(value, document, depth);
    return copy;
}

std::string textOf(const Json& object, const char* key) {
    auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get<std::string>() : "";
}

Json methodInputSchema(const Json& method, const Json& document) {
    Json properties = Json::object();
    Json required = Json::array();
    for (const Json& param : method.value("params", Json::array())) {
        const std::string name = textOf(param, "name");
        if (name.empty())
            throw OpenRpcError("a param of " + textOf(method, "name") + " has no name");
        Json schema = resolved(param.value("schema", Json::object()), document);
        const std::string description = textOf(param, "description");
        if (schema.is_object() && !description.empty() && !schema.contains("description")) {
            schema["description"] = description;
        }
        properties[name] = std::move(schema);
        if (param.value("required", false)) required.push_back(name);
    }
    Json schema{{"type", "object"}, {"properties", std::move(properties)}};
    if (!required.empty()) schema["required"] = std::move(required);
    return schema;
}

// The action's parameters without "actionType", which the tool's name gives.
void dropActionType(Json& schema) {
    if (!schema.is_object()) return;
    if (auto properties = schema.find("properties"); properties != schema.end()) {
        properties->erase("actionType");
    }
    if (auto required = schema.find("required"); required != schema.end() && required->is_array()) {
        required->erase(std::remove(required->begin(), required->end(), Json("actionType")),
                        required->end());
        if (required->empty()) schema.erase("required");
    }
    for (const char* key : {"allOf", "anyOf", "oneOf"}) {
        if (auto branches = schema.find(key); branches != schema.end() && branches->is_array()) {
            for (Json& branch : *branches)
                dropActionType(branch);
        }
    }
}

McpTool actionTool(const Json& actionSchema) {
    const Json* type = nullptr;
    if (auto properties = actionSchema.find("properties"); properties != actionSchema.end()) {
        if (auto found = properties->find("actionType"); found != properties->end()) {
            type = found->contains("const") ? &(*found)["const"] : nullptr;
        }
    }
    if (type == nullptr || !type->is_string()) {
        throw OpenRpcError("an action schema has no \"actionType\" const");
    }
    Json input = actionSchema;
    dropActionType(input);
    const std::string description = textOf(input, "description");
    input.erase("description");
    input["type"] = "object";
    const std::string name = type->get<std::string>();
    return {name, std::string(executeMethod), name,
            Json{{"name", name}, {"description", description}, {"inputSchema", std::move(input)}}};
}

std::vector<McpTool> actionTools(const Json& execute, const Json& document) {
    std::vector<McpTool> tools;
    for (const Json& param : execute.value("params", Json::array())) {
        if (textOf(param, "name") != "action") continue;
        const Json schema = param.value("schema", Json::object());
        for (const Json& branch : schema.value("oneOf", Json::array()))
            tools.push_back(actionTool(resolved(branch, document)));
    }
    if (tools.empty()) throw OpenRpcError("automation.execute lists no actions");
    return tools;
}

Json textContent(const std::string& text) {
    return Json{{"type", "text"}, {"text", text}};
}

Json errorResult(const std::string& message, Json structured) {
    return Json{{"content", Json::array({textContent(message)})},
                {"structuredContent", std::move(structured)},
                {"isError", true}};
}

Json successResult(const Json& value) {
    Json result{{"content", Json::array({textContent(value.dump())})}, {"isError", false}};
    if (value.is_object()) result["structuredContent"] = value;
    return result;
}

// A failed envelope is a tool error; a capture's file comes along as an image.
Json envelopeResult(const Json& envelope, const FileReader& readFile) {
    if (!envelope.is_object() || envelope.value("ok", false) != true) {
        const Json error = envelope.is_object() ? envelope.value("error", Json::object()) : Json();
        const std::string message = error.is_object() ? textOf(error, "message") : "";
        return errorResult(message.empty() ? "The action failed." : message, envelope);
    }
    Json result = successResult(envelope);
    if (textOf(envelope, "actionType") != "desktop_capture_screen") return result;
    const Json data = envelope.value("result", Json::object());
    const std::string path = data.is_object() ? textOf(data, "filePath") : "";
    if (path.empty()) return result;
    if (std::optional<std::vector<uint8_t>> png = readFile(path)) {
        result["content"].push_back(
            Json{{"type", "image"}, {"data", base64Encode(*png)}, {"mimeType", "image/png"}});
    }
    return result;
}

} // namespace

std::string toolName(std::string_view method) {
    std::string name(method);
    std::replace(name.begin(), name.end(), '.', '_');
    return name;
}

std::vector<McpTool> fromOpenRpc(const Json& document) {
    if (!document.is_object() || !document.contains("methods") || !document["methods"].is_array()) {
        throw OpenRpcError("the document has no \"methods\"");
    }
    std::vector<McpTool> tools;
    const Json* execute = nullptr;
    for (const Json& method : document["methods"]) {
        const std::string name = textOf(method, "name");
        if (name.empty()) throw OpenRpcError("a method has no name");
        if (name == executeMethod) execute = &method;
        std::string description = textOf(method, "description");
        if (description.empty()) description = textOf(method, "summary");
        const std::string tool = toolName(name);
        tools.push_back({tool, name, "",
                         Json{{"name", tool},
                              {"description", description},
                              {"inputSchema", methodInputSchema(method, document)}}});
    }
    if (execute == nullptr) throw OpenRpcError("the document has no automation.execute");
    for (McpTool& tool : actionTools(*execute, document))
        tools.push_back(std::move(tool));
    return tools;
}

const McpTool* find(const std::vector<McpTool>& tools, std::string_view name) {
    for (const McpTool& tool : tools) {
        if (tool.name == name) return &tool;
    }
    return nullptr;
}

Json driverParams(const McpTool& tool, const Json& arguments) {
    if (tool.actionType.empty()) return arguments;
    Json action = arguments;
    action["actionType"] = tool.actionType;
    return Json{{"action", std::move(action)}};
}

Json toolResult(const McpTool& tool, const Json& answer, const FileReader& readFile) {
    if (auto error = answer.find("error"); error != answer.end() && error->is_object()) {
        std::string message = textOf(*error, "message");
        if (auto data = error->find("data"); data != error->end() && data->is_string()) {
            message += ": " + data->get<std::string>();
        }
        return errorResult(message, *error);
    }
    const Json result = answer.value("result", Json());
    if (tool.method == executeMethod) return envelopeResult(result, readFile);
    return successResult(result);
}

} // namespace dorvex::McpTools
