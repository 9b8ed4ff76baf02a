#pragma once

// The privacy permissions the driver needs, how a target names one, how each status is decided
// from the operating system's answers, and where System Settings shows them.
#include "platform/types/Json.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dorvex {

enum class PermissionKind { accessibility, screenCapture, listenEvent, postEvent, automation };

std::string_view wireName(PermissionKind kind);
// Exact match (case-sensitive, untrimmed); nothing for any other text.
std::optional<PermissionKind> permissionKindNamed(std::string_view name);
// The kind a request parameter names: a JSON string holding a wire name, else nothing.
std::optional<PermissionKind> permissionKindOf(const Json* value);

enum class PermissionStatus { granted, notGranted, needsRestart, unknown };

std::string_view wireName(PermissionStatus status);

struct PermissionTarget {
    PermissionKind kind = PermissionKind::accessibility;
    std::string scope;
    std::optional<std::string> targetBundleId;
    friend bool operator==(const PermissionTarget&, const PermissionTarget&) = default;
};

// The four targets "permissions.status" checks when it is given none.
std::vector<PermissionTarget> defaultPermissionTargets();

// The scope a target gets when none is given: "app:<bundle id>", else "desktop:global".
std::string defaultScope(const std::optional<std::string>& targetBundleId);

// One target object of "permissions.status"; throws DriverError "target.kind is required".
PermissionTarget normalizeTarget(const Json& params);

// What the Apple Events automation check answered.
struct AutomationPermissionOutcome {
    PermissionStatus status = PermissionStatus::unknown;
    int32_t osStatus = 0;
    bool targetNotRunning = false;
    friend bool operator==(const AutomationPermissionOutcome&,
                           const AutomationPermissionOutcome&) = default;
};

inline constexpr int32_t processNotFoundStatus = -600;
inline constexpr int32_t eventNotPermittedStatus = -1743;
inline constexpr int32_t wouldRequireConsentStatus = -1744;

// The check for the first running instance of the target (nothing when none runs); `determine`
// asks the platform about that pid and answers its status code.
AutomationPermissionOutcome
automationPermissionOutcome(std::optional<int32_t> firstRunningPid,
                            const std::function<int32_t(int32_t pid)>& determine);

// The operating system's answers a status item is built from. Each is asked only when the
// target's kind needs it.
struct PermissionReads {
    std::function<bool()> accessibilityTrusted;
    std::function<bool()> screenCaptureGranted;
    std::function<bool()> listenEventGranted;
    std::function<bool()> postEventGranted;
    std::function<PermissionStatus(const std::string& bundleId)> automationStatus;
    // Whether a freshly started copy of the driver may capture the screen; asked only when this
    // process may not. Nothing when no probe ran (not allowed now, or no executable known).
    std::function<std::optional<bool>()> freshScreenCaptureProbe;
};

// The item object of one target. `requestedScreenCaptureWithoutGrant` is the driver's memory of
// an ungranted screen-capture request; a granted check clears it.
Json permissionItem(const PermissionTarget& target, const PermissionReads& reads,
                    bool& requestedScreenCaptureWithoutGrant);

// The System Settings links for a privacy anchor, in the order they are tried.
std::vector<std::string> settingsURLs(std::string_view target);

} // namespace dorvex
