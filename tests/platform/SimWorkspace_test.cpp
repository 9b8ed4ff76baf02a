// The simulated workspace: running applications (and their slow or hanging reads), launches,
// links, permissions and the script interpreter.
#include "support/SimDesktops.h"

#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <thread>

namespace dorvex::platform::sim {
namespace {

using testing::desktopFrom;

// Guards a test against a wait that never ends; the behaviour tested does not depend on it.
constexpr auto safetyLimit = std::chrono::seconds(20);

Json appsScenario(const Json& faults = Json::object()) {
    return Json{{"apps",
                 {{{"pid", 10},
                   {"bundleId", "com.example.Mail"},
                   {"name", "Mail"},
                   {"launchDate", 1700000000.5},
                   {"hidden", true},
                   {"bundlePath", "/Applications/Mail Client.app"},
                   {"executablePath", "/Applications/Mail Client.app/Contents/MacOS/Mail"}},
                  {{"pid", 11}, {"activationPolicy", "accessory"}, {"active", true}},
                  {{"pid", 12}, {"bundleId", "com.example.Mail"}}}},
                {"faults", faults}};
}

TEST(SimWorkspace, ApplicationsCarryTheirScenarioProperties) {
    auto desktop = desktopFrom(appsScenario());
    std::vector<RunningApplication> apps = desktop->runningApplications();
    ASSERT_EQ(apps.size(), 3u);
    const RunningApplication& mail = apps[0];
    EXPECT_EQ(mail.pid, 10);
    EXPECT_EQ(mail.bundleIdentifier, "com.example.Mail");
    EXPECT_EQ(mail.localizedName, "Mail");
    EXPECT_EQ(mail.launchDate, 1700000000.5);
    EXPECT_TRUE(mail.isHidden);
    EXPECT_FALSE(mail.isActive);
    EXPECT_EQ(mail.bundleURL, "file:///Applications/Mail%20Client.app/");
    EXPECT_EQ(mail.executableURL, "file:///Applications/Mail%20Client.app/Contents/MacOS/Mail");

    const RunningApplication& helper = apps[1];
    EXPECT_EQ(helper.bundleIdentifier, std::nullopt);
    EXPECT_EQ(helper.localizedName, std::nullopt);
    EXPECT_EQ(helper.launchDate, std::nullopt);
    EXPECT_EQ(helper.activationPolicy, ActivationPolicy::accessory);

    std::vector<RunningApplication> mails =
        desktop->runningApplicationsWithBundleId("com.example.Mail");
    ASSERT_EQ(mails.size(), 2u);
    EXPECT_EQ(mails[1].pid, 12);
    EXPECT_EQ(desktop->runningApplicationWithPid(12)->pid, 12);
    EXPECT_EQ(desktop->runningApplicationWithPid(13), std::nullopt);
}

TEST(SimWorkspace, FrontmostApplicationIsNamedOrTheFirstActiveOne) {
    EXPECT_EQ(desktopFrom(appsScenario())->frontmostApplication()->pid, 11);
    Json named = appsScenario();
    named["frontmostPid"] = 12;
    EXPECT_EQ(desktopFrom(named)->frontmostApplication()->pid, 12);
    Json none = appsScenario();
    none["frontmostPid"] = nullptr;
    EXPECT_EQ(desktopFrom(none)->frontmostApplication(), std::nullopt);
    Json exited = appsScenario();
    exited["frontmostPid"] = 99;
    EXPECT_EQ(desktopFrom(exited)->frontmostApplication(), std::nullopt);
}

TEST(SimWorkspace, HangingRunningAppReadReturnsOnceTheScenarioChanges) {
    auto desktop = desktopFrom(appsScenario({{"runningAppsHang", true}}));
    auto read = std::async(std::launch::async, [&] { return desktop->runningApplications(); });
    // However long it waits, it has no answer until the desktop changes.
    EXPECT_EQ(read.wait_for(std::chrono::milliseconds(20)), std::future_status::timeout);

    Json changed = appsScenario();
    changed["apps"].erase(2);
    ASSERT_TRUE(desktop->reloadFromText(changed.dump()));
    ASSERT_EQ(read.wait_for(safetyLimit), std::future_status::ready);
    EXPECT_EQ(read.get().size(), 2u); // the new desktop's answer
    EXPECT_EQ(desktop->runningApplications().size(), 2u);
}

TEST(SimWorkspace, ShutdownReleasesSlowAndHangingReads) {
    for (const Json& faults :
         {Json{{"runningAppsHang", true}}, Json{{"runningAppsDelayMs", 3'600'000}}}) {
        SCOPED_TRACE(faults.dump());
        auto desktop = desktopFrom(appsScenario(faults));
        std::thread reader([&] { desktop->runningApplications(); });
        // A call shows in the counters only once it is under way.
        while (desktop->stats()["calls"].value("runningApplications", 0) == 0) {
            std::this_thread::yield();
        }
        // The destructor wakes the read and waits for it to leave before the model goes.
        auto destroyed = std::async(std::launch::async, [&] { desktop.reset(); });
        ASSERT_EQ(destroyed.wait_for(safetyLimit), std::future_status::ready);
        reader.join();
    }
}

Json launchScenario() {
    return Json{
        {"apps", {{{"pid", 50}, {"bundleId", "com.example.Old"}, {"active", true}}}},
        {"installedApps",
         {{{"bundleId", "com.example.Calc"},
           {"name", "Calc"},
           {"bundlePath", "/Apps/Calc.app"},
           {"windows",
            {{{"number", 300},
              {"ownerName", "Calc"},
              {"bounds", {{"x", 0}, {"y", 0}, {"width", 200}, {"height", 300}}},
              {"onScreen", true}}}},
           {"accessibility", {{"windows", {{{"role", "AXWindow"}, {"windowNumber", 300}}}}}}},
          {{"bundleId", "com.example.Broken"}, {"launchError", "The app is damaged."}},
          {{"bundleId", "com.example.Silent"}, {"pid", 77}, {"launchCompletes", false}},
          {{"bundleId", "com.example.Slow"}, {"launchDelayMs", 3'600'000}}}},
        {"windows", {{{"number", 5}, {"ownerPid", 50}, {"onScreen", true}}}}};
}

OpenApplicationResult openAndWait(SimDesktop& desktop, const std::string& url, bool activates,
                                  std::thread::id* completedOn = nullptr) {
    std::promise<OpenApplicationResult> done;
    std::promise<std::thread::id> thread;
    desktop.openApplication(url, activates, [&](OpenApplicationResult result) {
        thread.set_value(std::this_thread::get_id());
        done.set_value(std::move(result));
    });
    auto future = done.get_future();
    EXPECT_EQ(future.wait_for(safetyLimit), std::future_status::ready);
    if (completedOn) *completedOn = thread.get_future().get();
    return future.get();
}

TEST(SimWorkspace, LaunchStartsAnInstalledAppWithItsWindows) {
    auto desktop = desktopFrom(launchScenario());
    std::optional<std::string> url = desktop->urlForApplication("com.example.Calc");
    ASSERT_EQ(url, "file:///Apps/Calc.app/");

    std::thread::id completedOn;
    OpenApplicationResult result = openAndWait(*desktop, *url, true, &completedOn);
    EXPECT_NE(completedOn, std::this_thread::get_id());
    ASSERT_TRUE(result.app.has_value());
    EXPECT_EQ(result.error, std::nullopt);
    int32_t pid = result.app->pid;
    EXPECT_GE(pid, 1000);
    EXPECT_TRUE(result.app->launchDate.has_value());
    EXPECT_EQ(desktop->frontmostApplication()->pid, pid);
    EXPECT_FALSE(desktop->runningApplicationWithPid(50)->isActive);

    // Its window is now the front-most, owned by the new process, with its tree attached.
    std::vector<WindowRow> rows = *desktop->copyWindowInfo(WindowListOption::all, 0);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]["kCGWindowNumber"], 300);
    EXPECT_EQ(rows[0]["kCGWindowOwnerPID"], pid);
    Element window =
        testing::elementsOf(*desktop, desktop->createApplicationElement(pid), "AXWindows").at(0);
    EXPECT_EQ(desktop->elementWindowNumber(window).windowNumber, 300u);

    // A second open finds the running instance.
    EXPECT_EQ(openAndWait(*desktop, *url, false).app->pid, pid);
    EXPECT_EQ(desktop->runningApplicationsWithBundleId("com.example.Calc").size(), 1u);
}

TEST(SimWorkspace, LaunchFailuresAnswerWithAnError) {
    auto desktop = desktopFrom(launchScenario());
    OpenApplicationResult broken =
        openAndWait(*desktop, *desktop->urlForApplication("com.example.Broken"), true);
    EXPECT_EQ(broken.app, std::nullopt);
    EXPECT_EQ(broken.error, "The app is damaged.");
    EXPECT_TRUE(desktop->runningApplicationsWithBundleId("com.example.Broken").empty());

    OpenApplicationResult unknown = openAndWait(*desktop, "file:///Nowhere.app/", true);
    EXPECT_TRUE(unknown.error.has_value());
    EXPECT_EQ(desktop->urlForApplication("com.example.Nowhere"), std::nullopt);
}

TEST(SimWorkspace, LaunchWhoseCompletionNeverComesStillStartsTheApp) {
    auto desktop = desktopFrom(launchScenario());
    auto called = std::make_shared<std::atomic<bool>>(false);
    desktop->openApplication(*desktop->urlForApplication("com.example.Silent"), false,
                             [called](OpenApplicationResult) { *called = true; });
    desktop->openApplication(*desktop->urlForApplication("com.example.Slow"), false,
                             [called](OpenApplicationResult) { *called = true; });
    EXPECT_EQ(desktop->runningApplicationsWithBundleId("com.example.Silent").at(0).pid, 77);
    EXPECT_EQ(desktop->runningApplicationsWithBundleId("com.example.Slow").size(), 1u);
    EXPECT_EQ(desktop->frontmostApplication()->pid, 50); // not activated
    // Shutting down drops the pending completion instead of waiting an hour for it.
    desktop.reset();
    EXPECT_FALSE(*called);
}

TEST(SimWorkspace, LinksOpenUnlessRefused) {
    auto desktop = desktopFrom(Json{{"refusedUrlPrefixes", {"x-apple.systempreferences:"}}});
    EXPECT_TRUE(desktop->openURL("https://example.com"));
    EXPECT_FALSE(desktop->openURL("x-apple.systempreferences:com.apple.preference.security"));
    EXPECT_FALSE(desktop->openURL(""));
}

TEST(SimWorkspace, PermissionsAnswerPreflightsAndRequests) {
    struct Case {
        Json permission;
        bool before;
        bool afterRequest;
    };
    const Case cases[] = {
        {true, true, true},
        {false, false, false},
        {{{"granted", false}, {"grantOnRequest", true}}, false, true},
        {{{"granted", false}, {"grantOnRequest", false}}, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.permission.dump());
        auto desktop = desktopFrom(Json{{"permissions",
                                         {{"accessibility", c.permission},
                                          {"screenCapture", c.permission},
                                          {"listenEvent", c.permission},
                                          {"postEvent", c.permission}}}});
        EXPECT_EQ(desktop->isProcessTrusted(), c.before);
        EXPECT_EQ(desktop->preflightScreenCaptureAccess(), c.before);
        EXPECT_EQ(desktop->preflightListenEventAccess(), c.before);
        EXPECT_EQ(desktop->preflightPostEventAccess(), c.before);
        EXPECT_EQ(desktop->isProcessTrustedWithPrompt(), c.afterRequest);
        EXPECT_EQ(desktop->requestScreenCaptureAccess(), c.afterRequest);
        EXPECT_EQ(desktop->requestListenEventAccess(), c.afterRequest);
        EXPECT_EQ(desktop->requestPostEventAccess(), c.afterRequest);
        EXPECT_EQ(desktop->isProcessTrusted(), c.afterRequest);
        EXPECT_EQ(desktop->preflightScreenCaptureAccess(), c.afterRequest);
    }
    EXPECT_TRUE(desktopFrom(Json::object())->preflightScreenCaptureAccess());
}

TEST(SimWorkspace, ScriptInterpreterDefaultsToTheShell) {
    EXPECT_EQ(desktopFrom(Json::object())->scriptInterpreterPath(), "/bin/sh");
    EXPECT_EQ(desktopFrom(Json{{"scriptInterpreterPath", "/opt/fake-osascript"}})
                  ->scriptInterpreterPath(),
              "/opt/fake-osascript");
}

} // namespace
} // namespace dorvex::platform::sim
