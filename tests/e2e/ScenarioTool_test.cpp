// dorvex-scenario, the scenario author's tool, run as a program: its reports, its statuses,
// and a render that shows what the driver's capture of the same display shows.
#include "support/DriverProcess.h"
#include "support/PngFiles.h"
#include "support/TempDir.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/wait.h>

namespace dorvex::testing {
namespace {

const std::string examples = std::string(DORVEX_SOURCE_DIR) + "/examples/scenarios";

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string contents(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

ToolRun runTool(const std::string& arguments) {
    TempDir directory;
    const std::string command = std::string(DORVEX_SCENARIO_BINARY) + " " + arguments + " >" +
                                directory.file("out") + " 2>" + directory.file("err");
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, contents(directory.file("out")),
            contents(directory.file("err"))};
}

TEST(ScenarioTool, ChecksExamplesCleanAndNamesEveryProblem) {
    ToolRun clean = runTool("check " + examples + "/default.json");
    EXPECT_EQ(clean.status, 0);
    EXPECT_NE(clean.out.find(": ok: 1 displays, 2 running apps"), std::string::npos) << clean.out;
    EXPECT_EQ(clean.err, "");

    TempDir directory;
    const std::string file = directory.file("broken.json");
    std::ofstream(file) << R"({"displays": [{"id": 1, "bounds": {"x": 0, "y": 0, "width": 8,
        "height": 6}, "contentImage": 3}], "windws": []})";
    ToolRun broken = runTool("check " + file);
    EXPECT_EQ(broken.status, 1);
    EXPECT_EQ(broken.out, file + ": /displays/0/contentImage: expected a string\n" + file +
                              ": /windws: unknown key\n" + file + ": 2 problems\n");
}

TEST(ScenarioTool, RefusesWhatItCannotUse) {
    struct Case {
        std::string arguments;
        int status;
    } cases[] = {
        {"", 2},
        {"check", 2},
        {"check /nonexistent/scenario.json", 2},
        {"render " + examples + "/default.json 0 /dev/null", 2},
        {"render " + examples + "/default.json 9 /dev/null", 1}, // no such display
        {"frobnicate x", 2},
    };
    for (const Case& c : cases)
        EXPECT_EQ(runTool(c.arguments).status, c.status) << c.arguments;
}

TEST(ScenarioTool, RendersWhatTheDriversCaptureShows) {
    TempDir directory;
    const std::string rendered = directory.file("display.png");
    ToolRun render = runTool("render " + examples + "/pictures.json 1 " + rendered);
    ASSERT_EQ(render.status, 0) << render.out << render.err;

    DriverOptions options;
    options.env = {{"DORVEX_SIM_SCENARIO", examples + "/pictures.json"}};
    DriverProcess driver(options);
    Json capture = driver.execute({{"actionType", "desktop_capture_screen"}, {"monitorId", 1}});
    ASSERT_EQ(capture["ok"], true) << capture;

    std::optional<DecodedPng> ours = decodePngFile(rendered);
    std::optional<DecodedPng> theirs =
        decodePngFile(capture["result"]["filePath"].get<std::string>());
    ASSERT_TRUE(ours && theirs);
    EXPECT_EQ(ours->width, 480u);
    EXPECT_EQ(ours->height, 300u);
    EXPECT_TRUE(ours->rgba == theirs->rgba) << "the render differs from the capture";
}

} // namespace
} // namespace dorvex::testing
