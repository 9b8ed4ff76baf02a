#pragma once

// Focus-change events for polling subscribers: snapshots of the frontmost application, the
// events a change of snapshot produces, the bounded queue, expiry, and reading from a cursor.
#include "platform/types/Json.h"
#include "platform/types/Workspace.h"

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace dorvex {

struct UIEventRecord {
    int64_t eventId = 0;
    std::string eventType;
    int64_t timestampMs = 0;
    std::optional<std::string> bundleId;
    std::optional<int64_t> pid;
    std::optional<int64_t> windowId;
    std::optional<std::vector<std::string>> elementPath;
    std::optional<std::string> valuePreview;

    // Absent values are absent keys, never null.
    Json toDictionary() const;
};

// Field name to value; see UIEvents::takeSnapshot.
using UISnapshot = std::map<std::string, std::string>;

struct UIEventSubscription {
    std::string id;
    std::set<std::string> eventTypes;
    std::optional<std::string> appBundleId; // kept, never consulted
    std::deque<UIEventRecord> events;       // oldest first
    UISnapshot lastSnapshot;
    int64_t lastAccessedAtMs = 0;
};

using UIEventSubscriptions = std::map<std::string, UIEventSubscription>;

namespace UIEvents {

inline constexpr const char* focusedAppChanged = "focused_app_changed";
inline constexpr const char* focusedPidChanged = "focused_pid_changed";
inline constexpr const char* stateChanged = "state_changed";

inline constexpr int64_t defaultLimit = 100;
inline constexpr int64_t maxLimit = 500;

// "sub_" and the 32 hexadecimal digits of a UUID's text form (its hyphens dropped).
std::string subscriptionId(std::string_view uuidText);

// The snapshot of the frontmost application: "frontmostBundleId" and "frontmostPid" from the
// first answer (empty strings when there is none), "frontmostName" from the second, only when
// it has a name.
UISnapshot takeSnapshot(const std::optional<platform::RunningApplication>& first,
                        const std::optional<platform::RunningApplication>& second);

// The event type a changed snapshot field produces.
std::string eventTypeForField(const std::string& field);

// A base-10 integer with an optional sign, the whole text; nothing otherwise.
std::optional<int64_t> parsePid(const std::string& text);

// Queues one event per subscribed field whose value is new or changed, numbered from
// nextEventId; keeps the newest maxEvents; remembers the snapshot and the time.
void generateEvents(UIEventSubscription& subscription, const UISnapshot& snapshot, int64_t nowMs,
                    int64_t& nextEventId, size_t maxEvents);

// Removes the subscriptions idle for more than ttlMs.
void removeExpired(UIEventSubscriptions& subscriptions, int64_t nowMs, int64_t ttlMs);

// The accepted event types of a subscribe: the non-empty strings of a JSON array that holds
// only strings, in order with duplicates; empty for anything else.
std::vector<std::string> acceptedEventTypes(const Json* value);

// What one poll returns: up to limit events with an id above the cursor, by ascending id, and
// the cursor to pass next.
struct Page {
    std::vector<UIEventRecord> events;
    int64_t nextCursor = 0;
};
Page readPage(const std::deque<UIEventRecord>& events, std::optional<int64_t> cursor,
              std::optional<int64_t> limit);

} // namespace UIEvents
} // namespace dorvex
