// "permissions.status", "permissions.request", "permissions.openSettings" and the two
// automation-target methods, in-process on simulated desktops.
#include "support/InProcessDriver.h"
#include "support/SimDesktops.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace dorvex::testing {
namespace {

using platform::sim::SimDesktop;
using platform::sim::testing::desktopFrom;

const std::string bundles = std::string(DORVEX_SOURCE_DIR) + "/examples/bundles/";

Json desktop(Json permissions = Json::object(), Json appleEvents = Json::object()) {
    if (permissions.is_null()) permissions = Json::object();
    if (appleEvents.is_null()) appleEvents = Json::object();
    return Json{
        {"apps",
         {{{"pid", 501},
           {"bundleId", "com.apple.TextEdit"},
           {"name", "TextEdit"},
           {"bundlePath", bundles + "TextEdit.app"}},
          {{"pid", 600},
           {"bundleId", "com.example.Plain"},
           {"bundlePath", bundles + "Calculator.app"}},
          {{"pid", 700}, {"bundleId", "com.example.Odd"}}}},
        {"installedApps",
         {{{"bundleId", "com.example.Legacy"}, {"bundlePath", bundles + "Legacy.app"}},
          {{"bundleId", "com.apple.calculator"}, {"bundlePath", bundles + "Calculator.app"}}}},
        {"permissions", std::move(permissions)},
        {"appleEvents", std::move(appleEvents)}};
}

std::vector<Json> eventsNamed(const SimDesktop& sim, const std::string& name) {
    std::vector<Json> found;
    for (const Json& event : sim.events()) {
        if (event["event"] == name) found.push_back(event);
    }
    return found;
}

// A stand-in for the driver's own executable that counts its starts and exits with `status`.
std::string probeScript(const TempDir& directory, int status) {
    const std::string path = directory.file("probe-" + std::to_string(status) + ".sh");
    std::ofstream(path) << "#!/bin/sh\necho \"$1\" >> '" << directory.file("probes") << "'\nexit "
                        << status << "\n";
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path;
}

int probeRuns(const TempDir& directory) {
    std::ifstream file(directory.file("probes"));
    int count = 0;
    for (std::string line; std::getline(file, line);) {
        EXPECT_EQ(line, "--probe-screen-capture");
        ++count;
    }
    return count;
}

struct Probing {
    TempDir scratch;
    std::unique_ptr<SimDesktop> sim;
    std::unique_ptr<InProcessDriver> driver;
    std::chrono::system_clock::time_point now{std::chrono::hours(24 * 365 * 54)};

    explicit Probing(int probeStatus) {
        sim = desktopFrom(desktop(Json{{"screenCapture", false}}));
        const std::string executable = probeScript(scratch, probeStatus);
        driver = std::make_unique<InProcessDriver>(
            sim->facets(), [&](ProcessSettings& settings, const std::filesystem::path&) {
                settings.ownExecutablePath = executable;
            });
        driver->driver().now = [this] { return now; };
    }
    Json screenCapture(const char* grantProbe) {
        Json params{{"targets", {{{"kind", "screen_capture"}}}}};
        if (grantProbe) params["grantProbe"] = grantProbe;
        return driver->request("permissions.status", params)["result"]["items"][0];
    }
};

TEST(PermissionsStatus, WithoutParamsChecksTheFourDefaultTargets) {
    auto sim = desktopFrom(desktop(Json{{"listenEvent", false}}));
    InProcessDriver driver(sim->facets());
    const auto at =
        std::chrono::system_clock::time_point(std::chrono::milliseconds(1'765'324'800'123));
    driver.driver().now = [at] { return at; };
    for (const Json& params :
         {Json::object(), Json{{"targets", Json::array()}}, Json{{"targets", "accessibility"}},
          Json{{"targets", {{{"kind", "automation"}}, 5}}}}) {
        EXPECT_EQ(driver.request("permissions.status", params)["result"], Json::parse(R"({
            "platform":"darwin","supported":true,"items":[
            {"kind":"accessibility","scope":"desktop:global","status":"granted"},
            {"kind":"screen_capture","scope":"screen:capture","status":"granted"},
            {"kind":"listen_event","scope":"input:listen","status":"not_granted"},
            {"kind":"post_event","scope":"input:synthesize","status":"granted"}],
            "checkedAt":1765324800123})"))
            << params.dump();
    }
}

TEST(PermissionsStatus, AutomationTargetsInOrder) {
    auto sim = desktopFrom(desktop({}, Json{{"com.apple.TextEdit", -1743}}));
    InProcessDriver driver(sim->facets());
    Json items = driver.request(
        "permissions.status",
        Json{{"targets",
              {{{"kind", "automation"}, {"targetBundleId", "com.apple.TextEdit"}},
               {{"kind", "automation"}, {"targetBundleId", "com.example.Odd"}, {"scope", " mine "}},
               {{"kind", "automation"}, {"targetBundleId", "com.example.Legacy"}},
               {{"kind", "automation"}}}}})["result"]["items"];
    EXPECT_EQ(items, Json::parse(R"([
        {"kind":"automation","scope":"app:com.apple.TextEdit","status":"not_granted",
         "targetBundleId":"com.apple.TextEdit"},
        {"kind":"automation","scope":"mine","status":"granted","targetBundleId":"com.example.Odd"},
        {"kind":"automation","scope":"app:com.example.Legacy","status":"unknown",
         "targetBundleId":"com.example.Legacy"},
        {"kind":"automation","scope":"desktop:global","status":"unknown"}])"));
    EXPECT_TRUE(eventsNamed(*sim, "automationPrompt").empty()); // a status never prompts
}

TEST(PermissionsStatus, ThrottledProbesOncePerThirtySecondsAndNowEveryTime) {
    Probing probing(42);
    EXPECT_EQ(probing.screenCapture(nullptr),
              Json::parse(R"({"kind":"screen_capture","scope":"desktop:global",
                              "status":"not_granted"})"));
    EXPECT_EQ(probeRuns(probing.scratch), 0);
    EXPECT_EQ(probing.screenCapture("throttled"),
              Json::parse(R"({"kind":"screen_capture","scope":"desktop:global",
                              "status":"needs_restart","restart":"driver"})"));
    probing.now += std::chrono::seconds(10);
    EXPECT_EQ(probing.screenCapture("throttled")["status"], "not_granted");
    EXPECT_EQ(probeRuns(probing.scratch), 1);
    EXPECT_EQ(probing.screenCapture("now")["restart"], "driver");
    EXPECT_EQ(probing.screenCapture(" now ")["restart"], "driver");
    EXPECT_EQ(probeRuns(probing.scratch), 3);
    EXPECT_EQ(probing.screenCapture("sometimes")["status"], "not_granted");
    probing.now += std::chrono::seconds(31);
    EXPECT_EQ(probing.screenCapture("throttled")["status"], "needs_restart");
    EXPECT_EQ(probeRuns(probing.scratch), 4);
}

TEST(PermissionsStatus, OneRequestProbesOnceAndAProbeSayingNoChangesNothing) {
    Probing probing(1);
    Json three = Json::array();
    for (int i = 0; i < 3; ++i)
        three.push_back(Json{{"kind", "screen_capture"}});
    Json items = probing.driver->request(
        "permissions.status", Json{{"targets", three}, {"grantProbe", "now"}})["result"]["items"];
    for (const Json& item : items)
        EXPECT_EQ(item["status"], "not_granted");
    EXPECT_EQ(probeRuns(probing.scratch), 1);
}

TEST(PermissionsRequest, PromptsOrPreflightsByKindAndReadsTheItemAgain) {
    auto sim =
        desktopFrom(desktop(Json{{"screenCapture", false},
                                 {"listenEvent", {{"granted", false}, {"grantOnRequest", true}}},
                                 {"postEvent", false}}));
    InProcessDriver driver(sim->facets());
    auto request = [&](Json params) {
        return driver.request("permissions.request", params)["result"];
    };

    Json post = request({{"kind", "post_event"}, {"prompt", false}});
    EXPECT_EQ(post["ok"], false);
    EXPECT_EQ(post["item"], Json::parse(R"({"kind":"post_event","scope":"desktop:global",
                                           "status":"not_granted"})"));
    Json screen = request({{"kind", "screen_capture"}, {"prompt", "0"}});
    EXPECT_EQ(screen["item"]["status"], "not_granted");
    EXPECT_TRUE(eventsNamed(*sim, "permissionRequest").empty()); // "0" does not prompt

    screen = request({{"kind", "screen_capture"}});
    EXPECT_EQ(screen["ok"], false);
    EXPECT_EQ(screen["item"], Json::parse(R"({"kind":"screen_capture","scope":"desktop:global",
                                             "status":"needs_restart"})"));
    EXPECT_EQ(
        driver.request(
            "permissions.status",
            Json{{"targets", {{{"kind", "screen_capture"}}}}})["result"]["items"][0]["status"],
        "needs_restart");

    Json listen = request({{"kind", "listen_event"}, {"scope", "keys"}});
    EXPECT_EQ(listen["ok"], true);
    EXPECT_EQ(listen["item"], Json::parse(R"({"kind":"listen_event","scope":"keys",
                                             "status":"granted"})"));
    EXPECT_EQ(eventsNamed(*sim, "permissionRequest").size(), 2u);
    EXPECT_TRUE(listen["requestedAt"].is_number_integer());
}

TEST(PermissionsRequest, AutomationAsksTheRunningTarget) {
    auto sim =
        desktopFrom(desktop({}, Json{{"com.apple.TextEdit", {{"code", -1744}, {"onPrompt", 0}}}}));
    InProcessDriver driver(sim->facets());
    Json quiet =
        driver.request("permissions.request", Json{{"kind", "automation"},
                                                   {"targetBundleId", "com.apple.TextEdit"},
                                                   {"prompt", false}})["result"];
    EXPECT_EQ(quiet["ok"], false);
    EXPECT_EQ(quiet["item"]["status"], "not_granted");
    Json asked = driver.request(
        "permissions.request",
        Json{{"kind", "automation"}, {"targetBundleId", "com.apple.TextEdit"}})["result"];
    EXPECT_EQ(asked["ok"], true);
    EXPECT_EQ(asked["item"], Json::parse(R"({"kind":"automation","scope":"app:com.apple.TextEdit",
                                            "status":"granted","targetBundleId":"com.apple.TextEdit"})"));
    Json absent = driver.request(
        "permissions.request",
        Json{{"kind", "automation"}, {"targetBundleId", "com.example.Legacy"}})["result"];
    EXPECT_EQ(absent["ok"], false);
    EXPECT_EQ(absent["item"]["status"], "unknown");
    EXPECT_EQ(eventsNamed(*sim, "automationPrompt").size(), 1u);
}

TEST(OpenSettings, TriesLinksInOrderUntilOneOpens) {
    const std::string current =
        "x-apple.systempreferences:com.apple.settings.PrivacySecurity.extension";
    const std::string older = "x-apple.systempreferences:com.apple.preference.security";
    struct Case {
        Json refused;
        Json params;
        Json expected;
    };
    const Json fourAccessibility = {current + "?Privacy_Accessibility",
                                    older + "?Privacy_Accessibility", current, older};
    const std::vector<Case> cases = {
        {Json::array(),
         Json::object(),
         {{"ok", true},
          {"target", "Privacy_Accessibility"},
          {"openedURL", fourAccessibility[0]},
          {"attemptedURLs", fourAccessibility}}},
        {{current},
         Json{{"target", " Privacy_Accessibility "}},
         {{"ok", true},
          {"target", "Privacy_Accessibility"},
          {"openedURL", fourAccessibility[1]},
          {"attemptedURLs", fourAccessibility}}},
        {{"x-apple"},
         Json{{"target", 5}},
         {{"ok", false},
          {"target", "Privacy_Accessibility"},
          {"openedURL", nullptr},
          {"attemptedURLs", fourAccessibility}}},
        {Json::array(),
         Json{{"target", "screen_capture"}},
         {{"ok", true},
          {"target", "screen_capture"},
          {"openedURL", current},
          {"attemptedURLs", {current, older}}}},
        {Json::array(),
         Json{{"target", "Privacy_ScreenCapture"}},
         {{"ok", true},
          {"target", "Privacy_ScreenCapture"},
          {"openedURL", current + "?Privacy_ScreenCapture"},
          {"attemptedURLs",
           {current + "?Privacy_ScreenCapture", older + "?Privacy_ScreenCapture", current,
            older}}}},
    };
    for (const Case& c : cases) {
        Json scenario = desktop();
        scenario["refusedUrlPrefixes"] = c.refused;
        auto sim = desktopFrom(scenario);
        InProcessDriver driver(sim->facets());
        EXPECT_EQ(driver.request("permissions.openSettings", c.params)["result"], c.expected)
            << c.params.dump();
        // Links after the one that opened are never tried.
        const Json& attempted = c.expected["attemptedURLs"];
        size_t tried = attempted.size();
        for (size_t i = 0; i < attempted.size(); ++i) {
            if (attempted[i] == c.expected["openedURL"]) tried = i + 1;
        }
        EXPECT_EQ(eventsNamed(*sim, "openURL").size(), tried);
    }
}

TEST(AutomationTargetInfo, DescribesRunningInstalledAndUnknownApps) {
    auto sim = desktopFrom(desktop());
    InProcessDriver driver(sim->facets());
    auto info = [&](const char* bundleId) {
        return driver.request("system.automationTargetInfo",
                              Json{{"bundleId", bundleId}})["result"];
    };
    EXPECT_EQ(info(" com.apple.TextEdit "), (Json{{"bundleId", "com.apple.TextEdit"},
                                                  {"running", true},
                                                  {"scriptability", "scriptable"},
                                                  {"bundleURL", bundles + "TextEdit.app"},
                                                  {"pid", 501},
                                                  {"label", "TextEdit"}}));
    EXPECT_EQ(info("com.example.Plain"), (Json{{"bundleId", "com.example.Plain"},
                                               {"running", true},
                                               {"scriptability", "not_scriptable"},
                                               {"bundleURL", bundles + "Calculator.app"},
                                               {"pid", 600}}));
    EXPECT_EQ(info("com.example.Legacy"), (Json{{"bundleId", "com.example.Legacy"},
                                                {"running", false},
                                                {"scriptability", "unknown"},
                                                {"bundleURL", bundles + "Legacy.app"}}));
    EXPECT_EQ(info("com.example.Nothing"), (Json{{"bundleId", "com.example.Nothing"},
                                                 {"running", false},
                                                 {"scriptability", "unknown"}}));
    EXPECT_TRUE(eventsNamed(*sim, "automationPrompt").empty());
}

TEST(AutomationTargetInfo, APathThatIsNotUtf8StillAnswers) {
    auto sim = desktopFrom(Json::parse(
        R"({"apps":[{"pid":9,"bundleId":"com.example.Bytes","bundlePath":"file:///tmp/caf%FF.app/"}]})"));
    InProcessDriver driver(sim->facets());
    Json answer =
        driver.request("system.automationTargetInfo", Json{{"bundleId", "com.example.Bytes"}});
    EXPECT_EQ(answer["result"]["bundleURL"], "/tmp/caf\uFFFD.app");
    EXPECT_EQ(answer["result"]["scriptability"], "unknown");
}

TEST(RequestAutomationPermission, OutcomesOfThePrompt) {
    struct Case {
        const char* why;
        std::string bundleId;
        Json appleEvents;
        Json expected;
    };
    const std::vector<Case> cases = {
        {"allowed at the prompt",
         "com.apple.TextEdit",
         {{"code", -1744}, {"onPrompt", 0}},
         {{"promptAttempted", true},
          {"running", true},
          {"scriptability", "scriptable"},
          {"priorStatus", "not_granted"},
          {"currentStatus", "granted"},
          {"osStatus", 0}}},
        {"denied at the prompt",
         "com.apple.TextEdit",
         {{"code", -1744}, {"onPrompt", -1743}},
         {{"promptAttempted", true},
          {"running", true},
          {"scriptability", "scriptable"},
          {"priorStatus", "not_granted"},
          {"currentStatus", "not_granted"},
          {"osStatus", -1743},
          {"errorCode", "prompt_denied"}}},
        {"revoked since",
         "com.apple.TextEdit",
         {{"code", 0}, {"onPrompt", -1744}},
         {{"promptAttempted", true},
          {"running", true},
          {"scriptability", "scriptable"},
          {"priorStatus", "granted"},
          {"currentStatus", "not_granted"},
          {"osStatus", -1744},
          {"errorCode", "prompt_denied"}}},
        {"another code",
         "com.apple.TextEdit",
         -1712,
         {{"promptAttempted", true},
          {"running", true},
          {"scriptability", "scriptable"},
          {"priorStatus", "unknown"},
          {"currentStatus", "unknown"},
          {"osStatus", -1712}}},
        {"not scriptable",
         "com.example.Plain",
         -1743,
         {{"promptAttempted", true},
          {"running", true},
          {"scriptability", "not_scriptable"},
          {"priorStatus", "not_granted"},
          {"currentStatus", "not_granted"},
          {"osStatus", -1743},
          {"errorCode", "not_scriptable"}}},
        {"not running",
         "com.example.Legacy",
         -1743,
         {{"promptAttempted", false},
          {"running", false},
          {"scriptability", "unknown"},
          {"priorStatus", "unknown"},
          {"currentStatus", "unknown"},
          {"errorCode", "target_not_running"}}},
    };
    for (const Case& c : cases) {
        auto sim = desktopFrom(desktop({}, Json{{c.bundleId, c.appleEvents}}));
        InProcessDriver driver(sim->facets());
        Json answer = driver.request("system.requestAutomationPermission",
                                     Json{{"bundleId", c.bundleId}})["result"];
        Json expected = c.expected;
        expected["bundleId"] = c.bundleId;
        answer.erase("bundleURL");
        EXPECT_EQ(answer.size(), expected.size()) << c.why << answer.dump();
        for (const auto& [key, value] : expected.items())
            EXPECT_EQ(answer[key], value) << c.why << " " << key;
        EXPECT_EQ(eventsNamed(*sim, "automationPrompt").size(),
                  c.expected["promptAttempted"] == true ? 1u : 0u)
            << c.why;
    }
}

TEST(MethodErrors, EveryBadParameterMessage) {
    auto sim = desktopFrom(desktop());
    InProcessDriver driver(sim->facets());
    struct Case {
        std::string method;
        Json params;
        std::string message;
    };
    std::vector<Case> cases;
    for (const Json& targets : {Json::array({{{"kind", "Accessibility"}}}),
                                Json::array({Json::object()}), Json::array({{{"kind", 5}}}),
                                Json::array({{{"kind", "accessibility"}}, {{"kind", "x"}}})}) {
        cases.push_back(
            {"permissions.status", Json{{"targets", targets}}, "target.kind is required"});
    }
    for (const Json& params : {Json::object(), Json{{"kind", "Screen_capture"}}, Json{{"kind", 1}},
                               Json{{"kind", " post_event"}}}) {
        cases.push_back({"permissions.request", params, "kind is required"});
    }
    cases.push_back({"permissions.request", Json{{"kind", "automation"}, {"targetBundleId", "  "}},
                     "targetBundleId is required for automation permission"});
    for (const char* method : {"system.appState", "app.launch", "system.automationTargetInfo",
                               "system.requestAutomationPermission"}) {
        for (const Json& params : {Json::object(), Json{{"bundleId", " \t"}}, Json{{"bundleId", 5}},
                                   Json{{"bundleId", nullptr}}}) {
            cases.push_back({method, params, "bundleId is required"});
        }
    }
    for (const Case& c : cases) {
        Json answer = driver.request(c.method, c.params);
        EXPECT_EQ(answer["error"], (Json{{"code", -32602}, {"message", c.message}}))
            << c.method << " " << c.params.dump();
    }
    EXPECT_TRUE(eventsNamed(*sim, "permissionRequest").empty());
    EXPECT_TRUE(eventsNamed(*sim, "launch").empty());
}

} // namespace
} // namespace dorvex::testing
