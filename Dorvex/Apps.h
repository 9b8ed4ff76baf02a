#pragma once

// The running-application list, read through the process-wide bounded read so that a
// workspace that stops answering cannot hold the request loop.
#include "DorvexCore/RunningApps.h"
#include "platform/Workspace.h"

#include <vector>

namespace dorvex {

// The workspace's running apps that have a bundle identifier. Safe on any thread.
std::vector<RunningAppRecord> readRunningApps(platform::Workspace& workspace);

} // namespace dorvex
