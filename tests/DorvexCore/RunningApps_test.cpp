#include "DorvexCore/RunningApps.h"

#include <gtest/gtest.h>

namespace dorvex {
namespace {

platform::RunningApplication app(int32_t pid, std::optional<std::string> bundleId,
                                 std::optional<std::string> name, bool active, bool hidden) {
    platform::RunningApplication result;
    result.pid = pid;
    result.bundleIdentifier = std::move(bundleId);
    result.localizedName = std::move(name);
    result.isActive = active;
    result.isHidden = hidden;
    return result;
}

TEST(RunningApps, KeepsAppsWithBundlesInOrder) {
    const std::vector<platform::RunningApplication> apps = {
        app(30, "com.b", "B", false, true),
        app(10, std::nullopt, "daemon", true, false),
        app(20, "com.a", std::nullopt, true, false),
        app(40, "", "Empty bundle", false, false),
    };
    const std::vector<RunningAppRecord> expected = {
        {"B", "com.b", 30, false, true},
        {std::nullopt, "com.a", 20, true, false},
        {"Empty bundle", "", 40, false, false},
    };
    EXPECT_EQ(runningAppRecords(apps), expected);
    EXPECT_TRUE(runningAppRecords({}).empty());
}

TEST(RunningApps, JsonHasExactlyTheFiveKeysWithNullName) {
    EXPECT_EQ(RunningAppRecord({std::nullopt, "com.a", 20, true, false}).json().dump(),
              R"({"name":null,"bundleId":"com.a","pid":20,"isActive":true,"isHidden":false})");
    EXPECT_EQ(RunningAppRecord({"A", "com.a", -1, false, true}).json().dump(),
              R"({"name":"A","bundleId":"com.a","pid":-1,"isActive":false,"isHidden":true})");
}

} // namespace
} // namespace dorvex
