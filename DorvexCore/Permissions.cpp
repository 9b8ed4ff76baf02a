#include "DorvexCore/Permissions.h"

#include "DorvexCore/Coercions.h"
#include "DorvexCore/DriverError.h"

namespace dorvex {
namespace {

struct KindName {
    PermissionKind kind;
    std::string_view name;
};

constexpr std::array<KindName, 5> kindNames = {{
    {PermissionKind::accessibility, "accessibility"},
    {PermissionKind::screenCapture, "screen_capture"},
    {PermissionKind::listenEvent, "listen_event"},
    {PermissionKind::postEvent, "post_event"},
    {PermissionKind::automation, "automation"},
}};

PermissionStatus grantedOrNot(bool granted) {
    return granted ? PermissionStatus::granted : PermissionStatus::notGranted;
}

struct ScreenCaptureAnswer {
    PermissionStatus status;
    bool restart = false;
};

ScreenCaptureAnswer screenCaptureStatus(const PermissionReads& reads, bool& requestedWithoutGrant) {
    if (reads.screenCaptureGranted()) {
        requestedWithoutGrant = false;
        return {PermissionStatus::granted};
    }
    // A fresh process that has the grant while this one does not: only a restart brings it in.
    if (reads.freshScreenCaptureProbe && reads.freshScreenCaptureProbe().value_or(false)) {
        return {PermissionStatus::needsRestart, true};
    }
    return {requestedWithoutGrant ? PermissionStatus::needsRestart : PermissionStatus::notGranted};
}

} // namespace

std::string_view wireName(PermissionKind kind) {
    for (const KindName& entry : kindNames) {
        if (entry.kind == kind) return entry.name;
    }
    return "";
}

std::optional<PermissionKind> permissionKindNamed(std::string_view name) {
    for (const KindName& entry : kindNames) {
        if (entry.name == name) return entry.kind;
    }
    return std::nullopt;
}

std::optional<PermissionKind> permissionKindOf(const Json* value) {
    if (!value || !value->is_string()) return std::nullopt;
    return permissionKindNamed(value->get_ref<const std::string&>());
}

std::string_view wireName(PermissionStatus status) {
    switch (status) {
    case PermissionStatus::granted:
        return "granted";
    case PermissionStatus::notGranted:
        return "not_granted";
    case PermissionStatus::needsRestart:
        return "needs_restart";
    case PermissionStatus::unknown:
        break;
    }
    return "unknown";
}

std::vector<PermissionTarget> defaultPermissionTargets() {
    return {{PermissionKind::accessibility, "desktop:global", std::nullopt},
            {PermissionKind::screenCapture, "screen:capture", std::nullopt},
            {PermissionKind::listenEvent, "input:listen", std::nullopt},
            {PermissionKind::postEvent, "input:synthesize", std::nullopt}};
}

std::string defaultScope(const std::optional<std::string>& targetBundleId) {
    return targetBundleId ? "app:" + *targetBundleId : "desktop:global";
}

PermissionTarget normalizeTarget(const Json& params) {
    std::optional<PermissionKind> kind = permissionKindOf(field(params, "kind"));
    if (!kind) throw DriverError::invalidParams("target.kind is required");
    PermissionTarget target{*kind, "", stringValue(field(params, "targetBundleId"))};
    target.scope =
        stringValue(field(params, "scope")).value_or(defaultScope(target.targetBundleId));
    return target;
}

AutomationPermissionOutcome
automationPermissionOutcome(std::optional<int32_t> firstRunningPid,
                            const std::function<int32_t(int32_t pid)>& determine) {
    if (!firstRunningPid) return {PermissionStatus::unknown, processNotFoundStatus, true};
    const int32_t code = determine(*firstRunningPid);
    PermissionStatus status = PermissionStatus::unknown;
    if (code == 0) status = PermissionStatus::granted;
    if (code == eventNotPermittedStatus || code == wouldRequireConsentStatus) {
        status = PermissionStatus::notGranted;
    }
    return {status, code, false};
}

Json permissionItem(const PermissionTarget& target, const PermissionReads& reads,
                    bool& requestedScreenCaptureWithoutGrant) {
    ScreenCaptureAnswer answer{PermissionStatus::unknown};
    switch (target.kind) {
    case PermissionKind::accessibility:
        answer.status = grantedOrNot(reads.accessibilityTrusted());
        break;
    case PermissionKind::screenCapture:
        answer = screenCaptureStatus(reads, requestedScreenCaptureWithoutGrant);
        break;
    case PermissionKind::listenEvent:
        answer.status = grantedOrNot(reads.listenEventGranted());
        break;
    case PermissionKind::postEvent:
        answer.status = grantedOrNot(reads.postEventGranted());
        break;
    case PermissionKind::automation:
        if (target.targetBundleId) answer.status = reads.automationStatus(*target.targetBundleId);
        break;
    }
    Json item{{"kind", wireName(target.kind)},
              {"scope", target.scope},
              {"status", wireName(answer.status)}};
    if (target.targetBundleId) item["targetBundleId"] = *target.targetBundleId;
    if (answer.restart) item["restart"] = "driver";
    return item;
}

std::vector<std::string> settingsURLs(std::string_view target) {
    static constexpr std::string_view currentPane =
        "x-apple.systempreferences:com.apple.settings.PrivacySecurity.extension";
    static constexpr std::string_view olderPane =
        "x-apple.systempreferences:com.apple.preference.security";
    static constexpr std::array<std::string_view, 4> anchors = {
        "Privacy_Accessibility", "Privacy_ScreenCapture", "Privacy_Automation",
        "Privacy_ListenEvent"};
    std::vector<std::string> urls;
    for (std::string_view anchor : anchors) {
        if (anchor != target) continue;
        urls.push_back(std::string(currentPane) + "?" + std::string(anchor));
        urls.push_back(std::string(olderPane) + "?" + std::string(anchor));
    }
    urls.emplace_back(currentPane);
    urls.emplace_back(olderPane);
    return urls;
}

} // namespace dorvex
