#pragma once

// What the simulated desktop remembers for tests and benchmarks: how often each platform call
// was made, how often each element's value was read, and the events it was asked to deliver
// (posted input, performed actions, set values, opened links, launches). Events go to memory
// and, when a log file is named, one JSON line each to that file.
#include "platform/sim/SimFile.h"
#include "platform/types/Json.h"

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace dorvex::platform::sim {

// An element as the counters name it.
struct SimElementLabel {
    int32_t pid = 0;
    std::string id, role, subrole, identifier, title;
    auto key() const { return std::tie(pid, id, role, subrole, identifier, title); }
    friend bool operator<(const SimElementLabel& a, const SimElementLabel& b) {
        return a.key() < b.key();
    }
};

// {"pid", "role", "title", "identifier"}: how event lines name an element.
Json labelFields(const SimElementLabel& label);

class SimRecorder {
public:
    // The in-memory event list keeps only the newest events, so long benchmark runs stay small.
    static constexpr size_t maxEventsInMemory = 4096;

    explicit SimRecorder(const std::optional<std::string>& eventLogPath);

    // A call the app answers (a round trip) or one the driver's process answers alone, such as
    // comparing two element references (`local`).
    void countCall(const char* name, bool local = false);
    void countValueRead(const SimElementLabel& element);
    void recordEvent(Json event);

    // {"roundTrips":N,"localCalls":N,"calls":{name:N},"valueReads":[{"pid",..,"count":N}]}
    Json stats() const;
    std::vector<Json> events() const;
    // Writes stats() to the file, replacing it; false when it cannot be written.
    bool writeStats(const std::string& path) const;

private:
    mutable std::mutex mutex_;
    File log_;
    uint64_t roundTrips_ = 0;
    uint64_t localCalls_ = 0;
    std::map<std::string, uint64_t, std::less<>> calls_;
    std::map<SimElementLabel, uint64_t> valueReads_;
    std::deque<Json> events_;
};

} // namespace dorvex::platform::sim
