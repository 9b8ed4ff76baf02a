#pragma once

// Applications as the workspace reports them.
#include <cstdint>
#include <optional>
#include <string>

namespace dorvex::platform {

enum class ActivationPolicy : int32_t { regular = 0, accessory = 1, prohibited = 2 };

// NSRunningApplication's properties.
struct RunningApplication {
    int32_t pid = 0;
    std::optional<std::string> bundleIdentifier;
    std::optional<std::string> localizedName;
    std::optional<double> launchDate; // seconds since 1970
    bool isActive = false;
    bool isHidden = false;
    ActivationPolicy activationPolicy = ActivationPolicy::regular;
    std::optional<std::string> bundleURL;     // file URL of the bundle
    std::optional<std::string> executableURL; // file URL of the executable
};

struct OpenApplicationResult {
    std::optional<RunningApplication> app;
    std::optional<std::string> error; // the error's description when the open failed
};

} // namespace dorvex::platform
