#pragma once

#include "Dorvex/Driver.h"

namespace dorvex {

// Passes of the main run loop given to pending platform events before each request.
inline constexpr int runLoopPassesPerRequest = 64;

// Gives the platform's pending events their passes; done before each request.
void drainPendingEvents(platform::Workspace& workspace);

// Reads requests from the descriptor line by line and answers them, until end of input.
void runRequestLoop(Driver& driver, int inputFd);

} // namespace dorvex
