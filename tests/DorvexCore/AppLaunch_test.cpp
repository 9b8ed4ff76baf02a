#include "DorvexCore/AppLaunch.h"

#include <gtest/gtest.h>

namespace dorvex::AppLaunch {
namespace {

TEST(AppLaunchWait, DefaultsAndClamps) {
    const std::vector<std::pair<Json, int64_t>> cases = {
        {0, 1000},
        {-5, 1000},
        {999, 1000},
        {1000, 1000},
        {2500.7, 2500},
        {"2500", 2500},
        {30000, 30000},
        {30001, 30000},
        {1e300, 30000},
        {-1e300, 1000},
        {true, 1000},
        {"abc", 10000},
        {" 2500", 10000},
        {"2500.5", 10000},
        {nullptr, 10000},
        {Json::array(), 10000},
        {"99999999999999999999", 10000},
    };
    for (const auto& [value, expected] : cases)
        EXPECT_EQ(waitMs(&value), expected) << value.dump();
    EXPECT_EQ(waitMs(nullptr), 10000);
}

TEST(AppLaunchResult, ErrorThenAppThenRunningThenTimeOut) {
    int asked = 0;
    auto running = [&](std::optional<int32_t> pid) {
        return [&asked, pid] {
            ++asked;
            return pid;
        };
    };
    EXPECT_EQ(result("com.a", true, {77, "It broke."}, running(5)),
              Json::parse(R"({"ok":false,"bundleId":"com.a","error":"It broke."})"));
    EXPECT_EQ(result("com.a", false, {77, std::nullopt}, running(5)),
              Json::parse(R"({"ok":true,"bundleId":"com.a","pid":77,"activated":false})"));
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(result("com.a", true, {}, running(5)),
              Json::parse(R"({"ok":true,"bundleId":"com.a","pid":5,"activated":true})"));
    EXPECT_EQ(
        result("com.a", true, {}, running(std::nullopt)),
        Json::parse(R"({"ok":false,"bundleId":"com.a","error":"Launch timed out for com.a"})"));
    EXPECT_EQ(asked, 2);
}

} // namespace
} // namespace dorvex::AppLaunch
