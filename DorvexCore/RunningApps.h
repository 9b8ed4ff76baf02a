#pragma once

// The rows of the running-application list that the driver reports.
#include "platform/types/Json.h"
#include "platform/types/Workspace.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dorvex {

struct RunningAppRecord {
    std::optional<std::string> name; // the localized name
    std::string bundleId;
    int32_t pid = 0;
    bool isActive = false;
    bool isHidden = false;

    // Exactly "name" (null when absent), "bundleId", "pid", "isActive", "isHidden".
    Json json() const;
    friend bool operator==(const RunningAppRecord&, const RunningAppRecord&) = default;
};

// One record per app that has a bundle identifier, in the workspace's order.
std::vector<RunningAppRecord>
runningAppRecords(const std::vector<platform::RunningApplication>& apps);

} // namespace dorvex
