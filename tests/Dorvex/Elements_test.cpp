#include "Dorvex/Elements.h"
#include "platform/sim/SimDesktop.h"
#include "support/Scenarios.h"

#include <gtest/gtest.h>
#include <map>
#include <memory>

namespace dorvex {
namespace {

using platform::AXValue;

TEST(ElementValuePreview, ShowsStringsWholeAndOtherValuesBriefly) {
    const std::string longText(5000, 'x');
    struct Case {
        const char* name;
        AXValue value;
        std::optional<std::string> expected;
    } cases[] = {
        {"no value", AXValue{}, std::nullopt},
        {"empty string", AXValue{std::string()}, ""},
        {"long string is not shortened", AXValue{longText}, longText},
        {"integer", AXValue{platform::AXNumber{42}}, "42"},
        {"negative integer", AXValue{platform::AXNumber{-7}}, "-7"},
        {"fraction", AXValue{platform::AXNumber{3.5}}, "3.5"},
        {"true reads as a digit", AXValue{platform::AXNumber{1, true}}, "1"},
        {"false reads as a digit", AXValue{platform::AXNumber{0, true}}, "0"},
        {"list", AXValue{platform::AXValueList{AXValue{std::string("secret")}, AXValue{}}},
         "array(2)"},
        {"empty list", AXValue{platform::AXValueList{}}, "array(0)"},
        {"element", AXValue{platform::Element(std::make_shared<int>(1))}, "AXUIElement"},
        {"point", AXValue{platform::Point{1, 2}}, "AXValue"},
        {"size", AXValue{platform::Size{1, 2}}, "AXValue"},
        {"other type", AXValue{platform::AXOtherType{"NSURL"}}, "NSURL"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(valuePreview(c.value), c.expected) << c.name;
}

TEST(ElementFlatNode, WritesTheEncodersBytesWithOwnerAlwaysAndPathOnlyWithAPath) {
    const ElementIdentity stale("AXWindow", std::nullopt, std::nullopt, std::nullopt, std::nullopt);
    ElementReads plain;
    plain.role = "AXButton";
    plain.title = "OK";
    plain.actions = {"AXPress"};
    ElementReads odd = plain; // texts that must be escaped, a value and a fractional frame
    odd.title = "say \"hi\"\n\u00e9";
    odd.value.verdict = SecureField::Verdict::readable;
    odd.value.preview = "tab\there";
    odd.frame = ElementBounds::Frame{-1.5, 2, 30.25, 1e16};
    const Json head{{"role", "AXButton"},
                    {"title", "OK"},
                    {"identifier", nullptr},
                    {"subrole", nullptr},
                    {"actions", {"AXPress"}}};
    auto with = [](Json node, const Json& more) {
        for (const auto& [key, value] : more.items())
            node[key] = value;
        return node;
    };
    const std::string token = plain.identity().token();
    struct Case {
        const char* name;
        const ElementReads& reads;
        std::optional<ElementPath> path;
        Json expected;
    } cases[] = {
        {"no path", plain, std::nullopt, with(head, {{"ownerPid", 7}})},
        {"window path: its own identity replaces the path's", plain,
         ElementPath{7, 42, {1, 0}, stale},
         with(head, {{"ownerPid", 7},
                     {"windowId", 42},
                     {"path", {"pid:7", "windowId:42", "child:1", "child:0", token}}})},
        {"app-root path has no window id", plain, ElementPath{7, std::nullopt, {2}, std::nullopt},
         with(head, {{"ownerPid", 7}, {"path", {"pid:7", "child:2", token}}})},
        {"escaped texts, a value and bounds", odd, std::nullopt,
         with(head, {{"title", *odd.title},
                     {"valuePreview", *odd.value.preview},
                     {"ownerPid", 7},
                     {"bounds", {{"x", -1.5}, {"y", 2.0}, {"width", 30.25}, {"height", 1e16}}}})},
    };
    for (const Case& c : cases) {
        std::string text;
        writeFlatNode(c.reads, 7, c.path, text);
        EXPECT_EQ(text, c.expected.dump()) << c.name;
    }
}

// One window whose children each show one way an element reads.
//
//   Form 9001
//   ├── 0 plain       AXTextField "hello"
//   ├── 1 secret      AXTextField, secure subrole
//   ├── 2 uncertain   AXTextField whose subrole read fails
//   ├── 3 nosub       AXTextField that does not support a subrole
//   ├── 4 (broken)    AXButton: every call fails
//   ├── 5 list        AXList with a list value
//   ├── 6 check       AXCheckBox with a boolean value
//   ├── 7 zero        AXButton with a zero width
//   ├── 8 flat        AXButton with a negative height
//   ├── 9 swapped     AXButton whose position is a size
//   ├── 10 twins      AXGroup of two equal buttons
//   ├── 11 unlisted   AXTextField whose role is not among its names
//   ├── 12 nameless   AXTextField whose names cannot be read
//   ├── 13 grid       AXUnknown with a secure cell
//   ├── 14 button     AXButton without a value
//   ├── 15 novalue    AXTextArea whose listed children have no value
//   └── 16 nochildren AXTextArea whose listed children are unsupported
class ElementNodes : public ::testing::Test {
protected:
    static Json scenario() {
        using dorvex::testing::element;
        using dorvex::testing::rect;
        Json same = element("AXButton", {{"title", "Same"}, {"description", "twin"}});
        Json children = {
            element("AXTextField", {{"identifier", "plain"},
                                    {"value", "hello"},
                                    {"frame", rect(10, 20, 30, 40)},
                                    {"actions", {"AXConfirm", "AXShowMenu"}}}),
            element("AXTextField", {{"identifier", "secret"},
                                    {"subrole", "AXSecureTextField"},
                                    {"value", "SECRET-1"}}),
            element("AXTextField", {{"identifier", "uncertain"},
                                    {"value", "SECRET-2"},
                                    {"errors", {{"AXSubrole", -25204}}}}),
            element(
                "AXTextField",
                {{"identifier", "nosub"}, {"value", "shown"}, {"errors", {{"AXSubrole", -25205}}}}),
            element("AXButton", {{"title", "Broken"}, {"value", "SECRET-3"}, {"error", -25200}}),
            element("AXList", {{"identifier", "list"}, {"value", {"a", "b"}}}),
            element("AXCheckBox", {{"identifier", "check"}, {"value", true}}),
            element("AXButton", {{"identifier", "zero"}, {"frame", rect(1, 1, 0, 10)}}),
            element("AXButton", {{"identifier", "flat"}, {"frame", rect(1, 1, 10, -1)}}),
            element("AXButton", {{"identifier", "swapped"},
                                 {"attributes",
                                  {{"AXPosition", {{"size", {{"width", 1}, {"height", 1}}}}},
                                   {"AXSize", {{"size", {{"width", 5}, {"height", 5}}}}}}}}),
            element("AXGroup", {{"identifier", "twins"}, {"children", {same, same}}}),
            element("AXTextField",
                    {{"identifier", "unlisted"}, {"value", "SECRET-4"}, {"unlisted", {"AXRole"}}}),
            element("AXTextField",
                    {{"identifier", "nameless"}, {"value", "SECRET-5"}, {"namesError", -25200}}),
            element("AXUnknown", {{"identifier", "grid"},
                                  {"value", "SECRET-6"},
                                  {"cells",
                                   {element("AXStaticText", {{"value", "PIN"}}),
                                    element("AXSecureTextField", {{"value", "SECRET-7"}})}}}),
            element("AXButton", {{"identifier", "button"}, {"title", "OK"}}),
            element("AXTextArea", {{"identifier", "novalue"},
                                   {"value", "notes"},
                                   {"errors", {{"AXChildren", -25212}}}}),
            element("AXTextArea", {{"identifier", "nochildren"},
                                   {"value", "SECRET-8"},
                                   {"errors", {{"AXChildren", -25205}}}}),
        };
        return dorvex::testing::desktop(
            {dorvex::testing::app(
                900, "com.example.Form", "Form",
                {{"windows", {dorvex::testing::axWindow(9001, "Form", children)}}}, true)},
            {dorvex::testing::serverWindow(9001, 900, "Form", rect(0, 0, 400, 400))});
    }

    void SetUp() override {
        platform::sim::SimOptions options;
        options.scenarioText = scenario().dump();
        desktop = std::make_unique<platform::sim::SimDesktop>(std::move(options));
        ASSERT_EQ(desktop->lastLoadError(), std::nullopt);
        platform::Element app = desktop->createApplicationElement(900);
        platform::AXAttributeResult windows = desktop->copyAttributeValue(app, "AXWindows");
        ASSERT_TRUE(windows.value.list() && !windows.value.list()->empty());
        window = *windows.value.list()->front().element();
    }

    platform::Element child(size_t index) { return axChildren(*desktop, window).at(index); }
    Json node(size_t index, const std::optional<ElementPath>& path = std::nullopt) {
        return makeElementNode(*desktop, child(index), 900, path, 0, 0);
    }
    // How often each element's value was read, by identifier.
    std::map<std::string, int64_t> valueReads() const {
        std::map<std::string, int64_t> reads;
        const Json stats = desktop->stats();
        for (const Json& row : stats["valueReads"]) {
            reads[row["identifier"].get<std::string>() + row["title"].get<std::string>()] +=
                row["count"].get<int64_t>();
        }
        return reads;
    }

    std::unique_ptr<platform::sim::SimDesktop> desktop;
    platform::Element window;
};

TEST_F(ElementNodes, ValueKeysFollowTheSecureVerdict) {
    struct Case {
        size_t index;
        const char* name;
        Json valueKeys; // "secure" and "valuePreview" as present in the node
    } cases[] = {
        {0, "plain", {{"valuePreview", "hello"}}},
        {1, "secure subrole", {{"secure", true}}},
        {2, "subrole read fails", Json::object()},
        {3, "subrole unsupported", {{"valuePreview", "shown"}}},
        {4, "every read fails", Json::object()},
        {5, "list value", {{"valuePreview", "array(2)"}}},
        {6, "boolean value", {{"valuePreview", "1"}}},
        {11, "role not listed", Json::object()},
        {12, "names unreadable", Json::object()},
        {13, "unknown container with a secure cell", {{"secure", true}}},
        {14, "readable without a value", {{"valuePreview", nullptr}}},
        {15, "children without a value", {{"valuePreview", "notes"}}},
        {16, "children listed but unsupported", Json::object()},
    };
    for (const Case& c : cases) {
        Json built = node(c.index);
        Json keys = Json::object();
        for (const char* key : {"secure", "valuePreview"}) {
            if (built.contains(key)) keys[key] = built[key];
        }
        EXPECT_EQ(keys, c.valueKeys) << c.name;
    }
    std::map<std::string, int64_t> reads = valueReads();
    for (const char* guarded :
         {"secret", "uncertain", "Broken", "unlisted", "nameless", "grid", "nochildren"}) {
        EXPECT_EQ(reads[guarded], 0) << guarded;
    }
    EXPECT_EQ(reads["plain"], 1);
}

TEST_F(ElementNodes, UnreadableElementStillGivesANode) {
    EXPECT_EQ(node(4), (Json{{"role", nullptr},
                             {"title", nullptr},
                             {"identifier", nullptr},
                             {"subrole", nullptr},
                             {"actions", Json::array()},
                             {"ownerPid", 900},
                             {"children", Json::array()}}));
}

TEST_F(ElementNodes, BoundsOnlyForPointsAndPositiveSizes) {
    EXPECT_EQ(node(0)["bounds"], dorvex::testing::rect(10, 20, 30, 40));
    EXPECT_EQ(node(0)["actions"], Json({"AXConfirm", "AXShowMenu"}));
    for (size_t index : {7u, 8u, 9u, 14u})
        EXPECT_FALSE(node(index).contains("bounds")) << index;
    EXPECT_EQ(axFrame(*desktop, child(8)), (ElementBounds::Frame{1, 1, 10, -1}));
    EXPECT_EQ(axFrame(*desktop, child(9)), std::nullopt);
}

TEST_F(ElementNodes, DepthLimitsTheChildrenBuilt) {
    const ElementPath root{900, 9001, {}, std::nullopt};
    Json flat = makeElementNode(*desktop, window, 900, root, 0, 0);
    EXPECT_EQ(flat["children"], Json::array());
    Json one = makeElementNode(*desktop, window, 900, root, 0, 1);
    ASSERT_EQ(one["children"].size(), 17u);
    EXPECT_EQ(one["children"][10]["children"], Json::array());
    Json two = makeElementNode(*desktop, window, 900, root, 0, 2);
    EXPECT_EQ(two["children"][10]["children"].size(), 2u);
    EXPECT_EQ(makeElementNode(*desktop, window, 900, root, 3, 2)["children"], Json::array());
}

TEST_F(ElementNodes, PathsExtendTheParentsAndEndInEachIdentity) {
    Json tree =
        makeElementNode(*desktop, window, 900, ElementPath{900, 9001, {}, std::nullopt}, 0, 2);
    const Json& twins = tree["children"][10]["children"];
    ASSERT_EQ(twins.size(), 2u);
    const ElementIdentity same("AXButton", "Same", std::nullopt, std::nullopt, "twin");
    EXPECT_EQ(twins[0]["path"],
              Json({"pid:900", "windowId:9001", "child:10", "child:0", same.token()}));
    EXPECT_EQ(twins[1]["path"],
              Json({"pid:900", "windowId:9001", "child:10", "child:1", same.token()}));
    EXPECT_EQ(twins[1]["windowId"], 9001);
    // The description enters only the digest.
    EXPECT_EQ(tree.dump().find("twin\""), std::string::npos);

    Json pathless = makeElementNode(*desktop, window, 900, std::nullopt, 0, 2);
    dorvex::testing::eachNode(pathless, [](const Json& node) {
        EXPECT_FALSE(node.contains("path"));
        EXPECT_FALSE(node.contains("windowId"));
    });
}

TEST_F(ElementNodes, IdentityAndChildReadsMatchWhatTheWalkNeeds) {
    EXPECT_EQ(axIdentity(*desktop, child(10)),
              ElementIdentity("AXGroup", std::nullopt, "twins", std::nullopt, std::nullopt));
    EXPECT_EQ(axChildren(*desktop, child(10)).size(), 2u);
    EXPECT_TRUE(axChildren(*desktop, child(4)).empty()); // the read fails
    EXPECT_TRUE(axChildren(*desktop, child(0)).empty());
    EXPECT_EQ(axString(*desktop, child(6), "AXValue"), std::nullopt); // a number is no string
    EXPECT_EQ(axString(*desktop, child(0), "AXValue"), "hello");
}

} // namespace
} // namespace dorvex
