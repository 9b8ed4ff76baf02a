// In-process tests of the window and app listing actions over an in-memory desktop, where a
// running-app read can be held open on a gate for as long as a test needs.
#include "Dorvex/ProcessWide.h"
#include "support/FakeDesktop.h"
#include "support/InProcessDriver.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <latch>
#include <thread>

namespace dorvex {
namespace {

using namespace std::chrono_literals;
using testing::FakeDesktop;
using testing::FakePlatform;
using testing::InProcessDriver;

const Json listWindowsAction = {{"actionType", "desktop_list_windows"}};
const Json listAppsAction = {{"actionType", "desktop_list_apps"}};

platform::RunningApplication app(int32_t pid, std::optional<std::string> bundleId,
                                 std::optional<std::string> name) {
    platform::RunningApplication result;
    result.pid = pid;
    result.bundleIdentifier = std::move(bundleId);
    result.localizedName = std::move(name);
    return result;
}

TEST(ListWindowsHandler, UnreadableListFailsAndFrontmostPidNeedsARealPid) {
    FakeDesktop fake;
    FakePlatform platform(fake);
    InProcessDriver driver(platform);
    fake.windowListReadable = false;
    EXPECT_EQ(driver.execute(listWindowsAction),
              Json::parse(R"({"ok":false,"status":"execution_failed",
                  "actionType":"desktop_list_windows","pathUsed":"ax","error":{
                  "code":"windows_query_failed","message":"Unable to query window list.",
                  "retryable":false}})"));

    fake.windowListReadable = true;
    fake.rows = {
        Json{{"kCGWindowNumber", 1}, {"kCGWindowOwnerPID", 0}, {"kCGWindowIsOnscreen", true}},
        Json{{"kCGWindowNumber", 2}, {"kCGWindowOwnerPID", 9}, {"kCGWindowIsOnscreen", true}}};
    fake.apps = {app(0, "com.kernel", "kernel")};
    fake.frontmostPid = 0;
    Json answer = driver.execute(listWindowsAction);
    EXPECT_EQ(answer["summary"], "Found 1 windows.") << "the frontmost pid 0 scopes the list";
    EXPECT_EQ(answer["result"]["frontmostPid"], nullptr) << "but is not reported";
    EXPECT_EQ(answer["result"]["windows"][0]["windowId"], 1);

    fake.rows.push_back(Json::array());
    EXPECT_EQ(driver.execute(listWindowsAction)["error"]["code"], "windows_query_failed")
        << "a row that is not an object makes the list unusable";
}

// Running-app reads that wait on a gate the test opens, and answer by call number.
class GatedDesktop : public FakeDesktop {
public:
    std::shared_ptr<std::latch> gate;
    std::atomic<int> reads{0};

    std::vector<platform::RunningApplication> runningApplications() override {
        const int call = ++reads;
        if (gate) gate->wait();
        return {app(100 + call, "com.read." + std::to_string(call), std::nullopt),
                app(200, std::nullopt, "no bundle")};
    }
};

// Waits until the driver's app inventory has no read out.
void drain(InProcessDriver& driver) {
    driver.shared().appInventory.waitWhileRunning();
}

// A driver whose app-inventory read is waited for at most timeoutMs.
std::function<void(ProcessSettings&, const std::filesystem::path&)>
inventoryTimeout(int64_t timeoutMs) {
    return [timeoutMs](ProcessSettings& settings, const std::filesystem::path&) {
        settings.appInventoryTimeoutMs = timeoutMs;
    };
}

Json failureFor(const std::string& message) {
    return Json{
        {"ok", false},
        {"status", "timeout"},
        {"actionType", "desktop_list_apps"},
        {"pathUsed", "ax"},
        {"error", {{"code", "app_inventory_timeout"}, {"message", message}, {"retryable", true}}}};
}

TEST(ListAppsHandler, ListsAppsWithBundlesOnly) {
    GatedDesktop fake;
    FakePlatform platform(fake);
    InProcessDriver driver(platform);
    EXPECT_EQ(driver.execute(listAppsAction),
              Json::parse(R"({"ok":true,"status":"ok","actionType":"desktop_list_apps",
                  "pathUsed":"ax","summary":"Found 1 running apps.","result":{"apps":[
                  {"name":null,"bundleId":"com.read.1","pid":101,"isActive":false,
                  "isHidden":false}]}})"));
}

TEST(ListAppsHandler, OverrunThenBusyThenBoundedStuckThenRecovery) {
    GatedDesktop fake;
    fake.gate = std::make_shared<std::latch>(1);
    FakePlatform platform(fake);
    InProcessDriver driver(platform, inventoryTimeout(20));
    auto listApps = [&] { return driver.execute(listAppsAction); };

    EXPECT_EQ(listApps(), failureFor("macOS did not list the running apps within 0 seconds."));
    const Json busy =
        failureFor("macOS has not finished listing the running apps for an earlier request.");
    EXPECT_EQ(listApps(), busy);
    EXPECT_EQ(listApps(), busy);
    EXPECT_EQ(listApps(), busy);
    // The fourth caller waits for the earlier read, but not for ever.
    EXPECT_EQ(listApps(), failureFor("macOS did not list the running apps within 0 seconds."));
    EXPECT_EQ(fake.reads, 1) << "no second read while the first is out";

    fake.gate->count_down();
    drain(driver);
    Json recovered = listApps();
    EXPECT_EQ(recovered["summary"], "Found 1 running apps.");
    EXPECT_EQ(recovered["result"]["apps"][0]["bundleId"], "com.read.2")
        << "a fresh read, not the late value of the first";
}

TEST(ListAppsHandler, StuckCallerGetsAFreshReadWhenTheEarlierOneEnds) {
    GatedDesktop fake;
    fake.gate = std::make_shared<std::latch>(1);
    FakePlatform platform(fake);
    // Long enough for the opener below; the first caller waits it out once.
    InProcessDriver driver(platform, inventoryTimeout(1000));
    auto listApps = [&] { return driver.execute(listAppsAction); };
    EXPECT_EQ(listApps()["error"]["code"], "app_inventory_timeout");
    for (int i = 0; i < 3; ++i)
        listApps();

    // Ends the first read while the stuck caller waits for it.
    std::thread opener([&fake] {
        std::this_thread::sleep_for(50ms);
        fake.gate->count_down();
    });
    Json answer = listApps();
    opener.join();
    EXPECT_EQ(answer["summary"], "Found 1 running apps.");
    EXPECT_EQ(answer["result"]["apps"][0]["bundleId"], "com.read.2");
    EXPECT_EQ(fake.reads, 2);
}

TEST(ListAppsHandler, TimeOutFromEnvironment) {
    struct Case {
        const char* value; // nullptr: unset
        int64_t expected;
    } cases[] = {{nullptr, 5000},  {"250", 250},  {"0", 0},      {"600000", 600000},
                 {"600001", 5000}, {"-1", 5000},  {"2.5", 5000}, {"abc", 5000},
                 {"", 5000},       {" 250", 5000}};
    for (const Case& c : cases) {
        EXPECT_EQ(appInventoryTimeoutFrom(c.value), c.expected) << (c.value ? c.value : "-");
    }
    // The settings read it from DORVEX_APP_INVENTORY_TIMEOUT_MS.
    testing::NoWorkspace workspace;
    ::setenv("DORVEX_APP_INVENTORY_TIMEOUT_MS", "250", 1);
    EXPECT_EQ(ProcessSettings::fromEnvironment(workspace).appInventoryTimeoutMs, 250);
    ::unsetenv("DORVEX_APP_INVENTORY_TIMEOUT_MS");
    EXPECT_EQ(ProcessSettings::fromEnvironment(workspace).appInventoryTimeoutMs, 5000);
}

} // namespace
} // namespace dorvex
