#pragma once

// The running-application list, read through one process-wide bounded read so that a
// workspace that stops answering cannot hold the request loop.
#include "DorvexCore/BoundedRead.h"
#include "DorvexCore/RunningApps.h"
#include "platform/Platform.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dorvex {

namespace Shared {
// Created on first use: at most 3 callers turned away as busy, stuck after 60 seconds.
BoundedRead<std::vector<RunningAppRecord>>& appInventory();
} // namespace Shared

// The workspace's running apps that have a bundle identifier. Safe on any thread.
std::vector<RunningAppRecord> readRunningApps(platform::Platform& platform);

// The app-inventory time-out for this run: DORVEX_APP_INVENTORY_TIMEOUT_MS when it holds a
// whole number of milliseconds from 0 to 600000 (tests shorten the wait this way), else the
// fixed 5000.
int64_t appInventoryTimeoutFromEnvironment();

} // namespace dorvex
