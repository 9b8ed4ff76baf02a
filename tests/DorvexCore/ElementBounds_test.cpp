#include "DorvexCore/ElementBounds.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace dorvex::ElementBounds {
namespace {

using platform::AXValue;

AXValue point(double x, double y) {
    return AXValue{platform::Point{x, y}};
}
AXValue size(double width, double height) {
    return AXValue{platform::Size{width, height}};
}

TEST(ElementBounds, FrameNeedsAPointThenASizeOfFiniteNumbers) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* name;
        AXValue position;
        AXValue extent;
        std::optional<Frame> expected;
    } cases[] = {
        {"point and size", point(10, -20), size(300, 40), Frame{10, -20, 300, 40}},
        {"zero and negative sizes pass", point(0, 0), size(0, -5), Frame{0, 0, 0, -5}},
        {"no position", AXValue{}, size(1, 1), std::nullopt},
        {"no size", point(1, 1), AXValue{}, std::nullopt},
        {"swapped", AXValue{platform::Size{1, 1}}, AXValue{platform::Point{1, 1}}, std::nullopt},
        {"size in both", size(1, 1), size(1, 1), std::nullopt},
        {"a number", AXValue{platform::AXNumber{3}}, size(1, 1), std::nullopt},
        {"a string", point(1, 1), AXValue{std::string("{1, 1}")}, std::nullopt},
        {"other value", AXValue{platform::AXOtherType{"AXValueCGRect"}}, size(1, 1), std::nullopt},
        {"NaN x", point(nan, 0), size(1, 1), std::nullopt},
        {"infinite height", point(0, 0), size(1, inf), std::nullopt},
        {"infinite y", point(0, -inf), size(1, 1), std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(frame(c.position, c.extent), c.expected) << c.name;
}

TEST(ElementBounds, ReadAsksForPositionThenSize) {
    std::vector<std::string> asked;
    std::optional<Frame> result = read([&](const std::string& name) {
        asked.push_back(name);
        return name == "AXPosition" ? point(5, 6) : size(7, 8);
    });
    EXPECT_EQ(asked, (std::vector<std::string>{"AXPosition", "AXSize"}));
    EXPECT_EQ(result, (Frame{5, 6, 7, 8}));
}

TEST(ElementBounds, FieldOnlyForPositiveSizes) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        std::optional<Frame> frame;
        bool present;
    } cases[] = {
        {std::nullopt, false},         {Frame{0, 0, 0, 10}, false},
        {Frame{0, 0, 10, -1}, false},  {Frame{0, 0, nan, 10}, false},
        {Frame{0, 0, 10, nan}, false}, {Frame{-5, -6, 0.5, 0.25}, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(field(c.frame).has_value(), c.present);
    EXPECT_EQ(field(Frame{-5, 6.5, 100, 20}),
              (Json{{"x", -5.0}, {"y", 6.5}, {"width", 100.0}, {"height", 20.0}}));
}

} // namespace
} // namespace dorvex::ElementBounds
