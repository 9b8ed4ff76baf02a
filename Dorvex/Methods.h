#pragma once

// The method table and the dispatcher of one request.
#include "Dorvex/Driver.h"
#include "DorvexCore/DriverProtocol.h"

namespace dorvex {

// Answers one request through a reply to its id: now, or (a script run) when the run ends.
void handleRequest(Driver& driver, const DriverRequest& request);

} // namespace dorvex
