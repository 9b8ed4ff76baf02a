// "desktop_subscribe_ui_events" and "desktop_get_ui_events": focus changes as numbered events,
// observed only when a subscriber asks.
#include "Dorvex/UIEvents.h"

#include "Dorvex/ActionHandlers.h"
#include "DorvexCore/Coercions.h"
#include "DorvexOS/Uuid.h"

namespace dorvex {
void generateSubscriptionEvents(Driver& driver, UIEventSubscription& subscription) {
    const int64_t now = driver.nowMs();
    // Two reads, as the name is asked for separately; focus may move in between.
    platform::Workspace& workspace = driver.platform.workspace;
    std::optional<platform::RunningApplication> first = workspace.frontmostApplication();
    std::optional<platform::RunningApplication> second = workspace.frontmostApplication();
    UIEvents::generateEvents(subscription, UIEvents::takeSnapshot(first, second), now,
                             driver.driverState.nextEventId,
                             static_cast<size_t>(maxEventsPerSubscription));
}

void cleanupSubscriptions(Driver& driver) {
    UIEvents::removeExpired(driver.driverState.subscriptions, driver.nowMs(), subscriptionTTLms);
}

Json handleSubscribeUIEvents(Driver& driver, const ActionContext& context, const Json& action) {
    cleanupSubscriptions(driver);
    UIEventSubscriptions& subscriptions = driver.driverState.subscriptions;
    // A full table is reported before anything about the parameters.
    if (static_cast<int64_t>(subscriptions.size()) >= maxSubscriptions) {
        return context.failure(failures::tooManySubscriptions());
    }
    std::optional<std::string> appBundleId = stringValue(field(action, "appBundleId"));
    std::vector<std::string> eventTypes = UIEvents::acceptedEventTypes(field(action, "eventTypes"));
    if (eventTypes.empty()) {
        return context.failure(failures::invalidInput("eventTypes is required."));
    }
    UIEventSubscription created{UIEvents::subscriptionId(uuid::newUpper()),
                                {eventTypes.begin(), eventTypes.end()},
                                appBundleId,
                                {},
                                {},
                                driver.nowMs()};
    const std::string id = created.id;
    UIEventSubscription& subscription = subscriptions[id] = std::move(created);
    generateSubscriptionEvents(driver, subscription);
    const std::string summary =
        "Subscribed to " + std::to_string(eventTypes.size()) + " UI event types.";
    return context.success(
        summary,
        Json{{"subscriptionId", id}, {"eventTypes", eventTypes}, {"createdAt", driver.nowMs()}});
}

Json handleGetUIEvents(Driver& driver, const ActionContext& context, const Json& action) {
    cleanupSubscriptions(driver);
    std::optional<std::string> id = stringValue(field(action, "subscriptionId"));
    auto found =
        id ? driver.driverState.subscriptions.find(*id) : driver.driverState.subscriptions.end();
    if (found == driver.driverState.subscriptions.end()) {
        return context.failure(failures::subscriptionNotFound());
    }
    generateSubscriptionEvents(driver, found->second);
    UIEvents::Page page = UIEvents::readPage(
        found->second.events, intValue(field(action, "cursor")), intValue(field(action, "limit")));
    Json events = Json::array();
    for (const UIEventRecord& record : page.events)
        events.push_back(record.toDictionary());
    const std::string summary = "Returned " + std::to_string(page.events.size()) + " UI events.";
    return context.success(summary, Json{{"subscriptionId", *id},
                                         {"events", std::move(events)},
                                         {"nextCursor", page.nextCursor}});
}

} // namespace dorvex
