#include "DorvexCore/WindowRows.h"

#include <gtest/gtest.h>

namespace dorvex::WindowRows {
namespace {

TEST(WindowRows, IntegersAreNumbersOnly) {
    struct Case {
        const char* row;
        std::optional<int64_t> expected;
    } cases[] = {
        {R"({"k":42})", 42},
        {R"({"k":-7})", -7},
        {R"({"k":4294967295})", 4294967295},
        {R"({"k":12.9})", 12},
        {R"({"k":-12.9})", -12},
        {R"({"k":9223372036854775807})", 9223372036854775807},
        {R"({"k":9223372036854775808})", std::nullopt},
        {R"({"k":1e300})", std::nullopt},
        {R"({"k":true})", std::nullopt},
        {R"({"k":"42"})", std::nullopt},
        {R"({"k":null})", std::nullopt},
        {R"({"other":1})", std::nullopt},
        {R"([1])", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(integer(Json::parse(c.row), "k"), c.expected) << c.row;
}

TEST(WindowRows, StringsAndFlags) {
    const Json row =
        Json::parse(R"({"s":"Ünïcode","n":3,"t":true,"f":false,"one":1,"zero":0.0,"text":"true"})");
    EXPECT_EQ(string(row, "s"), "Ünïcode");
    EXPECT_EQ(string(row, "n"), std::nullopt);
    EXPECT_EQ(string(row, "missing"), std::nullopt);
    EXPECT_TRUE(flag(row, "t"));
    EXPECT_FALSE(flag(row, "f"));
    EXPECT_TRUE(flag(row, "one"));
    EXPECT_FALSE(flag(row, "zero"));
    EXPECT_FALSE(flag(row, "text"));
    EXPECT_FALSE(flag(row, "missing"));
}

TEST(WindowRows, FrameNeedsFourFiniteNumbers) {
    struct Case {
        const char* bounds;
        std::optional<platform::Rect> expected;
    } cases[] = {
        {R"({"X":1,"Y":2.5,"Width":300,"Height":-4})", platform::Rect{1, 2.5, 300, -4}},
        {R"({"Height":4,"Width":3,"Y":2,"X":1,"Extra":"x"})", platform::Rect{1, 2, 3, 4}},
        {R"({"X":1,"Y":2,"Width":3})", std::nullopt},
        {R"({"X":1,"Y":2,"Width":3,"Height":"4"})", std::nullopt},
        {R"({"X":1,"Y":2,"Width":3,"Height":true})", std::nullopt},
        {R"({"x":1,"y":2,"width":3,"height":4})", std::nullopt},
        {R"([1,2,3,4])", std::nullopt},
        {R"("1,2,3,4")", std::nullopt},
    };
    for (const Case& c : cases) {
        Json row{{"kCGWindowBounds", Json::parse(c.bounds)}};
        EXPECT_EQ(frame(row), c.expected) << c.bounds;
    }
    EXPECT_EQ(frame(Json::object()), std::nullopt);
}

} // namespace
} // namespace dorvex::WindowRows
