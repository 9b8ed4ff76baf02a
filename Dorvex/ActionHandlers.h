#pragma once

// Every action handler: takes the action's context (its trimmed type and path) and the whole
// action object. Most answer an envelope now; a deferred one answers through the reply, now or
// later. One source file per subsystem defines them.
#include "Dorvex/ActionResults.h"
#include "Dorvex/Driver.h"
#include "Dorvex/Transport.h"
#include "platform/types/Json.h"

namespace dorvex {

Json handleListApps(Driver& driver, const ActionContext& context, const Json& action);
Json handleListWindows(Driver& driver, const ActionContext& context, const Json& action);
Json handleListMonitors(Driver& driver, const ActionContext& context, const Json& action);
Json handleCaptureScreen(Driver& driver, const ActionContext& context, const Json& action);
Json handleSubscribeUIEvents(Driver& driver, const ActionContext& context, const Json& action);
Json handleGetUIEvents(Driver& driver, const ActionContext& context, const Json& action);
Json handleGetUiTree(Driver& driver, const ActionContext& context, const Json& action);
Json handleFindElements(Driver& driver, const ActionContext& context, const Json& action);
Json handleInvokeElementAction(Driver& driver, const ActionContext& context, const Json& action);
Json handleSetElementValue(Driver& driver, const ActionContext& context, const Json& action);
Json handleSendInput(Driver& driver, const ActionContext& context, const Json& action);

// Deferred: answers a refusal now, or starts a script run that answers when it ends.
void startAppleScript(Driver& driver, const ActionContext& context, const Json& action,
                      Reply& reply);

} // namespace dorvex
