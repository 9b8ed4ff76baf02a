#include "DorvexCore/DriverProtocol.h"
#include "DorvexCore/RawJson.h"

#include <gtest/gtest.h>

namespace dorvex {
namespace {

TEST(ParseRequestLine, AcceptsOnlyObjectsWithStringIdAndMethod) {
    struct Case {
        std::string line;
        bool accepted;
    } cases[] = {
        {R"({"id":"1","method":"system.ping"})", true},
        {R"({"jsonrpc":"2.0","id":"","method":""})", true},
        {R"({"id":1,"method":"system.ping"})", false},
        {R"({"id":null,"method":"system.ping"})", false},
        {R"({"id":true,"method":"system.ping"})", false},
        {R"({"id":"1"})", false},
        {R"({"id":"1","method":7})", false},
        {R"([{"id":"1","method":"system.ping"}])", false},
        {R"("system.ping")", false},
        {"42", false},
        {"not json", false},
        {R"({"id":"1","method":"system.ping"} trailing)", false},
        {std::string(R"({"id":"1","method":"a)") + '\0' + R"("})", false},
        {std::string(R"({"id":"1","method":"system.ping"})") + '\0', false},
        {"{\"id\":\"1\",\"method\":\"\xFF\"}", false},         // invalid UTF-8 in a string
        {"{\"id\":\"1\",\"method\":\"\xED\xA0\x80\"}", false}, // encoded surrogate
        {"", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DriverProtocol::parseRequestLine(c.line).has_value(), c.accepted) << c.line;
    }
}

TEST(ParseRequestLine, KeepsIdAndMethodExactlyAndNormalizesParams) {
    auto request = DriverProtocol::parseRequestLine(
        R"({"id":" a ","method":" system.ping ","params":{"k":[1,2]}})");
    ASSERT_TRUE(request);
    EXPECT_EQ(request->id, " a ");
    EXPECT_EQ(request->method, " system.ping ");
    EXPECT_EQ(request->params, Json::parse(R"({"k":[1,2]})"));

    for (const char* params : {"null", "[1]", "\"x\"", "3", "true"}) {
        auto other = DriverProtocol::parseRequestLine(
            std::string(R"({"id":"1","method":"m","params":)") + params + "}");
        ASSERT_TRUE(other) << params;
        EXPECT_TRUE(other->params.is_object() && other->params.empty()) << params;
    }
    auto absent = DriverProtocol::parseRequestLine(R"({"id":"1","method":"m"})");
    ASSERT_TRUE(absent);
    EXPECT_TRUE(absent->params.is_object() && absent->params.empty());
}

TEST(ParseRequestLine, RefusesDocumentsNestedTooDeep) {
    auto nested = [](size_t depth) {
        return R"({"id":"1","method":"m","params":{"p":)" + std::string(depth, '[') +
               std::string(depth, ']') + "}}";
    };
    EXPECT_TRUE(DriverProtocol::parseRequestLine(nested(DriverProtocol::maxNestingDepth - 2)));
    EXPECT_FALSE(DriverProtocol::parseRequestLine(nested(DriverProtocol::maxNestingDepth)));
    EXPECT_FALSE(DriverProtocol::parseRequestLine(nested(100000)));
    // Brackets inside strings are text, not nesting.
    EXPECT_TRUE(DriverProtocol::parseRequestLine(R"({"id":"[[[[\"{{{{","method":"m"})"));
    EXPECT_EQ(DriverProtocol::nestingDepth(R"(["\\",["]"]])"), 2u);
}

TEST(ActionTypes, SupportAndFamilies) {
    ASSERT_EQ(DriverProtocol::supportedActionTypes.size(), 12u);
    EXPECT_EQ(DriverProtocol::supportedActionTypes.front(), "desktop_list_apps");
    EXPECT_EQ(DriverProtocol::supportedActionTypes.back(), "desktop_send_input");
    for (std::string_view type : DriverProtocol::supportedActionTypes) {
        EXPECT_TRUE(DriverProtocol::isActionSupported(type));
        EXPECT_TRUE(DriverProtocol::actionFamily(type).has_value()) << type;
    }
    for (const char* type : {"DESKTOP_LIST_APPS", " desktop_list_apps", "", "desktop_unknown"}) {
        EXPECT_FALSE(DriverProtocol::isActionSupported(type)) << type;
        EXPECT_FALSE(DriverProtocol::actionFamily(type).has_value()) << type;
    }
    EXPECT_EQ(DriverProtocol::actionFamily("desktop_find_elements"), "read");
    EXPECT_EQ(DriverProtocol::actionFamily("desktop_set_element_value"), "write");
    EXPECT_EQ(DriverProtocol::actionFamily("desktop_get_ui_events"), "observer");
    EXPECT_EQ(DriverProtocol::actionFamily("desktop_run_applescript"), "non_ax");
}

TEST(ActionTypes, PidHelpers) {
    EXPECT_EQ(DriverProtocol::knownPid(std::nullopt), std::nullopt);
    EXPECT_EQ(DriverProtocol::knownPid(0), std::nullopt);
    EXPECT_EQ(DriverProtocol::knownPid(-4), std::nullopt);
    EXPECT_EQ(DriverProtocol::knownPid(77), 77);
    EXPECT_EQ(DriverProtocol::frontmostPidField(std::nullopt), Json(nullptr));
    EXPECT_EQ(DriverProtocol::frontmostPidField(12), Json(12));
}

TEST(KeyboardTarget, RefusesUnlessTheExpectedAppIsFrontmost) {
    const std::string unreadable =
        "Keyboard input refused (target_missing): the frontmost app could not be read when the "
        "keys were due to be sent. Nothing was typed. Bring the target window's app to the "
        "front, then list windows and retry.";
    const std::string another =
        "Keyboard input refused (target_missing): another app came to the front before the keys "
        "were sent. Nothing was typed. Bring the target window's app to the front, then list "
        "windows and retry.";
    struct Case {
        const char* name;
        std::optional<int64_t> expected;
        std::optional<int32_t> frontmost;
        std::optional<std::string> refusal;
    } cases[] = {
        {"no expectation, frontmost unreadable", std::nullopt, std::nullopt, std::nullopt},
        {"no expectation, another app", std::nullopt, 900, std::nullopt},
        {"expected and frontmost", 501, 501, std::nullopt},
        {"another app in front", 501, 502, another},
        {"frontmost unreadable", 501, std::nullopt, unreadable},
        {"expected 0, nothing readable", 0, std::nullopt, unreadable},
        // A pid of 0 or below names no app, so it never matches, not even 0 itself.
        {"expected 0, frontmost reads 0", 0, 0, unreadable},
        {"frontmost reads -1", -1, -1, unreadable},
        // Beyond 32 bits is no pid: never cut down to one that happens to be frontmost.
        {"expected beyond 32 bits", 4294967296LL + 501, 501, another},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DriverProtocol::keyboardTargetRefusal(c.expected, c.frontmost), c.refusal);
    }
}

TEST(MapAXError, RowsAndMessages) {
    struct Case {
        int32_t code;
        DriverAXErrorMapping expected;
    } cases[] = {
        {-25211,
         {"permission_required", "accessibility_not_granted", true,
          "Accessibility permission is required for op (-25211)."}},
        {-25202,
         {"semantic_unavailable", "element_not_found", true,
          "AX element reference is invalid or stale for op (-25202)."}},
        {-25203,
         {"semantic_unavailable", "element_not_found", true,
          "AX element reference is invalid or stale for op (-25203)."}},
        {-25205,
         {"semantic_unavailable", "attribute_unsupported", false,
          "AX attribute is not supported for op (-25205)."}},
        {-25213,
         {"semantic_unavailable", "attribute_unsupported", false,
          "AX attribute is not supported for op (-25213)."}},
        {-25206,
         {"semantic_unavailable", "unsupported_action", false,
          "AX action is not supported for op (-25206)."}},
        {-25208,
         {"not_implemented", "ax_not_implemented", false,
          "AX operation is not implemented for op (-25208)."}},
        {-25200,
         {"execution_failed", "ax_operation_failed", true, "AX operation failed for op (-25200)."}},
        {0, {"execution_failed", "ax_operation_failed", true, "AX operation failed for op (0)."}},
        {7, {"execution_failed", "ax_operation_failed", true, "AX operation failed for op (7)."}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DriverProtocol::mapAXError(c.code, "op"), c.expected);
    EXPECT_EQ(DriverProtocol::mapAXError(-25204, "set AXValue").message,
              "AX operation failed for set AXValue (-25204).");
}

TEST(EncodeLine, OneCompactLineOrNothing) {
    auto line = DriverProtocol::encodeLine(Json{{"a", "x\ny"}, {"b", {1, 2}}});
    ASSERT_TRUE(line);
    EXPECT_EQ(*line, "{\"a\":\"x\\ny\",\"b\":[1,2]}\n");
    EXPECT_FALSE(DriverProtocol::encodeLine(Json{{"a", "\xFF"}}));
}

TEST(EncodeLine, WritesRawJsonAsItsText) {
    const std::string tree = R"({"role":"AXWindow","children":[{"x":1.5,"t":"\u0001"}]})";
    auto line = DriverProtocol::encodeLine(
        Json{{"a", 1}, {"tree", RawJson::raw(tree)}, {"b", {RawJson::raw("[1,2]"), "z"}}});
    ASSERT_TRUE(line);
    EXPECT_EQ(*line, "{\"a\":1,\"tree\":" + tree + ",\"b\":[[1,2],\"z\"]}\n");
    // A string that spells what an older writer used as a raw value's stand-in stays a string.
    const std::string spelled = std::string(1, '\0') + "dorvex-raw-0" + '\0';
    line = DriverProtocol::encodeLine(Json{{"s", spelled}, {"tree", RawJson::raw(tree)}});
    ASSERT_TRUE(line);
    EXPECT_EQ(*line, "{\"s\":\"\\u0000dorvex-raw-0\\u0000\",\"tree\":" + tree + "}\n");
}

} // namespace
} // namespace dorvex
