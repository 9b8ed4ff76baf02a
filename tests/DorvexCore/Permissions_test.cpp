#include "DorvexCore/DriverError.h"
#include "DorvexCore/Permissions.h"

#include <gtest/gtest.h>

namespace dorvex {
namespace {

TEST(PermissionKinds, WireNamesMatchExactly) {
    const std::vector<std::pair<std::string, std::optional<PermissionKind>>> cases = {
        {"accessibility", PermissionKind::accessibility},
        {"screen_capture", PermissionKind::screenCapture},
        {"listen_event", PermissionKind::listenEvent},
        {"post_event", PermissionKind::postEvent},
        {"automation", PermissionKind::automation},
        {"Accessibility", std::nullopt},
        {" accessibility", std::nullopt},
        {"screenCapture", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [name, kind] : cases) {
        EXPECT_EQ(permissionKindNamed(name), kind) << name;
        if (kind) {
            EXPECT_EQ(wireName(*kind), name);
        }
    }
    const Json number = 1;
    EXPECT_EQ(permissionKindOf(&number), std::nullopt);
    EXPECT_EQ(permissionKindOf(nullptr), std::nullopt);
}

TEST(NormalizeTarget, ReadsKindBundleAndScope) {
    struct Case {
        Json params;
        PermissionTarget expected;
    };
    const std::vector<Case> cases = {
        {{{"kind", "accessibility"}}, {PermissionKind::accessibility, "desktop:global", {}}},
        {{{"kind", "automation"}}, {PermissionKind::automation, "desktop:global", {}}},
        {{{"kind", "automation"}, {"targetBundleId", "  com.apple.Mail \n"}},
         {PermissionKind::automation, "app:com.apple.Mail", "com.apple.Mail"}},
        {{{"kind", "screen_capture"}, {"scope", " mine "}, {"targetBundleId", "   "}},
         {PermissionKind::screenCapture, "mine", {}}},
        {{{"kind", "post_event"}, {"scope", ""}, {"targetBundleId", 7}},
         {PermissionKind::postEvent, "desktop:global", {}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(normalizeTarget(c.params), c.expected) << c.params.dump();
}

TEST(NormalizeTarget, RefusesAKindThatIsNotAWireName) {
    for (const Json& params :
         {Json::object(), Json{{"kind", "Accessibility"}}, Json{{"kind", " accessibility "}},
          Json{{"kind", 0}}, Json{{"kind", nullptr}}, Json{{"kind", {"accessibility"}}}}) {
        try {
            normalizeTarget(params);
            ADD_FAILURE() << params.dump();
        } catch (const DriverError& error) {
            EXPECT_EQ(error.code(), -32602);
            EXPECT_STREQ(error.what(), "target.kind is required");
        }
    }
}

TEST(AutomationOutcome, MapsTheCheckAndANotRunningTarget) {
    const std::vector<std::pair<int32_t, AutomationPermissionOutcome>> cases = {
        {0, {PermissionStatus::granted, 0, false}},
        {-1743, {PermissionStatus::notGranted, -1743, false}},
        {-1744, {PermissionStatus::notGranted, -1744, false}},
        {-600, {PermissionStatus::unknown, -600, false}},
        {-1712, {PermissionStatus::unknown, -1712, false}},
        {1, {PermissionStatus::unknown, 1, false}},
    };
    for (const auto& [answer, expected] : cases) {
        const int32_t code = answer; // a lambda cannot capture a structured binding in C++20
        int32_t askedPid = 0;
        auto outcome = automationPermissionOutcome(42, [&](int32_t pid) {
            askedPid = pid;
            return code;
        });
        EXPECT_EQ(outcome, expected) << code;
        EXPECT_EQ(askedPid, 42);
    }
    bool asked = false;
    EXPECT_EQ(automationPermissionOutcome(std::nullopt,
                                          [&](int32_t) {
                                              asked = true;
                                              return 0;
                                          }),
              (AutomationPermissionOutcome{PermissionStatus::unknown, -600, true}));
    EXPECT_FALSE(asked);
}

// Reads that fail the test when a kind that does not need them asks.
struct Reads {
    bool trusted = true, screen = false, listen = true, post = false;
    std::optional<bool> probe;
    int probes = 0;
    std::vector<std::string> automationAsked;

    PermissionReads make() {
        return {[this] { return trusted; },
                [this] { return screen; },
                [this] { return listen; },
                [this] { return post; },
                [this](const std::string& bundleId) {
                    automationAsked.push_back(bundleId);
                    return PermissionStatus::notGranted;
                },
                [this] {
                    ++probes;
                    return probe;
                }};
    }
};

TEST(PermissionItem, DefaultTargetsGiveFourItemsInOrder) {
    Reads reads;
    bool flag = false;
    Json items = Json::array();
    for (const PermissionTarget& target : defaultPermissionTargets())
        items.push_back(permissionItem(target, reads.make(), flag));
    EXPECT_EQ(items, Json::parse(R"([
        {"kind":"accessibility","scope":"desktop:global","status":"granted"},
        {"kind":"screen_capture","scope":"screen:capture","status":"not_granted"},
        {"kind":"listen_event","scope":"input:listen","status":"granted"},
        {"kind":"post_event","scope":"input:synthesize","status":"not_granted"}])"));
    EXPECT_EQ(items.dump().find("restart"), std::string::npos);
}

TEST(PermissionItem, AutomationAsksOnlyWithABundleId) {
    Reads reads;
    bool flag = false;
    EXPECT_EQ(
        permissionItem({PermissionKind::automation, "desktop:global", {}}, reads.make(), flag),
        Json::parse(R"({"kind":"automation","scope":"desktop:global","status":"unknown"})"));
    EXPECT_TRUE(reads.automationAsked.empty());
    EXPECT_EQ(
        permissionItem({PermissionKind::automation, "app:com.a", "com.a"}, reads.make(), flag),
        Json::parse(R"({"kind":"automation","scope":"app:com.a","status":"not_granted",
                              "targetBundleId":"com.a"})"));
    EXPECT_EQ(reads.automationAsked, std::vector<std::string>{"com.a"});
}

TEST(PermissionItem, ScreenCaptureFromGrantProbeAndRememberedRequest) {
    const PermissionTarget target{PermissionKind::screenCapture, "screen:capture", {}};
    struct Case {
        bool granted;
        std::optional<bool> probe;
        bool flagBefore;
        std::string status;
        bool restart;
        bool flagAfter;
        int probes;
    };
    const std::vector<Case> cases = {
        {true, true, true, "granted", false, false, 0}, // granted here: no probe, flag cleared
        {false, true, false, "needs_restart", true, false, 1},
        {false, true, true, "needs_restart", true, true, 1},
        {false, false, false, "not_granted", false, false, 1},
        {false, false, true, "needs_restart", false, true, 1},
        {false, std::nullopt, false, "not_granted", false, false, 1},
        {false, std::nullopt, true, "needs_restart", false, true, 1},
    };
    for (const Case& c : cases) {
        Reads reads;
        reads.screen = c.granted;
        reads.probe = c.probe;
        bool flag = c.flagBefore;
        Json item = permissionItem(target, reads.make(), flag);
        SCOPED_TRACE(item.dump());
        EXPECT_EQ(item["status"], c.status);
        EXPECT_EQ(item.contains("restart"), c.restart);
        if (c.restart) {
            EXPECT_EQ(item["restart"], "driver");
        }
        EXPECT_EQ(flag, c.flagAfter);
        EXPECT_EQ(reads.probes, c.probes);
    }
}

TEST(SettingsURLs, AnchorsGetTheirOwnLinksFirst) {
    const std::string current =
        "x-apple.systempreferences:com.apple.settings.PrivacySecurity.extension";
    const std::string older = "x-apple.systempreferences:com.apple.preference.security";
    for (const std::string anchor : {"Privacy_Accessibility", "Privacy_ScreenCapture",
                                     "Privacy_Automation", "Privacy_ListenEvent"}) {
        EXPECT_EQ(settingsURLs(anchor),
                  (std::vector<std::string>{current + "?" + anchor, older + "?" + anchor, current,
                                            older}));
    }
    for (const std::string other : {"screen_capture", "privacy_accessibility", "Privacy_PostEvent",
                                    "Privacy_Accessibility?x", ""}) {
        EXPECT_EQ(settingsURLs(other), (std::vector<std::string>{current, older})) << other;
    }
}

} // namespace
} // namespace dorvex
