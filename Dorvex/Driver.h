#pragma once

// The driver's state and the context every handler receives.
#include "Dorvex/ProcessWide.h"
#include "DorvexCore/DriverProtocol.h"
#include "DorvexCore/FreshPermissionProbe.h"
#include "DorvexCore/UIEvents.h"
#include "platform/Platform.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace dorvex {

// Limits of the UI event subscriptions, fixed for the process.
inline constexpr int64_t maxSubscriptions = 50;
inline constexpr int64_t maxEventsPerSubscription = 1000;
inline constexpr int64_t subscriptionTTLms = 1'800'000;

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
    FreshProbeSchedule freshProbeSchedule;
    UIEventSubscriptions subscriptions;
    int64_t nextEventId = 1;
};

using Clock = std::function<std::chrono::system_clock::time_point()>;

// What a handler works with: the platform's facets, what the process shares, the driver state
// and the clock.
struct Driver {
    platform::Platform platform;
    ProcessWide& shared;
    DriverState driverState{};
    Clock now = [] { return std::chrono::system_clock::now(); };

    int64_t nowMs() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(now().time_since_epoch())
            .count();
    }
};

} // namespace dorvex
