#pragma once

// The process around a driver, shared by the executables that serve one (the driver's line
// protocol and the MCP server): the binding, the probe argument, the SIGTERM watcher, the
// process-wide state, and the stop of running scripts at the end. Built with the binding list,
// not into the driver library, since it chooses a binding.
#include "Dorvex/Driver.h"
#include "Dorvex/Transport.h"

#include <functional>
#include <memory>

namespace dorvex {

// Serves through `serve` (which returns at end of input), then stops the running scripts and
// exits with status 0. With "--probe-screen-capture" it only answers through its exit status.
[[noreturn]] void runDriverProcess(int argc, char** argv, std::shared_ptr<Transport> transport,
                                   const std::function<void(Driver&)>& serve);

} // namespace dorvex
