// The AppleScript action's answers, in-process: the envelope of each kind of ending and the
// time-out rule. Script runs themselves are tested end to end (e2e/Scripts_test.cpp).
#include "Dorvex/Actions.h"
#include "Dorvex/Scripts.h"

#include <gtest/gtest.h>

namespace dorvex {
namespace {

ProcessOutcome outcome(bool completed, bool cancelled, int32_t exitCode, std::string out = "",
                       std::string err = "") {
    return ProcessOutcome{completed, cancelled, exitCode, std::move(out), std::move(err)};
}

TEST(AppleScriptResponse, AnswersEachKindOfEnding) {
    struct Case {
        const char* name;
        ScriptRunResult result;
        const char* status;
        const char* code; // empty for success
        const char* message;
        bool retryable;
    } cases[] = {
        {"file not written", ScriptRunResult{}, "execution_failed", "io_failed",
         "Failed to create AppleScript file.", false},
        {"cancelled wins over a clean exit",
         {outcome(true, true, 0, "out")},
         "execution_failed",
         "cancelled",
         "AppleScript execution was cancelled; the script and its child processes were stopped.",
         false},
        {"cancelled before start",
         {outcome(false, true, -1)},
         "execution_failed",
         "cancelled",
         "AppleScript execution was cancelled; the script and its child processes were stopped.",
         false},
        {"non-zero exit keeps the error text as read",
         {outcome(true, false, 1, "", " bad\n")},
         "execution_failed",
         "osascript_failed",
         " bad\n",
         true},
        {"non-zero exit without error text",
         {outcome(true, false, 2)},
         "execution_failed",
         "osascript_failed",
         "osascript failed.",
         true},
        {"stopped after the time-out",
         {outcome(false, false, 15)},
         "execution_failed",
         "timeout",
         "AppleScript execution timed out.",
         true},
        {"interpreter could not start",
         {outcome(false, false, -1, "", "posix_spawn failed: No such file or directory")},
         "execution_failed",
         "timeout",
         "AppleScript execution timed out.",
         true},
    };
    for (const Case& c : cases) {
        Json envelope = appleScriptResponse(c.result, actionContext("desktop_run_applescript"),
                                            "com.example.app");
        EXPECT_EQ(envelope["ok"], false) << c.name;
        EXPECT_EQ(envelope["status"], c.status) << c.name;
        EXPECT_EQ(envelope["actionType"], "desktop_run_applescript") << c.name;
        EXPECT_EQ(envelope["pathUsed"], "applescript") << c.name;
        EXPECT_EQ(envelope["error"],
                  (Json{{"code", c.code}, {"message", c.message}, {"retryable", c.retryable}}))
            << c.name;
        EXPECT_FALSE(envelope.contains("result")) << c.name;
    }
}

TEST(AppleScriptResponse, SuccessCarriesTheOutputUnchanged) {
    Json envelope =
        appleScriptResponse({outcome(true, false, 0, "  two\nlines\n", "warning")},
                            actionContext("desktop_run_applescript"), "com.example.app");
    EXPECT_EQ(
        envelope,
        (Json{{"ok", true},
              {"status", "ok"},
              {"actionType", "desktop_run_applescript"},
              {"pathUsed", "applescript"},
              {"summary", "AppleScript executed successfully."},
              {"result", {{"targetBundleId", "com.example.app"}, {"stdout", "  two\nlines\n"}}}}));
}

TEST(AppleScriptTimeout, DefaultsAndClamps) {
    struct Case {
        Json value; // null stands for an absent key
        int64_t expected;
    } cases[] = {
        {nullptr, 30000}, {"abc", 30000},   {0, 1000},         {500, 1000},
        {1000, 1000},     {1001, 1001},     {"2500", 2500},    {2500.9, 2500},
        {-7, 1000},       {300000, 300000}, {1000000, 300000}, {true, 1000},
    };
    for (const Case& c : cases) {
        const Json* value = c.value.is_null() ? nullptr : &c.value;
        EXPECT_EQ(appleScriptTimeoutMs(value), c.expected) << c.value.dump();
    }
}

} // namespace
} // namespace dorvex
