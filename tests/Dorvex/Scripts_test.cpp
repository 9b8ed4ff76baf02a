// The AppleScript action's answers, in-process: the envelope of each kind of ending and the
// time-out rule. Script runs themselves are tested end to end (e2e/Scripts_test.cpp).
#include "Dorvex/Actions.h"
#include "Dorvex/Scripts.h"

#include <cerrno>
#include <gtest/gtest.h>

namespace dorvex {
namespace {

ProcessOutcome outcome(bool completed, bool cancelled, int32_t exitCode, std::string out = "",
                       std::string err = "") {
    ProcessOutcome made;
    made.completed = completed;
    made.cancelled = cancelled;
    made.exitCode = exitCode;
    made.stdoutText = std::move(out);
    made.stderrText = std::move(err);
    return made;
}

// A run that never started, with the runner's text.
ProcessOutcome notStarted(int error, std::string text) {
    ProcessOutcome made = outcome(false, false, -1, "", std::move(text));
    made.startError = error;
    return made;
}

ProcessOutcome withStderrCut(ProcessOutcome made, uint64_t dropped) {
    made.stderrDroppedBytes = dropped;
    return made;
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
        {"interpreter missing is not a time-out",
         {notStarted(ENOENT, "posix_spawn failed: No such file or directory")},
         "execution_failed",
         "interpreter_not_started",
         "The AppleScript interpreter could not be started (posix_spawn failed: No such file or "
         "directory).",
         false},
        {"descriptors ran out",
         {notStarted(EMFILE, "pipe failed: Too many open files")},
         "execution_failed",
         "resources_exhausted",
         "The AppleScript was not run: the system ran out of resources (pipe failed: Too many "
         "open files). Try again when fewer scripts or processes are running.",
         true},
        {"processes ran out",
         {notStarted(EAGAIN, "posix_spawn failed: Resource temporarily unavailable")},
         "execution_failed",
         "resources_exhausted",
         "The AppleScript was not run: the system ran out of resources (posix_spawn failed: "
         "Resource temporarily unavailable). Try again when fewer scripts or processes are "
         "running.",
         true},
        {"cancelled wins over a start failure",
         {[] {
             ProcessOutcome made = notStarted(EMFILE, "pipe failed: Too many open files");
             made.cancelled = true;
             return made;
         }()},
         "execution_failed",
         "cancelled",
         "AppleScript execution was cancelled; the script and its child processes were stopped.",
         false},
        {"error text cut at the kept maximum says so",
         {withStderrCut(outcome(true, false, 1, "", "eeee"), 12)},
         "execution_failed",
         "osascript_failed",
         "eeee\n[standard error cut: 12 more bytes were dropped]",
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

TEST(AppleScriptResponse, CutOutputSaysHowMuchWasDropped) {
    ProcessOutcome cut = outcome(true, false, 0, "yyyy");
    cut.stdoutDroppedBytes = 5000;
    Json envelope =
        appleScriptResponse({cut}, actionContext("desktop_run_applescript"), "com.example.app");
    EXPECT_EQ(envelope["result"], (Json{{"targetBundleId", "com.example.app"},
                                        {"stdout", "yyyy"},
                                        {"stdoutTruncated", true},
                                        {"stdoutDroppedBytes", 5000}}));
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
