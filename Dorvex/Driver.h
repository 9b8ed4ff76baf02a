#pragma once

// The driver's state and the context every handler receives.
#include "DorvexCore/DriverProtocol.h"
#include "DorvexCore/Json.h"
#include "platform/Platform.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace dorvex {

// Process-wide limits, fixed at start-up.
inline constexpr int64_t maxSubscriptions = 50;
inline constexpr int64_t maxEventsPerSubscription = 1000;
inline constexpr int64_t subscriptionTTLms = 1'800'000;
inline constexpr int64_t appInventoryTimeoutMs = 5000;

struct DriverCapabilities {
    int protocolVersion = DriverProtocol::protocolVersion;
    std::vector<std::string> supportedActionTypes{DriverProtocol::supportedActionTypes.begin(),
                                                  DriverProtocol::supportedActionTypes.end()};
    bool supportsObservers = true;
    bool supportsScreenCapture = true;
    bool supportsAppleEvents = true;
};

// Owned by the main thread and touched only there.
struct DriverState {
    DriverCapabilities capabilities;
    bool requestedScreenCaptureWithoutGrant = false;
    int64_t nextEventId = 1;
};

using Clock = std::function<std::chrono::system_clock::time_point()>;

// What a handler works with: the platform binding, the driver state and the clock.
struct Driver {
    platform::Platform& platform;
    DriverState driverState;
    Clock now = [] { return std::chrono::system_clock::now(); };
    // How long "desktop_list_apps" waits for the running-app read; tests shorten it.
    int64_t appInventoryTimeoutMs = dorvex::appInventoryTimeoutMs;

    int64_t nowMs() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(now().time_since_epoch())
            .count();
    }
};

} // namespace dorvex
