#pragma once

// "automation.execute": the action table and the action result envelope.
#include "Dorvex/Driver.h"
#include "DorvexCore/Json.h"

#include <string>

namespace dorvex {

// Which platform mechanism served an action ("pathUsed").
enum class ActionPath { ax, observer, screenCapture, appleScript, cgEvent, none };

const char* wireName(ActionPath path);

Json makeSuccess(const std::string& actionType, ActionPath pathUsed, const std::string& summary,
                 Json result);

// A failure envelope: the four shared keys and the error object. Handlers may add keys.
Json makeFailure(const std::string& actionType, ActionPath pathUsed, const std::string& status,
                 const std::string& code, const std::string& message, bool retryable);

// Routes the action under params["action"] to its handler. Never throws.
Json handleAutomationExecute(Driver& driver, const Json& params);

} // namespace dorvex
