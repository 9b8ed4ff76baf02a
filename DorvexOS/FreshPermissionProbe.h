#pragma once

// Runs the fresh screen-capture probe: a copy of the driver's own executable started with the
// probe argument, answering through its exit status.
#include "DorvexCore/FreshPermissionProbe.h"

#include <string>

namespace dorvex::FreshPermissionProbe {

// True exactly when the child exited by itself within the time-out with the granted status.
// Its output is ignored; a child that cannot start or hangs counts as not granted.
bool screenCaptureGranted(const std::string& executablePath, int64_t timeoutMs);

} // namespace dorvex::FreshPermissionProbe
