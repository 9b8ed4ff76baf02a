#pragma once

// The fresh screen-capture probe: the driver starts a copy of its own executable, which answers
// through its exit status whether a process started now may capture the screen. This process
// sees a grant only after a restart, so a "yes" from the copy means a restart is needed.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string_view>

namespace dorvex {

// When the probe may run. A plain value kept in the driver's state; the caller passes the time.
class FreshProbeSchedule {
public:
    using TimePoint = std::chrono::system_clock::time_point;

    static constexpr std::chrono::seconds minimumInterval{30};

    enum class Request { throttled, now };

    // "throttled" or "now"; nothing for anything else, including no text.
    static std::optional<Request> requestNamed(std::optional<std::string_view> name);

    // Whether a probe may run at `now`; remembers it when it may. No request: never.
    bool shouldProbe(std::optional<Request> request, TimePoint now);

private:
    std::optional<TimePoint> lastProbeAt_;
};

namespace FreshPermissionProbe {

inline constexpr std::string_view argument = "--probe-screen-capture";
inline constexpr int64_t timeoutMs = 2000;
inline constexpr int64_t outputSettleMs = 100;
inline constexpr int32_t grantedExitCode = 42;

constexpr int32_t exitCode(bool granted) {
    return granted ? grantedExitCode : 1;
}

// What a finished probe child said: granted only when it exited by itself, uncancelled, with 42.
constexpr bool granted(bool completed, bool cancelled, int32_t exitCode) {
    return completed && !cancelled && exitCode == grantedExitCode;
}

} // namespace FreshPermissionProbe
} // namespace dorvex
