#pragma once

// The method table and the dispatcher of one request.
#include "Dorvex/Driver.h"
#include "DorvexCore/DriverProtocol.h"
#include "DorvexCore/Json.h"

#include <optional>
#include <string>

namespace dorvex {

// The line that answers a request now, or nothing when the answer is written later by the
// request's own thread (a script run).
std::optional<Json> answerRequest(Driver& driver, const DriverRequest& request);

// Answers one request: writes its line now, or leaves it to the deferred writer.
void handleRequest(Driver& driver, const DriverRequest& request);

} // namespace dorvex
