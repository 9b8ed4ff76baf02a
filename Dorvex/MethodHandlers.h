#pragma once

// Method handlers: each takes the request and answers a result object, or throws DriverError
// for bad parameters. A handler answers nothing only when its answer is written later.
#include "Dorvex/Driver.h"
#include "DorvexCore/DriverProtocol.h"
#include "DorvexCore/Json.h"

#include <optional>

namespace dorvex {

std::optional<Json> handlePing(Driver& driver, const DriverRequest& request);
std::optional<Json> handleCapabilities(Driver& driver, const DriverRequest& request);
std::optional<Json> handleExecute(Driver& driver, const DriverRequest& request);
std::optional<Json> handleCancel(Driver& driver, const DriverRequest& request);

} // namespace dorvex
