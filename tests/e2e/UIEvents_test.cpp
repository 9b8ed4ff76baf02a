// UI event subscriptions through the built driver: the simulated desktop's frontmost
// application changes when the test rewrites its scenario between requests. Expiry needs a
// clock 30 minutes on, which only the in-process tests (Dorvex/UIEvents_test.cpp) can move.
#include "support/DriverProcess.h"

#include <gtest/gtest.h>
#include <set>

namespace dorvex::testing {
namespace {

struct App {
    int pid;
    const char* bundleId;
    const char* name;
};
const App finder{312, "com.apple.finder", "Finder"};
const App notes{420, "com.apple.Notes", "Notes"};

std::string desktopWithFront(const App& front) {
    Json scenario = {{"displays",
                      {{{"id", 1},
                        {"bounds", {{"x", 0}, {"y", 0}, {"width", 1440}, {"height", 900}}},
                        {"main", true}}}},
                     {"apps", Json::array()},
                     {"frontmostPid", front.pid}};
    for (const App& app : {finder, notes}) {
        scenario["apps"].push_back(
            {{"pid", app.pid}, {"bundleId", app.bundleId}, {"name", app.name}});
    }
    return scenario.dump();
}

class UIEventsEndToEnd : public ::testing::Test {
protected:
    DriverProcess driver{[] {
        DriverOptions options;
        options.scenario = desktopWithFront(finder);
        return options;
    }()};

    void bringToFront(const App& app) { driver.setScenario(desktopWithFront(app)); }

    Json subscribe(Json eventTypes) {
        return driver.execute(
            {{"actionType", "desktop_subscribe_ui_events"}, {"eventTypes", std::move(eventTypes)}});
    }
    Json poll(const Json& id, Json extra = Json::object()) {
        extra["actionType"] = "desktop_get_ui_events";
        extra["subscriptionId"] = id;
        return driver.execute(extra);
    }
};

const Json everyType = {"focused_app_changed", "focused_pid_changed", "state_changed"};

TEST_F(UIEventsEndToEnd, SubscribeReportsTheFrontmostAppAndPollsSeeOnlyChanges) {
    Json subscribed = subscribe({"focused_app_changed"});
    ASSERT_EQ(subscribed["ok"], true) << subscribed.dump();
    EXPECT_EQ(subscribed["pathUsed"], "observer");
    EXPECT_EQ(subscribed["summary"], "Subscribed to 1 UI event types.");
    const Json id = subscribed["result"]["subscriptionId"];

    Json first = poll(id, {{"cursor", 0}});
    ASSERT_EQ(first["result"]["events"].size(), 1u) << first.dump();
    const Json& event = first["result"]["events"][0];
    EXPECT_GT(event["eventId"], 0);
    EXPECT_EQ(event["eventType"], "focused_app_changed");
    EXPECT_EQ(event["valuePreview"], "com.apple.finder");
    EXPECT_EQ(event["bundleId"], "com.apple.finder");
    EXPECT_EQ(event["pid"], 312);
    EXPECT_FALSE(event.contains("windowId") || event.contains("elementPath"));
    const Json cursor = first["result"]["nextCursor"];
    EXPECT_EQ(cursor, event["eventId"]);

    Json quiet = poll(id, {{"cursor", cursor}});
    EXPECT_EQ(quiet["result"]["events"], Json::array());
    EXPECT_EQ(quiet["result"]["nextCursor"], cursor);
}

TEST_F(UIEventsEndToEnd, FocusChangeGivesOneEventPerSubscribedFieldWithSharedIds) {
    const Json all = subscribe(everyType)["result"]["subscriptionId"];
    const Json appOnly = subscribe({"focused_app_changed"})["result"]["subscriptionId"];
    const int64_t allCursor = poll(all)["result"]["nextCursor"];
    const int64_t appCursor = poll(appOnly)["result"]["nextCursor"];
    EXPECT_NE(allCursor, appCursor); // the first events were numbered from one counter

    bringToFront(notes);
    Json changedAll = poll(all, {{"cursor", allCursor}});
    Json changedApp = poll(appOnly, {{"cursor", appCursor}});
    std::map<std::string, Json> byType;
    for (const Json& event : changedAll["result"]["events"])
        byType[event["eventType"]] = event;
    ASSERT_EQ(byType.size(), 3u) << changedAll.dump();
    EXPECT_EQ(byType["focused_app_changed"]["valuePreview"], "com.apple.Notes");
    EXPECT_EQ(byType["focused_pid_changed"]["valuePreview"], "420");
    EXPECT_EQ(byType["state_changed"]["valuePreview"], "Notes");
    ASSERT_EQ(changedApp["result"]["events"].size(), 1u);

    std::set<int64_t> ids;
    for (const Json* answer : {&changedAll, &changedApp}) {
        for (const Json& event : (*answer)["result"]["events"]) {
            EXPECT_EQ(event["pid"], 420);
            EXPECT_GT(event["eventId"].get<int64_t>(), std::max(allCursor, appCursor));
            ids.insert(event["eventId"].get<int64_t>());
        }
    }
    EXPECT_EQ(ids.size(), 4u);
    // Each answer lists its events in ascending id order.
    const Json& events = changedAll["result"]["events"];
    EXPECT_LT(events[0]["eventId"], events[1]["eventId"]);
    EXPECT_LT(events[1]["eventId"], events[2]["eventId"]);
}

TEST_F(UIEventsEndToEnd, CursorsAndLimits) {
    const Json id = subscribe(everyType)["result"]["subscriptionId"];
    for (int i = 0; i < 4; ++i) {
        bringToFront(i % 2 ? finder : notes);
        poll(id, {{"cursor", 1 << 30}});
    }
    // 3 first events and 3 for each of the 4 changes.
    struct Case {
        Json cursor;
        Json limit;
        size_t expected;
        int64_t firstId;
    } cases[] = {
        {nullptr, nullptr, 15, 1}, {-5, nullptr, 15, 1}, {0, 0, 1, 1}, {3, 2, 2, 4},
        {13, 100, 2, 14},          {15, nullptr, 0, 0},
    };
    for (const Case& c : cases) {
        Json extra = Json::object();
        if (!c.cursor.is_null()) extra["cursor"] = c.cursor;
        if (!c.limit.is_null()) extra["limit"] = c.limit;
        Json answer = poll(id, extra);
        const Json& events = answer["result"]["events"];
        ASSERT_EQ(events.size(), c.expected) << extra.dump();
        EXPECT_EQ(answer["summary"], "Returned " + std::to_string(c.expected) + " UI events.");
        if (c.expected > 0) {
            EXPECT_EQ(events[0]["eventId"], c.firstId) << extra.dump();
            EXPECT_EQ(answer["result"]["nextCursor"], events.back()["eventId"]);
        } else {
            EXPECT_EQ(answer["result"]["nextCursor"], c.cursor);
        }
    }
}

TEST_F(UIEventsEndToEnd, FiftyFirstSubscriptionIsRefusedEvenWithBadParameters) {
    for (int i = 0; i < 50; ++i)
        ASSERT_EQ(subscribe({"state_changed"})["ok"], true) << i;
    for (const Json& types : {Json{"state_changed"}, Json("state_changed"), Json{""}}) {
        Json answer = subscribe(types);
        EXPECT_EQ(answer["status"], "execution_failed") << types;
        EXPECT_EQ(answer["error"], Json::parse(R"({"code":"too_many_subscriptions",
            "message":"Subscription limit reached.","retryable":false})"));
    }
}

TEST_F(UIEventsEndToEnd, BadParametersAndUnknownSubscriptions) {
    for (const Json& types : {Json{""}, Json("focused_app_changed"), Json{"state_changed", 1}}) {
        Json answer = subscribe(types);
        EXPECT_EQ(answer["status"], "invalid_params") << types;
        EXPECT_EQ(answer["error"]["code"], "invalid_input");
        EXPECT_EQ(answer["error"]["message"], "eventTypes is required.");
    }
    for (const Json& id : {Json(nullptr), Json(""), Json("sub_0123"), Json(17)}) {
        Json answer = poll(id);
        EXPECT_EQ(answer["status"], "invalid_params") << id;
        EXPECT_EQ(answer["error"], Json::parse(R"({"code":"subscription_not_found",
            "message":"subscriptionId is missing or expired.","retryable":false})"));
    }
}

TEST_F(UIEventsEndToEnd, QueueKeepsOnlyTheNewestThousandEvents) {
    const Json id = subscribe(everyType)["result"]["subscriptionId"];
    // 3 first events and 3 per change: 340 changes make 1023 events.
    for (int i = 0; i < 340; ++i) {
        bringToFront(i % 2 ? finder : notes);
        ASSERT_EQ(poll(id, {{"cursor", 1 << 30}})["ok"], true);
    }
    std::vector<int64_t> ids;
    int64_t cursor = 0;
    for (;;) {
        Json page = poll(id, {{"cursor", cursor}, {"limit", 500}});
        const Json& events = page["result"]["events"];
        if (events.empty()) break;
        for (const Json& event : events)
            ids.push_back(event["eventId"]);
        cursor = page["result"]["nextCursor"];
    }
    ASSERT_EQ(ids.size(), 1000u);
    EXPECT_EQ(ids.front(), 24);
    EXPECT_EQ(ids.back(), 1023);
}

} // namespace
} // namespace dorvex::testing
