// The answer writer against the JSON library's own dump(): the same bytes for every value, and
// the library's error for text that is not UTF-8.
#include "DorvexCore/JsonText.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <optional>
#include <random>

namespace dorvex {
namespace {

std::optional<std::string> libraryText(const Json& value) {
    try {
        return value.dump();
    } catch (const Json::type_error&) {
        return std::nullopt;
    }
}

std::optional<std::string> writerText(const Json& value) {
    std::string out = "prefix";
    try {
        JsonText::append(out, value);
    } catch (const Json::type_error&) {
        return std::nullopt;
    }
    return out.substr(6);
}

std::string show(const std::string& bytes) {
    std::string shown;
    for (unsigned char c : bytes)
        shown += std::to_string(c) + " ";
    return shown;
}

TEST(JsonText, WritesEveryKindOfValueAsTheLibraryDoes) {
    const double inf = std::numeric_limits<double>::infinity();
    const Json cases[] = {
        nullptr,
        true,
        false,
        0,
        -1,
        std::numeric_limits<int64_t>::min(),
        std::numeric_limits<int64_t>::max(),
        std::numeric_limits<uint64_t>::max(),
        0.0,
        -0.0,
        5.0,
        -123456.0,
        0.1,
        1.5,
        999999999999999.0,
        1e15,
        1e16,
        1e300,
        -2.5e-7,
        inf,
        -inf,
        std::nan(""),
        "",
        "plain text",
        "quote \" backslash \\ slash /",
        "\b\f\n\r\t",
        std::string("nul \0 and \x01\x1f\x7f", 13),
        "Straße 東京 😀 é",
        "\xE0\xA0\x80 \xED\x9F\xBF \xF0\x90\x80\x80 \xF4\x8F\xBF\xBF", // the lowest and highest
        "\xE0\x9F\xBF",                                                // overlong
        "\xED\xA0\x80",                                                // a surrogate
        "\xF0\x8F\xBF\xBF",                                            // overlong
        "\xF4\x90\x80\x80",                                            // above U+10FFFF
        "\xC3",                                                        // cut short
        Json::array(),
        Json::object(),
        Json{{"b", 1}, {"a", {1, "two", nullptr, {{"z", false}}}}, {"\n", Json::array()}},
        Json::binary({1, 2, 3}, 7),
        Json::binary({4, 5}),
    };
    for (const Json& value : cases) {
        SCOPED_TRACE(value.dump(-1, ' ', false, Json::error_handler_t::replace));
        EXPECT_EQ(writerText(value), libraryText(value));
    }
}

TEST(JsonText, RawTextIsWrittenVerbatimWhereverItStands) {
    const std::string tree = R"({"role":"AXWindow","children":[{"x":1.5}]})";
    Json raw = Json::binary(Json::binary_t::container_type(tree.begin(), tree.end()),
                            JsonText::rawTextSubtype);
    EXPECT_EQ(writerText(Json{{"a", 1}, {"tree", raw}, {"list", {raw, "z"}}}),
              "{\"a\":1,\"tree\":" + tree + ",\"list\":[" + tree + ",\"z\"]}");
}

// Every string of one or two bytes, then random strings over the bytes where UTF-8's rules
// change (leads, continuation limits, surrogates, the end of Unicode) and the escaped ones.
TEST(JsonText, StringsMatchTheLibraryOnEveryByteBoundary) {
    auto expectSame = [](const std::string& text) {
        ASSERT_EQ(writerText(text), libraryText(text)) << show(text);
    };
    for (int a = 0; a < 256; ++a) {
        expectSame(std::string(1, static_cast<char>(a)));
        for (int b = 0; b < 256; ++b)
            expectSame({static_cast<char>(a), static_cast<char>(b)});
    }
    // Keys go through the same writer.
    ASSERT_EQ(writerText(Json{{"k\x01\xC3\xA9", 1}}), libraryText(Json{{"k\x01\xC3\xA9", 1}}));
    ASSERT_FALSE(writerText(Json{{"\xC3", 1}}));
    const unsigned char interesting[] = {0x00, 0x08, 0x0A, 0x1F, 0x20, 0x22, 0x41, 0x5C,
                                         0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0,
                                         0xC1, 0xC2, 0xDF, 0xE0, 0xE1, 0xEC, 0xED, 0xEE,
                                         0xEF, 0xF0, 0xF1, 0xF3, 0xF4, 0xF5, 0xFF};
    std::mt19937 random(20261211);
    std::uniform_int_distribution<size_t> pick(0, std::size(interesting) - 1);
    std::uniform_int_distribution<size_t> length(1, 9);
    for (int i = 0; i < 30000; ++i) {
        std::string text(length(random), '\0');
        for (char& c : text)
            c = static_cast<char>(interesting[pick(random)]);
        expectSame(text);
    }
}

} // namespace
} // namespace dorvex
