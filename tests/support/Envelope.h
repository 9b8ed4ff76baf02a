#pragma once

// Matchers for action result envelopes: EXPECT_THAT(answer, FailsWith("invalid_params",
// "invalid_input")) says more, and prints more on failure, than comparing three fields.
#include "platform/types/Json.h"

#include <gmock/gmock.h>
#include <string>

namespace dorvex::testing {

// A success envelope: "ok" true, "status" "ok", and the action type given.
MATCHER_P(SucceedsAs, actionType, "succeeds as " + std::string(actionType)) {
    *result_listener << "the answer is " << arg.dump();
    return arg.is_object() && arg.value("ok", false) && arg.value("status", "") == "ok" &&
           arg.value("actionType", "") == std::string(actionType) && arg.contains("result") &&
           !arg.contains("error");
}

// A failure envelope with this "status" and "error.code".
MATCHER_P2(FailsWith, status, code,
           "fails with status " + std::string(status) + " and code " + std::string(code)) {
    *result_listener << "the answer is " << arg.dump();
    return arg.is_object() && arg.contains("ok") && arg["ok"] == false &&
           arg.value("status", "") == std::string(status) && arg.contains("error") &&
           arg["error"].value("code", "") == std::string(code) && !arg.contains("result");
}

} // namespace dorvex::testing
