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

TEST(WindowRows, ListRowPassesValuesThroughOrNulls) {
    const Json full = Json::parse(R"({"kCGWindowNumber":7,"kCGWindowOwnerPID":501,
        "kCGWindowOwnerName":"TextEdit","kCGWindowName":"Untitled","kCGWindowLayer":0,
        "kCGWindowBounds":{"Height":600,"Width":800,"X":-10.5,"Y":25},"kCGWindowAlpha":1})");
    EXPECT_EQ(listRow(full).dump(),
              R"({"windowId":7,"ownerPid":501,"ownerName":"TextEdit","title":"Untitled",)"
              R"("layer":0,"bounds":{"Height":600,"Width":800,"X":-10.5,"Y":25}})");
    const Json sparse = Json::parse(R"({"kCGWindowOwnerPID":4294967297,"kCGWindowName":5,
        "kCGWindowLayer":"top","kCGWindowBounds":[1,2,3,4]})");
    EXPECT_EQ(listRow(sparse).dump(),
              R"({"windowId":null,"ownerPid":4294967297,"ownerName":null,"title":null,)"
              R"("layer":null,"bounds":{}})");
}

TEST(WindowRows, ListRowsKeepsScopeAndFilterInOrder) {
    auto rowOf = [](Json number, Json owner) {
        Json row = Json::object();
        if (!number.is_null()) row["kCGWindowNumber"] = number;
        if (!owner.is_null()) row["kCGWindowOwnerPID"] = owner;
        return row;
    };
    const std::vector<Json> rows = {
        rowOf(1, 10),         rowOf(2, 20), rowOf(3, 10), rowOf(nullptr, 10), // no window number
        rowOf(4, nullptr),    // no owner: never listed
        rowOf(5, "10"),       // owner of the wrong type: never listed
        rowOf(6, 4294967306), // 2^32 + 10: beyond 32 bits, not process 10
    };
    auto numbers = [](const Json& listed) {
        std::vector<Json> result;
        for (const Json& row : listed)
            result.push_back(row["windowId"]);
        return result;
    };
    struct Case {
        const char* name;
        WindowListOwnerScope scope;
        std::optional<int64_t> windowFilter;
        std::vector<Json> expected;
    } cases[] = {
        {"everyone", WindowListOwnerScope::unfiltered(), std::nullopt, {1, 2, 3, nullptr, 6}},
        {"one owner", WindowListOwnerScope::ownedBy({10}), std::nullopt, {1, 3, nullptr}},
        {"two owners", WindowListOwnerScope::ownedBy({10, 20}), std::nullopt, {1, 2, 3, nullptr}},
        {"nobody", WindowListOwnerScope::ownedBy({}), std::nullopt, {}},
        {"owner and window", WindowListOwnerScope::ownedBy({10}), 3, {3}},
        {"owner and another's window", WindowListOwnerScope::ownedBy({10}), 2, {}},
        {"window of anyone", WindowListOwnerScope::unfiltered(), 2, {2}},
        {"unknown window", WindowListOwnerScope::unfiltered(), 99, {}},
        {"wide owner by window", WindowListOwnerScope::unfiltered(), 6, {6}},
    };
    for (const Case& c : cases) {
        std::optional<Json> listed = listRows(rows, c.scope, c.windowFilter);
        ASSERT_TRUE(listed) << c.name;
        EXPECT_EQ(numbers(*listed), c.expected) << c.name;
    }
    EXPECT_EQ(
        listRows({rowOf(1, 10), Json::array()}, WindowListOwnerScope::unfiltered(), std::nullopt),
        std::nullopt)
        << "a row that is not an object makes the list unusable";
    EXPECT_EQ(listRows({}, WindowListOwnerScope::unfiltered(), std::nullopt), Json::array());
}

} // namespace
} // namespace dorvex::WindowRows
