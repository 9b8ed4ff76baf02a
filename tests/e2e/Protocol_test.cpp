// The request loop end to end: the built driver on the default simulated desktop.
#include "support/DriverProcess.h"

#include <csignal>
#include <gtest/gtest.h>

namespace dorvex::testing {
namespace {

using namespace std::chrono_literals;

TEST(Protocol, PingAndCapabilities) {
    DriverProcess driver;
    Json ping = driver.request("system.ping");
    EXPECT_EQ(ping["jsonrpc"], "2.0");
    EXPECT_EQ(ping["id"], "t1");
    EXPECT_EQ(ping["result"]["ok"], true);
    EXPECT_EQ(ping["result"]["platform"], "darwin");
    EXPECT_TRUE(ping["result"]["timestamp"].is_number_integer());
    EXPECT_GT(ping["result"]["timestamp"].get<int64_t>(), 1'700'000'000'000);

    Json capabilities = driver.request("system.capabilities")["result"];
    EXPECT_EQ(capabilities["protocolVersion"], 1);
    EXPECT_EQ(capabilities["supportedActionTypes"],
              Json::parse(R"(["desktop_list_apps","desktop_list_windows","desktop_list_monitors",
                "desktop_get_ui_tree","desktop_find_elements","desktop_invoke_element_action",
                "desktop_set_element_value","desktop_subscribe_ui_events","desktop_get_ui_events",
                "desktop_capture_screen","desktop_run_applescript","desktop_send_input"])"));
    EXPECT_EQ(capabilities["supportsObservers"], true);
    EXPECT_EQ(capabilities["supportsScreenCapture"], true);
    EXPECT_EQ(capabilities["supportsAppleEvents"], true);
}

TEST(Protocol, LinesThatAreNotRequestsGetNoAnswerAndDoNotDisturbTheNext) {
    DriverProcess driver;
    const std::string deep(100000, '[');
    const std::vector<std::string> junk = {
        "",
        "   \t  ",
        "not json",
        R"([{"id":"x","method":"system.ping"}])",
        R"("system.ping")",
        "17",
        R"({"id":1,"method":"system.ping"})",
        R"({"id":"x"})",
        R"({"id":"x","method":"system.ping"} extra)",
        std::string(R"({"id":"x","method":"system.ping")") + '\0' + "}",
        "{\"id\":\"x\",\"method\":\"system.p\xFFng\"}",
        R"({"id":"x","method":"m","params":)" + deep + std::string(100000, ']') + "}",
        deep,
        R"({"id":"x","method":"system.ping","params":")" + std::string(10 << 20, 'a'),
    };
    for (const std::string& line : junk)
        driver.send(line);
    Json ping = driver.request("system.ping");
    EXPECT_EQ(ping["id"], "t1");
    EXPECT_EQ(ping["result"]["ok"], true);
    // Nothing else was answered, and nothing is pending.
    EXPECT_FALSE(driver.readRawLine(200ms));
}

TEST(Protocol, ErrorLines) {
    DriverProcess driver;
    Json unknown = driver.request(" system.ping");
    ASSERT_TRUE(unknown.contains("error"));
    EXPECT_EQ(unknown["error"],
              Json({{"code", -32601}, {"message", "Method not found:  system.ping"}}));
    EXPECT_FALSE(unknown.contains("result"));

    for (Json params : {Json::object(), Json{{"requestId", "   "}}, Json{{"requestId", 5}}}) {
        Json cancel = driver.request("automation.cancel", params);
        EXPECT_EQ(cancel["error"], Json({{"code", -32602}, {"message", "requestId is required."}}))
            << params.dump();
    }
    EXPECT_EQ(driver.request("automation.cancel", {{"requestId", "nope"}})["result"],
              Json({{"cancelled", false}}));
}

TEST(Protocol, IdsAreEchoedExactlyAndLinesAreSingle) {
    DriverProcess driver;
    driver.send(R"({"id":" line\nfeed \u00e9 ","method":"system.ping","params":null})");
    std::optional<std::string> raw = driver.readRawLine(10s);
    ASSERT_TRUE(raw);
    EXPECT_EQ(raw->find('\n'), std::string::npos);
    EXPECT_EQ(Json::parse(*raw)["id"], " line\nfeed \u00e9 ");
}

TEST(ActionDispatch, DispatcherFailures) {
    DriverProcess driver;
    const Json invalid =
        Json::parse(R"({"ok":false,"status":"invalid_params","actionType":"unknown",
        "pathUsed":"none","error":{"code":"invalid_input","message":"action.actionType is required.",
        "retryable":false}})");
    for (Json params :
         {Json::object(), Json{{"action", "desktop_list_apps"}},
          Json{{"action", {{"actionType", "   "}}}}, Json{{"action", {{"actionType", 3}}}}}) {
        EXPECT_EQ(driver.request("automation.execute", params)["result"], invalid) << params.dump();
    }
    Json unknown = driver.execute({{"actionType", "  desktop_fly  "}});
    EXPECT_EQ(unknown, Json::parse(R"({"ok":false,"status":"not_implemented",
        "actionType":"desktop_fly","pathUsed":"none","error":{"code":"unsupported_action",
        "message":"Action desktop_fly is not implemented.","retryable":false}})"));
}

TEST(ActionDispatch, ListMonitorsWithPaddedType) {
    DriverProcess driver;
    Json monitors = driver.execute({{"actionType", " desktop_list_monitors\t"}});
    EXPECT_EQ(monitors["ok"], true);
    EXPECT_EQ(monitors["status"], "ok");
    EXPECT_EQ(monitors["actionType"], "desktop_list_monitors");
    EXPECT_EQ(monitors["pathUsed"], "screen_capture");
    EXPECT_EQ(monitors["summary"], "Enumerated displays.");
    ASSERT_TRUE(monitors["result"].is_array());
    ASSERT_EQ(monitors["result"].size(), 1u);
    EXPECT_EQ(monitors["result"][0]["bounds"],
              Json({{"x", 0.0}, {"y", 0.0}, {"width", 1440.0}, {"height", 900.0}}));
    EXPECT_EQ(monitors["result"][0]["pixelWidth"], 2880);
    EXPECT_EQ(monitors["result"][0]["pixelHeight"], 1800);
}

TEST(Lifecycle, EndOfInputExitsZeroAndWritesNothingElse) {
    DriverProcess driver;
    driver.closeInput();
    EXPECT_EQ(driver.waitExit(10s), 0);
    EXPECT_FALSE(driver.readRawLine(100ms));
    EXPECT_EQ(driver.standardError(), "");
}

TEST(Lifecycle, LastLineWithoutLineFeedIsServedBeforeExit) {
    DriverProcess driver;
    driver.sendRaw(R"({"id":"last","method":"system.ping"})");
    driver.closeInput();
    std::optional<Json> answer = driver.readLine();
    ASSERT_TRUE(answer);
    EXPECT_EQ((*answer)["id"], "last");
    EXPECT_EQ(driver.waitExit(10s), 0);
}

TEST(Lifecycle, SigtermEndsTheProcessByTheSignal) {
    DriverProcess driver;
    EXPECT_EQ(driver.request("system.ping")["result"]["ok"], true);
    driver.kill(SIGTERM);
    EXPECT_EQ(driver.waitExit(10s), 128 + SIGTERM);
}

TEST(Lifecycle, ProbeArgumentAnswersThroughTheExitStatusOnly) {
    DriverProcess granted({.scenario = R"({"permissions":{"screenCapture":true}})",
                           .env = {},
                           .args = {"--probe-screen-capture"}});
    EXPECT_EQ(granted.waitExit(10s), 42);
    EXPECT_FALSE(granted.readRawLine(100ms));
    DriverProcess refused({.scenario = R"({"permissions":{"screenCapture":false}})",
                           .env = {},
                           .args = {"--probe-screen-capture"}});
    EXPECT_EQ(refused.waitExit(10s), 1);
}

} // namespace
} // namespace dorvex::testing
