#include "DorvexCore/UIEvents.h"

#include <gtest/gtest.h>
#include <regex>

namespace dorvex::UIEvents {
namespace {

platform::RunningApplication app(int32_t pid, std::optional<std::string> bundleId,
                                 std::optional<std::string> name) {
    platform::RunningApplication running;
    running.pid = pid;
    running.bundleIdentifier = std::move(bundleId);
    running.localizedName = std::move(name);
    return running;
}

const auto finder = app(301, "com.apple.finder", "Finder");
const auto notes = app(402, "com.apple.Notes", "Notes");

UIEventSubscription subscribedTo(std::set<std::string> types) {
    UIEventSubscription subscription;
    subscription.id = "sub_TEST";
    subscription.eventTypes = std::move(types);
    return subscription;
}

const std::set<std::string> allTypes{focusedAppChanged, focusedPidChanged, stateChanged};

TEST(UIEvents, SnapshotOfTheFrontmostApplication) {
    struct Case {
        const char* name;
        std::optional<platform::RunningApplication> first;
        std::optional<platform::RunningApplication> second;
        UISnapshot expected;
    };
    const std::vector<Case> cases = {
        {"an app",
         finder,
         finder,
         {{"frontmostBundleId", "com.apple.finder"},
          {"frontmostPid", "301"},
          {"frontmostName", "Finder"}}},
        {"no app", std::nullopt, std::nullopt, {{"frontmostBundleId", ""}, {"frontmostPid", ""}}},
        {"no bundle id, no name",
         app(7, std::nullopt, std::nullopt),
         app(7, std::nullopt, std::nullopt),
         {{"frontmostBundleId", ""}, {"frontmostPid", "7"}}},
        {"focus moved between the two reads",
         finder,
         notes,
         {{"frontmostBundleId", "com.apple.finder"},
          {"frontmostPid", "301"},
          {"frontmostName", "Notes"}}},
        {"focus lost between the two reads",
         finder,
         std::nullopt,
         {{"frontmostBundleId", "com.apple.finder"}, {"frontmostPid", "301"}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(takeSnapshot(c.first, c.second), c.expected) << c.name;
}

TEST(UIEvents, PidTextParsesAsWholeDecimal) {
    struct Case {
        const char* text;
        std::optional<int64_t> expected;
    } cases[] = {
        {"301", 301},
        {"+12", 12},
        {"-5", -5},
        {"0", 0},
        {"", std::nullopt},
        {"12a", std::nullopt},
        {" 1", std::nullopt},
        {"+-5", std::nullopt},
        {"+", std::nullopt},
        {"-", std::nullopt},
        {"1.5", std::nullopt},
        {"99999999999999999999", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parsePid(c.text), c.expected) << c.text;
}

TEST(UIEvents, FirstGenerationReportsEverySubscribedFieldWithSharedFields) {
    UIEventSubscription subscription = subscribedTo(allTypes);
    int64_t nextEventId = 7;
    generateEvents(subscription, takeSnapshot(finder, finder), 1000, nextEventId, 1000);
    ASSERT_EQ(subscription.events.size(), 3u);
    EXPECT_EQ(nextEventId, 10);
    std::map<std::string, std::string> previews;
    int64_t expectedId = 7;
    for (const UIEventRecord& record : subscription.events) {
        EXPECT_EQ(record.eventId, expectedId++);
        EXPECT_EQ(record.timestampMs, 1000);
        EXPECT_EQ(record.bundleId, "com.apple.finder");
        EXPECT_EQ(record.pid, 301);
        EXPECT_FALSE(record.windowId || record.elementPath);
        previews[record.eventType] = record.valuePreview.value_or("?");
    }
    EXPECT_EQ(previews, (std::map<std::string, std::string>{{focusedAppChanged, "com.apple.finder"},
                                                            {focusedPidChanged, "301"},
                                                            {stateChanged, "Finder"}}));
    EXPECT_EQ(subscription.lastAccessedAtMs, 1000);
}

TEST(UIEvents, OnlyChangedSubscribedFieldsProduceEvents) {
    struct Step {
        std::optional<platform::RunningApplication> front;
        std::vector<std::string> expectedTypes; // in any order
    };
    struct Case {
        const char* name;
        std::set<std::string> types;
        std::vector<Step> steps;
    };
    const std::vector<std::string> everyType{focusedAppChanged, focusedPidChanged, stateChanged};
    const std::vector<Case> cases = {
        {"no change, no events", allTypes, {{finder, everyType}, {finder, {}}, {finder, {}}}},
        {"app switch", allTypes, {{finder, everyType}, {notes, everyType}}},
        {"only the app type",
         {focusedAppChanged},
         {{finder, {focusedAppChanged}}, {notes, {focusedAppChanged}}}},
        {"same bundle, new process",
         allTypes,
         {{finder, everyType}, {app(999, "com.apple.finder", "Finder"), {focusedPidChanged}}}},
        {"a name that disappears is silent, its return is not",
         {stateChanged},
         {{finder, {stateChanged}},
          {app(301, "com.apple.finder", std::nullopt), {}},
          {finder, {stateChanged}}}},
        {"losing focus empties bundle and pid",
         allTypes,
         {{finder, everyType}, {std::nullopt, {focusedAppChanged, focusedPidChanged}}}},
        {"names that no field produces never fire",
         {" focused_app_changed", "window_moved"},
         {{finder, {}}, {notes, {}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UIEventSubscription subscription = subscribedTo(c.types);
        int64_t nextEventId = 1;
        for (const Step& step : c.steps) {
            const size_t before = subscription.events.size();
            generateEvents(subscription, takeSnapshot(step.front, step.front), 5, nextEventId,
                           1000);
            std::multiset<std::string> got;
            for (size_t i = before; i < subscription.events.size(); ++i) {
                got.insert(subscription.events[i].eventType);
            }
            const std::vector<std::string>& expected = step.expectedTypes;
            EXPECT_EQ(got, std::multiset<std::string>(expected.begin(), expected.end()));
        }
    }
}

TEST(UIEvents, EmptyBundleAndPidAreReportedAsTheyAre) {
    UIEventSubscription subscription = subscribedTo(allTypes);
    int64_t nextEventId = 1;
    generateEvents(subscription, takeSnapshot(std::nullopt, std::nullopt), 5, nextEventId, 1000);
    ASSERT_EQ(subscription.events.size(), 2u);
    for (const UIEventRecord& record : subscription.events) {
        EXPECT_EQ(record.bundleId, "");
        EXPECT_EQ(record.pid, std::nullopt);
        EXPECT_EQ(record.valuePreview, "");
        EXPECT_EQ(record.toDictionary().contains("pid"), false);
    }
}

TEST(UIEvents, QueueKeepsTheNewestEvents) {
    UIEventSubscription subscription = subscribedTo({focusedAppChanged});
    int64_t nextEventId = 1;
    for (int i = 0; i < 10; ++i) {
        generateEvents(subscription, takeSnapshot(i % 2 ? notes : finder, std::nullopt), i,
                       nextEventId, 4);
    }
    ASSERT_EQ(subscription.events.size(), 4u);
    EXPECT_EQ(subscription.events.front().eventId, 7);
    EXPECT_EQ(subscription.events.back().eventId, 10);
}

TEST(UIEvents, ExpiryIsStrictlyAfterTheTimeToLive) {
    UIEventSubscriptions subscriptions;
    for (int64_t accessed : {0, 1, 2}) {
        UIEventSubscription subscription = subscribedTo({stateChanged});
        subscription.id = "sub_" + std::to_string(accessed);
        subscription.lastAccessedAtMs = accessed;
        subscriptions[subscription.id] = subscription;
    }
    removeExpired(subscriptions, 1'800'001, 1'800'000);
    EXPECT_EQ(subscriptions.size(), 2u);
    EXPECT_FALSE(subscriptions.contains("sub_0"));
    removeExpired(subscriptions, 1'800'002, 1'800'000);
    EXPECT_EQ(subscriptions.size(), 1u);
    EXPECT_TRUE(subscriptions.contains("sub_2"));
}

TEST(UIEvents, AcceptedEventTypes) {
    struct Case {
        const char* json;
        std::vector<std::string> expected;
    } cases[] = {
        {R"(["focused_app_changed","state_changed"])", {"focused_app_changed", "state_changed"}},
        {R"(["a","","a"," b "])", {"a", "a", " b "}},
        {R"([""])", {}},
        {R"([])", {}},
        {R"(["a",1])", {}},
        {R"(["a",null])", {}},
        {R"("focused_app_changed")", {}},
        {R"({"0":"a"})", {}},
        {R"(null)", {}},
    };
    for (const Case& c : cases) {
        Json value = Json::parse(c.json);
        EXPECT_EQ(acceptedEventTypes(&value), c.expected) << c.json;
    }
    EXPECT_TRUE(acceptedEventTypes(nullptr).empty());
}

std::deque<UIEventRecord> queueOfIds(std::vector<int64_t> ids) {
    std::deque<UIEventRecord> queue;
    for (int64_t id : ids) {
        UIEventRecord record;
        record.eventId = id;
        record.eventType = stateChanged;
        queue.push_back(record);
    }
    return queue;
}

TEST(UIEvents, PagesFromTheCursorWithinTheLimit) {
    std::vector<int64_t> many(600);
    for (size_t i = 0; i < many.size(); ++i)
        many[i] = static_cast<int64_t>(i + 1);
    struct Case {
        const char* name;
        std::vector<int64_t> queue;
        std::optional<int64_t> cursor;
        std::optional<int64_t> limit;
        std::vector<int64_t> expectedIds; // first and last when longer than 4
        size_t expectedCount;
        int64_t expectedNext;
    };
    const std::vector<Case> cases = {
        {"empty, no cursor", {}, std::nullopt, std::nullopt, {}, 0, 0},
        {"empty, negative cursor", {}, -5, std::nullopt, {}, 0, 0},
        {"empty, cursor kept", {}, 42, std::nullopt, {}, 0, 42},
        {"after the cursor", {1, 2, 3, 4}, 2, std::nullopt, {3, 4}, 2, 4},
        {"nothing after the cursor", {1, 2}, 2, std::nullopt, {}, 0, 2},
        {"limit 0 gives one", {1, 2, 3}, std::nullopt, 0, {1}, 1, 1},
        {"negative limit gives one", {1, 2, 3}, std::nullopt, -3, {1}, 1, 1},
        {"limit 2", {1, 2, 3}, 0, 2, {1, 2}, 2, 2},
        {"default limit 100", many, std::nullopt, std::nullopt, {1, 100}, 100, 100},
        {"limit capped at 500", many, std::nullopt, 10000, {1, 500}, 500, 500},
        {"out of order queue", {5, 3, 9, 1}, 2, std::nullopt, {3, 5, 9}, 3, 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Page page = readPage(queueOfIds(c.queue), c.cursor, c.limit);
        ASSERT_EQ(page.events.size(), c.expectedCount);
        std::vector<int64_t> ids;
        for (const UIEventRecord& record : page.events)
            ids.push_back(record.eventId);
        if (ids.size() > 4) ids = {ids.front(), ids.back()};
        EXPECT_EQ(ids, c.expectedIds);
        EXPECT_EQ(page.nextCursor, c.expectedNext);
    }
}

TEST(UIEvents, DictionaryHasOnlyPresentKeys) {
    UIEventRecord bare;
    bare.eventId = 3;
    bare.eventType = focusedAppChanged;
    bare.timestampMs = 1765324800123;
    EXPECT_EQ(bare.toDictionary().dump(),
              R"({"eventId":3,"eventType":"focused_app_changed","timestampMs":1765324800123})");
    UIEventRecord full{4, stateChanged, 9, "b", 12, 77, std::vector<std::string>{"0", "1"}, "v"};
    EXPECT_EQ(full.toDictionary().dump(),
              R"({"eventId":4,"eventType":"state_changed","timestampMs":9,"bundleId":"b",)"
              R"("pid":12,"windowId":77,"elementPath":["0","1"],"valuePreview":"v"})");
}

TEST(UIEvents, SubscriptionIdsAreSubAndTheUuidsThirtyTwoHexDigits) {
    const std::regex pattern("sub_[0-9A-F]{32}");
    const std::string id = subscriptionId("0A1B2C3D-4E5F-4A6B-8C7D-8E9FA0B1C2D3");
    EXPECT_EQ(id, "sub_0A1B2C3D4E5F4A6B8C7D8E9FA0B1C2D3");
    EXPECT_TRUE(std::regex_match(id, pattern)) << id;
    EXPECT_NE(id, subscriptionId("0A1B2C3D-4E5F-4A6B-8C7D-8E9FA0B1C2D4"));
}

} // namespace
} // namespace dorvex::UIEvents
