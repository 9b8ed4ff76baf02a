// The simulated desktop's permissions, Apple Events targets and bundle locations.
#include "support/SimDesktops.h"

#include <gtest/gtest.h>

namespace dorvex::platform::sim::testing {
namespace {

TEST(SimPermissions, AGrantNeedingARestartReachesOnlyAStartedDesktop) {
    const Json pending =
        Json::parse(R"({"permissions":{"screenCapture":{"granted":true,"needsRestart":true}}})");
    auto started = desktopFrom(pending);
    EXPECT_TRUE(started->preflightScreenCaptureAccess()); // a process started after the grant

    auto running = desktopFrom(Json::parse(R"({"permissions":{"screenCapture":false}})"));
    ASSERT_TRUE(running->reloadFromText(pending.dump()));
    EXPECT_FALSE(running->preflightScreenCaptureAccess()); // running before it: not yet
    EXPECT_FALSE(running->requestScreenCaptureAccess());
    EXPECT_EQ(running->events().back(),
              Json::parse(R"({"event":"permissionRequest","permission":"screenCapture",
                              "granted":false})"));
}

TEST(SimPermissions, ARequestGrantsWhenTheScenarioSaysSo) {
    auto desktop = desktopFrom(Json::parse(R"({"permissions":{
        "listenEvent":{"granted":false,"grantOnRequest":true},
        "postEvent":false,
        "accessibility":{"granted":true,"needsRestart":true,"grantOnRequest":true}}})"));
    EXPECT_FALSE(desktop->preflightListenEventAccess());
    EXPECT_TRUE(desktop->requestListenEventAccess());
    EXPECT_TRUE(desktop->preflightListenEventAccess());
    EXPECT_FALSE(desktop->requestPostEventAccess());
    EXPECT_TRUE(desktop->isProcessTrusted());
}

TEST(SimAppleEvents, CodesPerTargetAndTheUsersAnswer) {
    auto desktop = desktopFrom(Json::parse(R"({
        "apps":[{"pid":1,"bundleId":"com.a"},{"pid":2,"bundleId":"com.b"},{"pid":3},
                {"pid":4,"bundleId":"com.d"}],
        "appleEvents":{"_note":"comments are allowed","com.a":-1743,
                       "com.b":{"code":-1744,"onPrompt":0},"com.d":{"code":-1712}}})"));
    EXPECT_EQ(desktop->determinePermissionToAutomate(1, true), -1743);
    EXPECT_EQ(desktop->determinePermissionToAutomate(2, false), -1744);
    EXPECT_EQ(desktop->determinePermissionToAutomate(2, true), 0);
    EXPECT_EQ(desktop->determinePermissionToAutomate(2, false), 0); // the answer stands
    EXPECT_EQ(desktop->determinePermissionToAutomate(3, false), 0);
    EXPECT_EQ(desktop->determinePermissionToAutomate(4, true), -1712);
    EXPECT_EQ(desktop->determinePermissionToAutomate(99, true), -600);
    std::vector<Json> prompts;
    for (const Json& event : desktop->events()) {
        if (event["event"] == "automationPrompt") prompts.push_back(event);
    }
    EXPECT_EQ(prompts, Json::parse(R"([
        {"event":"automationPrompt","pid":1,"bundleId":"com.a","result":-1743},
        {"event":"automationPrompt","pid":2,"bundleId":"com.b","result":0},
        {"event":"automationPrompt","pid":4,"bundleId":"com.d","result":-1712}])")
                           .get<std::vector<Json>>());
}

TEST(SimAppleEvents, BadEntriesRefuseTheScenario) {
    for (const char* text :
         {R"({"appleEvents":{"com.a":"yes"}})", R"({"appleEvents":{"com.a":{"onPrompt":0}}})",
          R"({"appleEvents":{"com.a":{"code":0,"answer":1}}})",
          R"({"appleEvents":{"com.a":4294967296}})", R"({"appleEvents":[]})"}) {
        EXPECT_FALSE(loadScenario(text).scenario) << text;
    }
}

TEST(SimBundles, RelativePathsStartAtTheScenarioDirectory) {
    SimOptions options;
    options.baseDirectory = "/srv/scenarios";
    auto desktop = desktopFrom(Json::parse(R"({
        "apps":[{"pid":1,"bundleId":"com.a","bundlePath":"../bundles/A App.app",
                 "executablePath":"../bundles/A App.app/Contents/MacOS/A"}],
        "installedApps":[{"bundleId":"com.b","bundlePath":"B.app"},
                         {"bundleId":"com.c","bundlePath":"/Applications/C.app"}]})"),
                               options);
    EXPECT_EQ(desktop->runningApplications()[0].bundleURL, "file:///srv/bundles/A%20App.app/");
    EXPECT_EQ(desktop->processExecutablePath(1), "/srv/bundles/A App.app/Contents/MacOS/A");
    EXPECT_EQ(desktop->urlForApplication("com.b"), "file:///srv/scenarios/B.app/");
    EXPECT_EQ(desktop->urlForApplication("com.c"), "file:///Applications/C.app/");

    TempDir directory;
    const std::string path = directory.file("scenario.json");
    writeFileAtomically(path, R"({"installedApps":[{"bundleId":"com.b","bundlePath":"B.app"}]})");
    SimOptions fromFile;
    fromFile.scenarioPath = path;
    SimDesktop onFile(fromFile);
    EXPECT_EQ(onFile.urlForApplication("com.b"), "file://" + directory.file("B.app") + "/");
}

} // namespace
} // namespace dorvex::platform::sim::testing
