#pragma once

// How long "app.launch" waits for the workspace, and what it answers from what arrived.
#include "platform/types/Json.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace dorvex::AppLaunch {

inline constexpr int64_t defaultWaitMs = 10'000;
inline constexpr int64_t minimumWaitMs = 1'000;
inline constexpr int64_t maximumWaitMs = 30'000;

// "waitForLaunchMs" read as a whole number: absent (or not a number) gives 10000, otherwise
// clamped to 1000…30000.
int64_t waitMs(const Json* value);

// What the open completion delivered before the wait ended.
struct Delivered {
    std::optional<int32_t> pid;
    std::optional<std::string> error;
};

// The result object: an error wins over an app; with neither, the first running instance
// (`runningPid`, asked only then) or a time-out.
Json result(const std::string& bundleId, bool activate, const Delivered& delivered,
            const std::function<std::optional<int32_t>()>& runningPid);

} // namespace dorvex::AppLaunch
