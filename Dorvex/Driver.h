#pragma once

// The driver's state and the context every handler receives.
#include "Dorvex/ProcessWide.h"
#include "DorvexCore/DriverProtocol.h"
#include "DorvexCore/FreshPermissionProbe.h"
#include "DorvexCore/UIEvents.h"
#include "DorvexCore/WalkLimits.h"
#include "platform/Platform.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
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
// Seconds of a monotonic clock, and a pause of some seconds: what the click sequence waits with.
using UptimeClock = std::function<double()>;
using Sleeper = std::function<void(double seconds)>;

// What a handler works with: the platform's facets, what the process shares, the driver state
// and the clocks. Tests replace the clocks and the sleeper so that nothing waits for real.
struct Driver {
    platform::Platform platform;
    ProcessWide& shared;
    DriverState driverState{};
    Clock now = [] { return std::chrono::system_clock::now(); };
    UptimeClock uptime = [] {
        using namespace std::chrono;
        return duration<double>(steady_clock::now().time_since_epoch()).count();
    };
    Sleeper sleep = [](double seconds) {
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    };
    // Elements one UI tree read or one search may visit. The fuzz target makes it smaller, so
    // that an input on a looping desktop reaches it in milliseconds rather than a second.
    int64_t walkVisits = WalkLimits::requestVisits;

    int64_t nowMs() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(now().time_since_epoch())
            .count();
    }
};

} // namespace dorvex
