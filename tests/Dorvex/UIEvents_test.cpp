// Subscriptions through the action dispatcher, in-process, with a frontmost application and a
// clock the tests move.
#include "support/FakePlatform.h"
#include "support/InProcessDriver.h"

#include <gtest/gtest.h>
#include <set>

namespace dorvex {
namespace {

class FrontmostPlatform : public testing::NoWorkspace {
public:
    std::optional<platform::RunningApplication> front;
    int frontmostReads = 0;

    std::optional<platform::RunningApplication> frontmostApplication() override {
        ++frontmostReads;
        return front;
    }
};

platform::RunningApplication app(int32_t pid, std::string bundleId, std::string name) {
    platform::RunningApplication running;
    running.pid = pid;
    running.bundleIdentifier = std::move(bundleId);
    running.localizedName = std::move(name);
    return running;
}

class UIEventsTest : public ::testing::Test {
protected:
    FrontmostPlatform platform;
    testing::FakePlatform facets{platform};
    testing::InProcessDriver inProcess{facets};
    Driver& driver = inProcess.driver();
    std::chrono::system_clock::time_point clock{std::chrono::milliseconds(1765324800000)};

    void SetUp() override {
        platform.front = app(301, "com.apple.finder", "Finder");
        driver.now = [this] { return clock; };
    }

    void advance(int64_t ms) { clock += std::chrono::milliseconds(ms); }

    Json execute(const char* type, Json action) {
        action["actionType"] = type;
        return inProcess.execute(std::move(action));
    }
    Json subscribe(Json types = Json::array({"focused_app_changed"})) {
        return execute("desktop_subscribe_ui_events", {{"eventTypes", types}});
    }
    Json poll(const Json& id, Json extra = Json::object()) {
        extra["subscriptionId"] = id;
        return execute("desktop_get_ui_events", extra);
    }
};

std::vector<int64_t> idsOf(const Json& pollAnswer) {
    std::vector<int64_t> ids;
    for (const Json& event : pollAnswer["result"]["events"])
        ids.push_back(event["eventId"]);
    return ids;
}

TEST_F(UIEventsTest, SubscribeReportsTheCurrentStateAsFirstEvents) {
    Json answer = subscribe({"focused_app_changed", "state_changed", "focused_app_changed"});
    ASSERT_EQ(answer["ok"], true) << answer.dump();
    EXPECT_EQ(answer["pathUsed"], "observer");
    EXPECT_EQ(answer["summary"], "Subscribed to 3 UI event types.");
    const Json& result = answer["result"];
    EXPECT_EQ(result["eventTypes"],
              Json::array({"focused_app_changed", "state_changed", "focused_app_changed"}));
    EXPECT_EQ(result["createdAt"], 1765324800000);

    Json first = poll(result["subscriptionId"], {{"cursor", 0}});
    ASSERT_EQ(first["ok"], true) << first.dump();
    EXPECT_EQ(first["summary"], "Returned 2 UI events.");
    EXPECT_EQ(first["result"]["subscriptionId"], result["subscriptionId"]);
    std::set<std::string> previews;
    for (const Json& event : first["result"]["events"]) {
        EXPECT_GT(event["eventId"], 0);
        EXPECT_EQ(event["bundleId"], "com.apple.finder");
        EXPECT_EQ(event["pid"], 301);
        EXPECT_EQ(event["timestampMs"], 1765324800000);
        previews.insert(event["valuePreview"]);
    }
    EXPECT_EQ(previews, (std::set<std::string>{"com.apple.finder", "Finder"}));
    EXPECT_EQ(first["result"]["nextCursor"], idsOf(first).back());

    Json again = poll(result["subscriptionId"], {{"cursor", first["result"]["nextCursor"]}});
    EXPECT_EQ(again["result"]["events"], Json::array());
    EXPECT_EQ(again["summary"], "Returned 0 UI events.");
    EXPECT_EQ(again["result"]["nextCursor"], first["result"]["nextCursor"]);
}

TEST_F(UIEventsTest, FocusChangeNumbersEventsAcrossSubscriptions) {
    const Json a = subscribe(Json::array({"focused_app_changed", "focused_pid_changed"}));
    const Json b = subscribe(Json::array({"focused_app_changed"}));
    const Json idA = a["result"]["subscriptionId"];
    const Json idB = b["result"]["subscriptionId"];
    ASSERT_NE(idA, idB);
    const int64_t lastA = poll(idA)["result"]["nextCursor"];
    const int64_t lastB = poll(idB)["result"]["nextCursor"];

    platform.front = app(402, "com.apple.Notes", "Notes");
    advance(10);
    Json changedA = poll(idA, {{"cursor", lastA}});
    Json changedB = poll(idB, {{"cursor", lastB}});
    ASSERT_EQ(changedA["result"]["events"].size(), 2u);
    ASSERT_EQ(changedB["result"]["events"].size(), 1u);
    std::set<int64_t> all;
    for (const Json* answer : {&changedA, &changedB}) {
        for (const Json& event : (*answer)["result"]["events"]) {
            EXPECT_EQ(event["bundleId"], "com.apple.Notes");
            EXPECT_EQ(event["pid"], 402);
            EXPECT_GT(event["eventId"].get<int64_t>(), std::max(lastA, lastB));
            all.insert(event["eventId"].get<int64_t>());
        }
    }
    EXPECT_EQ(all.size(), 3u); // never the same id twice
}

TEST_F(UIEventsTest, RefusalsAreFailureEnvelopes) {
    const Json missing = Json::parse(R"({"code":"subscription_not_found",
        "message":"subscriptionId is missing or expired.","retryable":false})");
    const Json required = Json::parse(R"({"code":"invalid_input",
        "message":"eventTypes is required.","retryable":false})");
    struct Case {
        const char* name;
        const char* type;
        Json action;
        const Json& error;
    };
    const std::vector<Case> cases = {
        {"no subscription id", "desktop_get_ui_events", Json::object(), missing},
        {"blank subscription id", "desktop_get_ui_events", {{"subscriptionId", "  "}}, missing},
        {"unknown subscription id",
         "desktop_get_ui_events",
         {{"subscriptionId", "sub_X"}},
         missing},
        {"numeric subscription id", "desktop_get_ui_events", {{"subscriptionId", 5}}, missing},
        {"no event types", "desktop_subscribe_ui_events", Json::object(), required},
        {"only an empty type", "desktop_subscribe_ui_events", {{"eventTypes", {""}}}, required},
        {"a string, not a list",
         "desktop_subscribe_ui_events",
         {{"eventTypes", "focused_app_changed"}},
         required},
        {"a number in the list",
         "desktop_subscribe_ui_events",
         {{"eventTypes", {"focused_app_changed", 1}}},
         required},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Json answer = execute(c.type, c.action);
        EXPECT_EQ(answer["ok"], false);
        EXPECT_EQ(answer["status"], "invalid_params");
        EXPECT_EQ(answer["pathUsed"], "observer");
        EXPECT_EQ(answer["actionType"], c.type);
        EXPECT_EQ(answer["error"], c.error);
    }
    EXPECT_TRUE(driver.driverState.subscriptions.empty());
}

TEST_F(UIEventsTest, PollTrimsTheIdAndReportsItTrimmed) {
    const std::string id = subscribe()["result"]["subscriptionId"];
    Json answer = poll(" " + id + "\n");
    ASSERT_EQ(answer["ok"], true);
    EXPECT_EQ(answer["result"]["subscriptionId"], id);
}

TEST_F(UIEventsTest, TheFiftyFirstSubscriptionIsRefusedEvenWithBadParameters) {
    for (int i = 0; i < 50; ++i)
        ASSERT_EQ(subscribe()["ok"], true) << i;
    for (const Json& action : {Json{{"eventTypes", {"focused_app_changed"}}},
                               Json{{"eventTypes", "not a list"}}, Json::object()}) {
        Json answer = execute("desktop_subscribe_ui_events", action);
        EXPECT_EQ(answer["status"], "execution_failed");
        EXPECT_EQ(answer["error"], Json::parse(R"({"code":"too_many_subscriptions",
            "message":"Subscription limit reached.","retryable":false})"));
    }
    EXPECT_EQ(driver.driverState.subscriptions.size(), 50u);

    // Expired subscriptions make room again.
    advance(1'800'001);
    EXPECT_EQ(subscribe()["ok"], true);
    EXPECT_EQ(driver.driverState.subscriptions.size(), 1u);
}

TEST_F(UIEventsTest, SubscriptionsExpireAfterThirtyIdleMinutes) {
    const Json kept = subscribe()["result"]["subscriptionId"];
    const Json dropped = subscribe()["result"]["subscriptionId"];
    advance(1'000'000);
    ASSERT_EQ(poll(kept)["ok"], true); // a poll refreshes
    advance(800'000);                  // dropped idle for exactly the limit: still there
    ASSERT_EQ(poll(dropped)["ok"], true);
    advance(1'000'001); // kept idle 1'800'001, dropped 1'000'001
    EXPECT_EQ(poll(kept)["error"]["code"], "subscription_not_found");
    EXPECT_EQ(poll(dropped)["ok"], true);
    advance(1'800'001);
    EXPECT_EQ(poll(dropped)["error"]["code"], "subscription_not_found");
}

TEST_F(UIEventsTest, QueueHoldsTheNewestThousandEvents) {
    const Json id = subscribe()["result"]["subscriptionId"];
    for (int i = 0; i < 1100; ++i) {
        platform.front =
            i % 2 ? app(301, "com.apple.finder", "Finder") : app(402, "com.apple.Notes", "Notes");
        ASSERT_EQ(poll(id, {{"cursor", 1'000'000}})["ok"], true);
    }
    // 1 first event and 1100 changes: ids 1..1101, the newest 1000 kept.
    EXPECT_EQ(driver.driverState.subscriptions.begin()->second.events.size(), 1000u);
    std::vector<int64_t> ids;
    int64_t cursor = 0;
    for (;;) {
        Json page = poll(id, {{"cursor", cursor}, {"limit", 500}});
        std::vector<int64_t> more = idsOf(page);
        if (more.empty()) break;
        ids.insert(ids.end(), more.begin(), more.end());
        cursor = page["result"]["nextCursor"];
    }
    ASSERT_EQ(ids.size(), 1000u);
    EXPECT_EQ(ids.front(), 102);
    EXPECT_EQ(ids.back(), 1101);
}

TEST_F(UIEventsTest, LimitsOfOnePoll) {
    const Json id = subscribe()["result"]["subscriptionId"];
    for (int i = 0; i < 700; ++i) {
        platform.front =
            i % 2 ? app(301, "com.apple.finder", "Finder") : app(402, "com.apple.Notes", "Notes");
        poll(id, {{"cursor", 1'000'000}});
    }
    struct Case {
        Json limit;
        size_t expected;
    } cases[] = {{nullptr, 100}, {0, 1}, {-7, 1}, {"3", 3}, {10000, 500}};
    for (const Case& c : cases) {
        Json extra = {{"cursor", -5}};
        if (!c.limit.is_null()) extra["limit"] = c.limit;
        Json answer = poll(id, extra);
        EXPECT_EQ(answer["result"]["events"].size(), c.expected) << c.limit;
        EXPECT_EQ(idsOf(answer).front(), 1) << c.limit;
    }
}

} // namespace
} // namespace dorvex
