#include "DorvexCore/FreshPermissionProbe.h"

namespace dorvex {

std::optional<FreshProbeSchedule::Request>
FreshProbeSchedule::requestNamed(std::optional<std::string_view> name) {
    if (name == "throttled") return Request::throttled;
    if (name == "now") return Request::now;
    return std::nullopt;
}

bool FreshProbeSchedule::shouldProbe(std::optional<Request> request, TimePoint now) {
    if (!request) return false;
    if (*request == Request::throttled && lastProbeAt_) {
        const auto elapsed = now - *lastProbeAt_;
        // A wall clock set back counts as past the interval: otherwise the probe would stay
        // throttled for as long as the clock was moved.
        if (elapsed >= TimePoint::duration::zero() && elapsed < minimumInterval) return false;
    }
    lastProbeAt_ = now;
    return true;
}

} // namespace dorvex
