// Script runs end to end through the built driver on the simulated desktop, whose interpreter
// is /bin/sh (a script is shell text).
#include "support/DriverProcess.h"

#include <csignal>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace dorvex::testing {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

const char* const runningApp = "com.apple.TextEdit"; // running on the default desktop

Json scriptAction(const std::string& script, std::optional<int64_t> timeout = std::nullopt) {
    Json action{{"actionType", "desktop_run_applescript"},
                {"targetBundleId", runningApp},
                {"script", script}};
    if (timeout) action["timeout"] = *timeout;
    return action;
}

std::string requestLine(const std::string& id, const std::string& method, const Json& params) {
    return Json{{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", params}}.dump();
}

void startScript(DriverProcess& driver, const std::string& id, const std::string& script,
                 std::optional<int64_t> timeout = std::nullopt) {
    driver.send(requestLine(id, "automation.execute", {{"action", scriptAction(script, timeout)}}));
}

// Every answer line until `count` have come, the output ends, or none comes for a while.
// A line that is not JSON (two lines run together) fails the test.
std::vector<Json> readAnswers(DriverProcess& driver, size_t count) {
    std::vector<Json> answers;
    while (answers.size() < count) {
        std::optional<std::string> line = driver.readRawLine(15s);
        if (!line) break;
        Json answer = Json::parse(*line, nullptr, false);
        EXPECT_FALSE(answer.is_discarded()) << "not one whole line: " << line->substr(0, 200);
        answers.push_back(std::move(answer));
    }
    return answers;
}

std::map<std::string, std::vector<Json>> byId(const std::vector<Json>& answers) {
    std::map<std::string, std::vector<Json>> grouped;
    for (const Json& answer : answers)
        grouped[answer.value("id", "")].push_back(answer);
    return grouped;
}

// A shell line that marks, with a builtin only, that the script is under way. Scripts here
// start no process of their own (sleeps are exec'ed), so everything the driver leaves behind
// is its own child.
std::string announce(const std::string& name) {
    return ": > \"$TMPDIR/" + name + "\"; ";
}

bool fileAppears(const fs::path& file) {
    for (int i = 0; i < 500 && !fs::exists(file); ++i)
        std::this_thread::sleep_for(20ms);
    return fs::exists(file);
}

std::vector<std::string> scriptFilesIn(const fs::path& directory) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("nubo-script-", 0) == 0) names.push_back(name);
    }
    return names;
}

// Processes whose parent is `parent`, zombies included.
std::vector<pid_t> childrenOf(pid_t parent) {
    std::vector<pid_t> children;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) return children;
    while (dirent* entry = ::readdir(proc)) {
        std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
        std::string line;
        if (!std::getline(stat, line) || line.rfind(')') == std::string::npos) continue;
        std::istringstream fields(line.substr(line.rfind(')') + 2));
        char state = 0;
        pid_t ppid = 0;
        fields >> state >> ppid;
        if (ppid == parent) children.push_back(std::atoi(entry->d_name));
    }
    ::closedir(proc);
    return children;
}

Json expectedCancelled() {
    return Json{{"code", "cancelled"},
                {"message", "AppleScript execution was cancelled; the script and its child "
                            "processes were stopped."},
                {"retryable", false}};
}

// Makes this test process adopt whatever the driver leaves behind when it exits: its own
// unreaped children and escaped script processes then show up as children of the test.
class ScriptShutdown : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0); }
    void TearDown() override {
        ::prctl(PR_SET_CHILD_SUBREAPER, 0);
        while (::waitpid(-1, nullptr, WNOHANG) > 0) {
        }
    }

    // Starts scripts that announce themselves and wait 30 s (one ignoring SIGTERM), and
    // waits until each is under way.
    void startLongScripts(DriverProcess& driver) {
        for (const std::string id : {"long-1", "long-2", "stubborn"}) {
            const std::string trap = id == "stubborn" ? "trap '' TERM; " : "";
            startScript(driver, id, trap + announce("started-" + id) + "exec sleep 30", 60000);
        }
        for (const std::string id : {"long-1", "long-2", "stubborn"}) {
            ASSERT_TRUE(fileAppears(fs::path(driver.directory()) / "tmp" / ("started-" + id)));
        }
    }

    // Every run answered "cancelled" once, before the output ended.
    void expectAllCancelled(DriverProcess& driver) {
        std::map<std::string, std::vector<Json>> answers = byId(readAnswers(driver, 4));
        EXPECT_EQ(answers.size(), 3u);
        for (const std::string id : {"long-1", "long-2", "stubborn"}) {
            ASSERT_EQ(answers[id].size(), 1u) << id;
            EXPECT_EQ(answers[id][0]["result"]["error"], expectedCancelled()) << id;
        }
    }

    // After the driver has exited: nothing of it is left over.
    void expectNothingLeft(DriverProcess& driver) {
        EXPECT_TRUE(scriptFilesIn(fs::path(driver.directory()) / "tmp").empty());
        for (pid_t pid : childrenOf(::getpid())) {
            std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
            std::string line;
            std::getline(stat, line);
            ADD_FAILURE() << "the driver left this behind: " << line;
        }
    }
};

TEST(ScriptAction, InvalidRequestsAreAnsweredAtOnceByTheFirstFault) {
    struct Case {
        const char* name;
        Json action;
        const char* status;
        const char* code;
        const char* message;
        bool retryable;
    } cases[] = {
        {"nothing given",
         {{"actionType", "desktop_run_applescript"}},
         "invalid_params",
         "invalid_input",
         "targetBundleId is required.",
         false},
        {"blank bundle id",
         {{"actionType", "desktop_run_applescript"}, {"targetBundleId", "  "}, {"script", "x"}},
         "invalid_params",
         "invalid_input",
         "targetBundleId is required.",
         false},
        {"script is a number",
         {{"actionType", "desktop_run_applescript"}, {"targetBundleId", "nobody"}, {"script", 5}},
         "invalid_params",
         "invalid_input",
         "script is required.",
         false},
        {"script of blanks and line ends",
         {{"actionType", " desktop_run_applescript "},
          {"targetBundleId", runningApp},
          {"script", " \n\t\r\n "}},
         "invalid_params",
         "invalid_input",
         "script is required.",
         false},
        {"target not running",
         {{"actionType", "desktop_run_applescript"},
          {"targetBundleId", " com.example.absent "},
          {"script", "echo hi"}},
         "target_app_not_running",
         "target_app_not_running",
         "Target app com.example.absent is not running.",
         true},
    };
    DriverProcess driver;
    for (const Case& c : cases) {
        Json envelope = driver.execute(c.action);
        EXPECT_EQ(envelope["ok"], false) << c.name;
        EXPECT_EQ(envelope["status"], c.status) << c.name;
        EXPECT_EQ(envelope["actionType"], "desktop_run_applescript") << c.name;
        EXPECT_EQ(envelope["pathUsed"], "applescript") << c.name;
        EXPECT_EQ(envelope["error"],
                  (Json{{"code", c.code}, {"message", c.message}, {"retryable", c.retryable}}))
            << c.name;
    }
    EXPECT_TRUE(scriptFilesIn(fs::path(driver.directory()) / "tmp").empty());
}

TEST(ScriptAction, RunAnswersLaterUnderItsOwnIdWhileOtherRequestsAreServed) {
    DriverProcess driver;
    // The script waits for a file that the test creates only after the ping's answer.
    startScript(driver, "run-1",
                "while [ ! -e \"$TMPDIR/go\" ]; do sleep 0.02; done; printf 'done\\n'");
    Json ping = driver.request("system.ping");
    EXPECT_EQ(ping["id"], "t1");
    EXPECT_EQ(ping["result"]["ok"], true);

    std::ofstream(fs::path(driver.directory()) / "tmp" / "go").put('\n');
    std::optional<Json> answer = driver.readLine(15s);
    ASSERT_TRUE(answer);
    EXPECT_EQ((*answer)["id"], "run-1");
    EXPECT_EQ((*answer)["result"],
              (Json{{"ok", true},
                    {"status", "ok"},
                    {"actionType", "desktop_run_applescript"},
                    {"pathUsed", "applescript"},
                    {"summary", "AppleScript executed successfully."},
                    {"result", {{"targetBundleId", runningApp}, {"stdout", "done\n"}}}}));
    EXPECT_TRUE(childrenOf(driver.pid()).empty()) << "the interpreter was not reaped";
    EXPECT_TRUE(scriptFilesIn(fs::path(driver.directory()) / "tmp").empty());
}

TEST(ScriptAction, FailingScriptAndTimeOutAreRetryableFailures) {
    DriverProcess driver;
    startScript(driver, "fails", "echo 'syntax error: nope' >&2; exit 3");
    startScript(driver, "slow", "exec sleep 30", 0); // 0 is raised to the 1 s minimum
    std::map<std::string, std::vector<Json>> answers = byId(readAnswers(driver, 2));
    ASSERT_EQ(answers["fails"].size(), 1u);
    EXPECT_EQ(answers["fails"][0]["result"]["error"], (Json{{"code", "osascript_failed"},
                                                            {"message", "syntax error: nope\n"},
                                                            {"retryable", true}}));
    ASSERT_EQ(answers["slow"].size(), 1u);
    EXPECT_EQ(answers["slow"][0]["result"]["error"],
              (Json{{"code", "timeout"},
                    {"message", "AppleScript execution timed out."},
                    {"retryable", true}}));
    EXPECT_TRUE(childrenOf(driver.pid()).empty());
}

TEST(ScriptAction, SameIdWhileRunningIsRefusedAndTheFirstRunGoesOn) {
    DriverProcess driver;
    const fs::path tmp = fs::path(driver.directory()) / "tmp";
    startScript(driver, "dup",
                announce("started") +
                    "while [ ! -e \"$TMPDIR/go\" ]; do sleep 0.02; done; echo first");
    ASSERT_TRUE(fileAppears(tmp / "started"));
    startScript(driver, "dup", "echo second");
    std::optional<Json> refusal = driver.readLine();
    ASSERT_TRUE(refusal);
    EXPECT_EQ((*refusal)["id"], "dup");
    EXPECT_EQ((*refusal)["result"]["status"], "invalid_params");
    EXPECT_EQ((*refusal)["result"]["error"], (Json{{"code", "invalid_input"},
                                                   {"message", "Request dup is already running."},
                                                   {"retryable", false}}));

    std::ofstream(tmp / "go").put('\n');
    std::optional<Json> answer = driver.readLine(15s);
    ASSERT_TRUE(answer);
    EXPECT_EQ((*answer)["id"], "dup");
    EXPECT_EQ((*answer)["result"]["result"]["stdout"], "first\n");
}

TEST(ScriptAction, CancelStopsARunningScriptAndOnlyThat) {
    DriverProcess driver;
    startScript(driver, "victim", announce("started") + "exec sleep 30", 60000);
    ASSERT_TRUE(fileAppears(fs::path(driver.directory()) / "tmp" / "started"));

    driver.send(requestLine("c1", "automation.cancel", {{"requestId", " victim "}}));
    std::map<std::string, std::vector<Json>> answers = byId(readAnswers(driver, 2));
    ASSERT_EQ(answers["c1"].size(), 1u);
    EXPECT_EQ(answers["c1"][0]["result"], (Json{{"cancelled", true}}));
    ASSERT_EQ(answers["victim"].size(), 1u);
    EXPECT_EQ(answers["victim"][0]["result"]["status"], "execution_failed");
    EXPECT_EQ(answers["victim"][0]["result"]["error"], expectedCancelled());

    // Answered runs, and ids that never ran, have nothing to cancel.
    for (const char* id : {"victim", "never-started"}) {
        EXPECT_EQ(driver.request("automation.cancel", {{"requestId", id}})["result"],
                  (Json{{"cancelled", false}}))
            << id;
    }
    EXPECT_TRUE(childrenOf(driver.pid()).empty());
    EXPECT_TRUE(scriptFilesIn(fs::path(driver.directory()) / "tmp").empty());
}

TEST(ScriptAction, InterpreterThatCannotStartIsNotATimeOut) {
    Json scenario = Json::parse(exampleScenario("default.json"));
    scenario["scriptInterpreterPath"] = "/nonexistent/interpreter";
    DriverOptions options;
    options.scenario = scenario.dump();
    DriverProcess driver(options);
    Json envelope = driver.execute(scriptAction("echo hi"));
    EXPECT_EQ(envelope["error"]["code"], "interpreter_not_started");
    EXPECT_EQ(envelope["error"]["message"], "The AppleScript interpreter could not be started "
                                            "(posix_spawn failed: No such file or directory).");
    EXPECT_EQ(envelope["error"]["retryable"], false);
    EXPECT_TRUE(scriptFilesIn(fs::path(driver.directory()) / "tmp").empty());
}

TEST(ScriptAction, OutputPastTheKeptMaximumIsCutAndSaysSo) {
    DriverProcess driver;
    // 4 MiB kept of 5,000,000 bytes; the rest read and dropped.
    Json envelope = driver.execute(scriptAction("yes | head -c 5000000", 20000));
    ASSERT_EQ(envelope["status"], "ok") << envelope.dump().substr(0, 500);
    const Json& result = envelope["result"];
    EXPECT_EQ(result["stdout"].get<std::string>().size(), 4194304u);
    EXPECT_EQ(result["stdout"].get<std::string>().substr(0, 4), "y\ny\n");
    EXPECT_EQ(result["stdoutTruncated"], true);
    EXPECT_EQ(result["stdoutDroppedBytes"], 5000000 - 4194304);
    EXPECT_FALSE(driver.execute(scriptAction("echo short"))["result"].contains("stdoutTruncated"));
}

TEST_F(ScriptShutdown, EndOfInputCancelsEveryRunBeforeExitingWithZero) {
    DriverProcess driver;
    startLongScripts(driver);
    driver.closeInput();
    expectAllCancelled(driver);
    EXPECT_EQ(driver.waitExit(10s), 0);
    expectNothingLeft(driver);
}

TEST_F(ScriptShutdown, SigtermCancelsEveryRunThenEndsByTheSignal) {
    DriverProcess driver;
    startLongScripts(driver);
    driver.kill(SIGTERM);
    expectAllCancelled(driver);
    EXPECT_EQ(driver.waitExit(10s), 128 + SIGTERM);
    expectNothingLeft(driver);
}

// 200 runs at once with mixed lengths, half of them cancelled, then end of input: every
// request is answered exactly once on a whole line, and nothing is left behind.
TEST_F(ScriptShutdown, TwoHundredRunsCancelledAndShutDown) {
    DriverProcess driver;
    constexpr int runs = 200;
    const char* scripts[] = {"echo quick", "exec sleep 0.2", "exec sleep 1", "exec sleep 30"};
    std::string batch;
    for (int i = 0; i < runs; ++i) {
        batch += requestLine("run-" + std::to_string(i), "automation.execute",
                             {{"action", scriptAction(scripts[i % 4], 60000)}}) +
                 "\n";
    }
    for (int i = 0; i < runs; i += 2) {
        batch += requestLine("cancel-" + std::to_string(i), "automation.cancel",
                             {{"requestId", "run-" + std::to_string(i)}}) +
                 "\n";
    }
    driver.sendRaw(batch);
    driver.closeInput();

    std::vector<Json> lines = readAnswers(driver, runs + runs / 2 + 1);
    EXPECT_EQ(driver.waitExit(15s), 0);
    std::map<std::string, std::vector<Json>> answers = byId(lines);
    EXPECT_EQ(lines.size(), size_t{runs + runs / 2});
    for (int i = 0; i < runs; ++i) {
        const std::string id = "run-" + std::to_string(i);
        ASSERT_EQ(answers[id].size(), 1u) << id;
        const Json& envelope = answers[id][0]["result"];
        if (envelope["ok"] == true) {
            EXPECT_NE(i % 4, 3) << id << " cannot have finished a 30 s sleep";
            EXPECT_EQ(envelope["result"]["stdout"], i % 4 == 0 ? "quick\n" : "") << id;
        } else {
            EXPECT_EQ(envelope["error"], expectedCancelled()) << id;
        }
        if (i % 2 == 0) {
            ASSERT_EQ(answers["cancel-" + std::to_string(i)].size(), 1u);
            EXPECT_TRUE(
                answers["cancel-" + std::to_string(i)][0]["result"]["cancelled"].is_boolean());
        }
    }
    expectNothingLeft(driver);
}

} // namespace
} // namespace dorvex::testing
