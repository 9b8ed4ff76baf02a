#pragma once

// Every action handler: takes the trimmed action type and the whole action object, and
// answers an action result envelope. One source file per subsystem defines them.
#include "Dorvex/Driver.h"
#include "DorvexCore/Json.h"

#include <string>

namespace dorvex {

Json handleListApps(Driver& driver, const std::string& actionType, const Json& action);
Json handleListWindows(Driver& driver, const std::string& actionType, const Json& action);
Json handleListMonitors(Driver& driver, const std::string& actionType, const Json& action);
Json handleCaptureScreen(Driver& driver, const std::string& actionType, const Json& action);
Json handleSubscribeUIEvents(Driver& driver, const std::string& actionType, const Json& action);
Json handleGetUIEvents(Driver& driver, const std::string& actionType, const Json& action);
Json handleGetUiTree(Driver& driver, const std::string& actionType, const Json& action);
Json handleFindElements(Driver& driver, const std::string& actionType, const Json& action);
Json handleInvokeElementAction(Driver& driver, const std::string& actionType, const Json& action);
Json handleSetElementValue(Driver& driver, const std::string& actionType, const Json& action);

} // namespace dorvex
