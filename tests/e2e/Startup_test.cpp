// What the built driver does before its request loop: the binding DORVEX_PLATFORM chooses, and
// the paths the simulated desktop reads from the environment.
#include "support/DriverProcess.h"
#include "support/TempDir.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/wait.h>

namespace dorvex::testing {
namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs the driver with the environment assignments, no input, and its two outputs in files.
struct DriverRun {
    int status = -1; // the exit status; -1 when it did not exit
    std::string out;
    std::string err;
};
DriverRun runDriver(const TempDir& dir, const std::string& assignments,
                    const std::string& args = "") {
    const std::string command = assignments + " '" DORVEX_BINARY "' " + args + " </dev/null >'" +
                                dir.file("out") + "' 2>'" + dir.file("err") + "'";
    const int raw = std::system(command.c_str());
    DriverRun run;
    if (raw != -1 && WIFEXITED(raw)) run.status = WEXITSTATUS(raw);
    run.out = readFile(dir.file("out"));
    run.err = readFile(dir.file("err"));
    return run;
}

TEST(Startup, AnUnknownPlatformEndsWithOneLineNamingTheChoices) {
    TempDir dir;
    const DriverRun run = runDriver(dir, "DORVEX_PLATFORM=nonsense");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    ASSERT_FALSE(run.err.empty());
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
    EXPECT_NE(run.err.find("DORVEX_PLATFORM=nonsense"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("built with: sim"), std::string::npos) << run.err;
}

TEST(Startup, TheSimulatedDesktopByNameOrByDefaultServes) {
    for (const char* requested : {"sim", ""}) {
        SCOPED_TRACE(requested);
        DriverOptions options;
        options.env = {{"DORVEX_PLATFORM", requested}};
        DriverProcess driver(options);
        EXPECT_EQ(driver.request("system.ping")["result"]["ok"], true);
        EXPECT_EQ(driver.execute({{"actionType", "desktop_list_apps"}})["ok"], true);
        driver.closeInput();
        EXPECT_EQ(driver.waitExit(), 0);
        EXPECT_EQ(driver.standardError(), "");
    }
}

// The environment names the scenario and the counters file of the driver binary; the screen
// capture probe is the shortest run of it.
TEST(Startup, SimulatedDesktopReadsItsScenarioAndStatsPathsFromTheEnvironment) {
    TempDir dir;
    const std::string scenario = dir.file("scenario.json");
    for (bool granted : {true, false}) {
        SCOPED_TRACE(granted);
        std::ofstream(scenario, std::ios::trunc)
            << Json{{"permissions", {{"screenCapture", granted}}}}.dump();
        const std::string stats = dir.file(granted ? "granted.json" : "refused.json");
        const DriverRun run = runDriver(
            dir, "DORVEX_SIM_SCENARIO='" + scenario + "' DORVEX_SIM_STATS='" + stats + "'",
            "--probe-screen-capture");
        EXPECT_EQ(run.out + run.err, ""); // the simulator writes nothing of its own
        EXPECT_EQ(run.status, granted ? 42 : 1);
        EXPECT_EQ(Json::parse(readFile(stats))["calls"]["preflightScreenCaptureAccess"], 1);
    }
}

} // namespace
} // namespace dorvex::testing
