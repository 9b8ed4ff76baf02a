#include "Dorvex/Elements.h"

#include <gtest/gtest.h>
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

TEST(ElementWindowIdentity, WritesOwnerAlwaysAndPathOnlyWithAPath) {
    const ElementIdentity identity("AXButton", "OK", std::nullopt, std::nullopt, std::nullopt);
    const ElementIdentity stale("AXWindow", std::nullopt, std::nullopt, std::nullopt, std::nullopt);
    struct Case {
        const char* name;
        std::optional<ElementPath> path;
        Json expected;
    } cases[] = {
        {"no path", std::nullopt, Json{{"ownerPid", 7}}},
        {"window path: its own identity replaces the path's", ElementPath{7, 42, {1, 0}, stale},
         Json{{"ownerPid", 7},
              {"windowId", 42},
              {"path", {"pid:7", "windowId:42", "child:1", "child:0", identity.token()}}}},
        {"app-root path has no window id", ElementPath{7, std::nullopt, {2}, std::nullopt},
         Json{{"ownerPid", 7}, {"path", {"pid:7", "child:2", identity.token()}}}},
    };
    for (const Case& c : cases) {
        Json node = Json::object();
        addWindowIdentity(node, 7, c.path, identity);
        EXPECT_EQ(node, c.expected) << c.name;
    }
}

} // namespace
} // namespace dorvex
