#include "DorvexCore/UIEvents.h"

#include <algorithm>
#include <charconv>

namespace dorvex {

Json UIEventRecord::toDictionary() const {
    Json object{{"eventId", eventId}, {"eventType", eventType}, {"timestampMs", timestampMs}};
    if (bundleId) object["bundleId"] = *bundleId;
    if (pid) object["pid"] = *pid;
    if (windowId) object["windowId"] = *windowId;
    if (elementPath) object["elementPath"] = *elementPath;
    if (valuePreview) object["valuePreview"] = *valuePreview;
    return object;
}

namespace UIEvents {

std::string subscriptionId(std::string_view uuidText) {
    std::string id = "sub_";
    for (char c : uuidText) {
        if (c != '-') id += c;
    }
    return id;
}

UISnapshot takeSnapshot(const std::optional<platform::RunningApplication>& first,
                        const std::optional<platform::RunningApplication>& second) {
    UISnapshot snapshot;
    snapshot["frontmostBundleId"] = first ? first->bundleIdentifier.value_or("") : "";
    snapshot["frontmostPid"] = first ? std::to_string(first->pid) : "";
    if (second && second->localizedName) snapshot["frontmostName"] = *second->localizedName;
    return snapshot;
}

std::string eventTypeForField(const std::string& field) {
    if (field == "frontmostBundleId") return focusedAppChanged;
    if (field == "frontmostPid") return focusedPidChanged;
    return stateChanged;
}

std::optional<int64_t> parsePid(const std::string& text) {
    std::string_view digits = text;
    const bool plus = !digits.empty() && digits.front() == '+';
    if (plus) digits.remove_prefix(1);
    // from_chars takes a minus sign itself, but a plus sign must be followed by a digit.
    if (digits.empty() || (plus && (digits.front() < '0' || digits.front() > '9'))) {
        return std::nullopt;
    }
    int64_t value = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return value;
}

void generateEvents(UIEventSubscription& subscription, const UISnapshot& snapshot, int64_t nowMs,
                    int64_t& nextEventId, size_t maxEvents) {
    auto valueOf = [&](const char* key) -> std::optional<std::string> {
        auto found = snapshot.find(key);
        if (found == snapshot.end()) return std::nullopt;
        return found->second;
    };
    const std::optional<std::string> bundleId = valueOf("frontmostBundleId");
    const std::optional<std::string> pidText = valueOf("frontmostPid");
    const std::optional<int64_t> pid = pidText ? parsePid(*pidText) : std::nullopt;
    for (const auto& [key, value] : snapshot) {
        auto previous = subscription.lastSnapshot.find(key);
        if (previous != subscription.lastSnapshot.end() && previous->second == value) continue;
        std::string type = eventTypeForField(key);
        if (!subscription.eventTypes.contains(type)) continue;
        UIEventRecord record;
        record.eventId = nextEventId++;
        record.eventType = std::move(type);
        record.timestampMs = nowMs;
        record.bundleId = bundleId;
        record.pid = pid;
        record.valuePreview = value;
        subscription.events.push_back(std::move(record));
    }
    while (subscription.events.size() > maxEvents)
        subscription.events.pop_front();
    subscription.lastSnapshot = snapshot;
    subscription.lastAccessedAtMs = nowMs;
}

void removeExpired(UIEventSubscriptions& subscriptions, int64_t nowMs, int64_t ttlMs) {
    std::erase_if(subscriptions,
                  [&](const auto& entry) { return nowMs - entry.second.lastAccessedAtMs > ttlMs; });
}

std::vector<std::string> acceptedEventTypes(const Json* value) {
    std::vector<std::string> types;
    if (value == nullptr || !value->is_array()) return types;
    for (const Json& element : *value) {
        if (!element.is_string()) return {};
        const auto& text = element.get_ref<const std::string&>();
        if (!text.empty()) types.push_back(text);
    }
    return types;
}

Page readPage(const std::deque<UIEventRecord>& events, std::optional<int64_t> cursor,
              std::optional<int64_t> limit) {
    const int64_t after = std::max<int64_t>(cursor.value_or(0), 0);
    const auto count =
        static_cast<size_t>(std::clamp<int64_t>(limit.value_or(defaultLimit), 1, maxLimit));
    auto byId = [](const UIEventRecord& a, const UIEventRecord& b) {
        return a.eventId < b.eventId;
    };
    auto take = [&](auto begin, auto end) {
        auto first = std::upper_bound(
            begin, end, after, [](int64_t id, const UIEventRecord& r) { return id < r.eventId; });
        Page page{{}, after};
        for (auto it = first; it != end && page.events.size() < count; ++it) {
            page.events.push_back(*it);
        }
        if (!page.events.empty()) page.nextCursor = page.events.back().eventId;
        return page;
    };
    // Queues are filled in id order, so a poll copies only what it returns.
    if (std::is_sorted(events.begin(), events.end(), byId))
        return take(events.begin(), events.end());
    std::vector<UIEventRecord> sorted(events.begin(), events.end());
    std::stable_sort(sorted.begin(), sorted.end(), byId);
    return take(sorted.begin(), sorted.end());
}

} // namespace UIEvents
} // namespace dorvex
