#pragma once

// The running-application list, read through the process-wide bounded read so that a
// workspace that stops answering cannot hold the request loop.
#include "Dorvex/Driver.h"
#include "DorvexOS/BoundedRead.h"
#include "platform/types/Workspace.h"

#include <string>
#include <vector>

namespace dorvex {

using AppInventoryRead = BoundedReadOutcome<std::vector<platform::RunningApplication>>;

// The workspace's running applications, waited for at most about twice the app-inventory
// time-out.
AppInventoryRead readAppInventory(Driver& driver);

// What to tell the controller when the read did not finish.
std::string appInventoryUnfinishedMessage(const AppInventoryRead& outcome, int64_t timeoutMs);

} // namespace dorvex
