// The lenient readings of request fields: numbers, booleans and trimmed strings.
#include "DorvexCore/Coercions.h"

#include <gtest/gtest.h>

namespace dorvex {
namespace {

TEST(Coercions, IntValue) {
    struct Case {
        Json value;
        std::optional<int64_t> expected;
    } cases[] = {
        {12.9, 12},
        {-2.9, -2},
        {true, 1},
        {false, 0},
        {"+12", 12},
        {"-12", -12},
        {" 12", std::nullopt},
        {"12 ", std::nullopt},
        {"12.5", std::nullopt},
        {"", std::nullopt},
        {"+", std::nullopt},
        {"0x10", std::nullopt},
        {"9223372036854775807", INT64_MAX},
        {"-9223372036854775808", INT64_MIN},
        {"9223372036854775808", std::nullopt},
        {Json::parse("18446744073709551615"), INT64_MAX},
        {1e300, INT64_MAX},
        {-1e300, INT64_MIN},
        {9223372036854775808.0, INT64_MAX},
        {nullptr, std::nullopt},
        {Json::array({1}), std::nullopt},
        {Json::object(), std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(intValue(&c.value), c.expected) << c.value.dump();
    EXPECT_EQ(intValue(nullptr), std::nullopt);
}

TEST(Coercions, BoolValue) {
    struct Case {
        Json value;
        bool fallback;
        bool expected;
    } cases[] = {
        {true, false, true},   {0, true, false},        {2, false, true},
        {0.5, false, true},    {" TRUE ", false, true}, {"\tTrue\n", false, true},
        {"1", false, true},    {"0", true, false},      {"False", true, false},
        {"yes", false, false}, {" YES ", true, true},   {"", true, true},
        {nullptr, true, true}, {nullptr, false, false}, {Json::array(), true, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(boolValue(&c.value, c.fallback), c.expected) << c.value.dump();
    }
    EXPECT_TRUE(boolValue(nullptr, true));
}

TEST(Coercions, StringValue) {
    struct Case {
        Json value;
        std::optional<std::string> expected;
    } cases[] = {
        {"  a b  ", "a b"}, {"\n x\t", "x"},      {"   ", std::nullopt},   {"", std::nullopt},
        {5, std::nullopt},  {true, std::nullopt}, {nullptr, std::nullopt}, {"\xE2\x80\x83z", "z"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(stringValue(&c.value), c.expected) << c.value.dump();
}

} // namespace
} // namespace dorvex
