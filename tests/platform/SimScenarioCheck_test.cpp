// The scenario checker: every problem of a scenario with its JSON pointer, while the driver's
// own load still stops at the first with the same message.
#include "platform/sim/SimScenario.h"
#include "support/TempDir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace dorvex::platform::sim {
namespace {

using Problems = std::vector<std::pair<std::string, std::string>>; // pointer, expected

Problems problemsOf(const SimScenarioCheck& check) {
    Problems problems;
    for (const ScenarioProblem& problem : check.problems)
        problems.emplace_back(problem.pointer, problem.expected);
    return problems;
}

// Problems in separate displays, apps, sections and keys, two unknown keys in one object (reported
// in the file's order), and a bundle id (dots) as a key.
const char* const manyProblems = R"({
  "displays": [
    {"id": 1, "bounds": {"x": 0, "y": 0, "width": 800, "height": 600}, "contentImage": 7},
    {"id": 2, "bounds": {"x": 800, "y": 0, "width": 800, "height": 600}, "sclae": 2, "mian": true}
  ],
  "apps": [
    {"pid": 10, "bundleId": "com.example.one"},
    {"bundleId": "com.example.two"}
  ],
  "appleEvents": {"com.example.one": {"code": "granted"}},
  "cursor": {"mode": "wanders"},
  "windws": []
})";

TEST(SimScenarioCheck, ReportsEveryProblemWithItsPointer) {
    const SimScenarioCheck check = checkScenario(manyProblems);
    EXPECT_FALSE(check.scenario.has_value());
    EXPECT_EQ(problemsOf(check),
              (Problems{{"/displays/0/contentImage", "expected a string"},
                        {"/displays/1/sclae", "unknown key"},
                        {"/displays/1/mian", "unknown key"},
                        {"/apps/1/pid", "required"},
                        {"/cursor/mode", "expected follows, fixed, unreadable or lags"},
                        {"/appleEvents/com.example.one/code", "expected a whole number"},
                        {"/windws", "unknown key"}}));
    // The driver's load stops at the first, named as it always was.
    EXPECT_EQ(loadScenario(manyProblems).error,
              "scenario.displays[0].contentImage: expected a string");
}

TEST(SimScenarioCheck, ChecksAcrossTheScenarioOnceItReadsCleanly) {
    testing::TempDir directory;
    // Ids used twice and a picture that is not there: found together, once the fields read.
    const std::string text = R"({
      "displays": [
        {"id": 1, "bounds": {"x": 0, "y": 0, "width": 80, "height": 60}, "contentImage": "none.png"},
        {"id": 1, "bounds": {"x": 80, "y": 0, "width": 80, "height": 60}}
      ]})";
    const SimScenarioCheck check = checkScenario(text, directory.path().string());
    ASSERT_EQ(check.problems.size(), 2u);
    EXPECT_EQ(check.problems[0].pointer, "/displays");
    EXPECT_EQ(check.problems[0].expected, "display id 1 is used twice");
    EXPECT_EQ(check.problems[1].pointer, "/displays/0/contentImage");
    EXPECT_NE(check.problems[1].expected.find("none.png"), std::string::npos);
    // A field problem leaves those checks out rather than report ones that are not there.
    EXPECT_EQ(problemsOf(checkScenario(R"({"displays": [{"id": 1,
        "bounds": {"x": 0, "y": 0, "width": 80, "height": 60}, "contentImage": "none.png"},
        {"id": 1, "bounds": {"x": 80, "y": 0, "width": 80, "height": 60}}], "x": 1})")),
              (Problems{{"/x", "unknown key"}}));
}

TEST(SimScenarioCheck, ACleanScenarioLoadsAsTheDriverLoadsIt) {
    const std::string examples = std::string(DORVEX_SOURCE_DIR) + "/examples/scenarios";
    for (const char* name : {"default.json", "pictures.json", "two-displays.json"}) {
        std::ifstream file(examples + "/" + name);
        const std::string text((std::istreambuf_iterator<char>(file)), {});
        const SimScenarioCheck check = checkScenario(text, examples);
        EXPECT_TRUE(check.problems.empty()) << name << ": " << check.problems.front().path;
        ASSERT_TRUE(check.scenario.has_value()) << name;
        EXPECT_EQ(check.scenario->displays.size(),
                  loadScenario(text, examples).scenario->displays.size());
    }
}

TEST(SimScenarioCheck, TheWholeFileHasTheEmptyPointer) {
    // A number past a double's range once ended the checker with an uncaught exception.
    for (const char* text : {"{\"displays\": [", "[1, 2]", "{\"x\": 1e1111}"}) {
        const SimScenarioCheck check = checkScenario(text);
        ASSERT_EQ(check.problems.size(), 1u) << text;
        EXPECT_EQ(check.problems[0].pointer, "") << text;
    }
    EXPECT_NE(checkScenario("{\"displays\": [").problems[0].expected.find("byte"),
              std::string::npos);
}

TEST(SimScenarioCheck, DottedPathsBecomePointers) {
    const Json document = Json::parse(R"({"appleEvents": {"com.a.b": {"code": 1}},
        "windowLevels": {"13": 1}, "apps": [{"accessibility": {"a/b~c": {}}}]})");
    struct Case {
        std::string path;
        std::string pointer;
    } cases[] = {
        {"scenario", ""},
        {"scenario.displays[3].contentImage", "/displays/3/contentImage"},
        {"scenario.appleEvents.com.a.b.code", "/appleEvents/com.a.b/code"},
        {"scenario.windowLevels.13", "/windowLevels/13"},
        {"scenario.apps[0].accessibility.a/b~c", "/apps/0/accessibility/a~1b~0c"},
        {"apps", "/apps"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(scenarioPointer(document, c.path), c.pointer) << c.path;
}

} // namespace
} // namespace dorvex::platform::sim
