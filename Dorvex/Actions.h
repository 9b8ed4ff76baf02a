#pragma once

// "automation.execute": the action table.
#include "Dorvex/ActionResults.h"
#include "Dorvex/Driver.h"
#include "Dorvex/Transport.h"
#include "platform/types/Json.h"

#include <string_view>

namespace dorvex {

// The context an action type is answered in: its entry's path, or "none" outside the table.
ActionContext actionContext(std::string_view actionType);

// Routes the action under params["action"] to its handler and answers the reply with the
// envelope, now or (a deferred action) later.
void handleAutomationExecute(Driver& driver, const Json& params, Reply& reply);

} // namespace dorvex
