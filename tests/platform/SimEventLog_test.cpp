// The simulated desktop's record of what it was asked to do: posted input, actions, set values,
// opened links and launches, in memory and as JSON lines in the event log file. Secure values
// never reach either.
#include "support/SimDesktops.h"

#include <gtest/gtest.h>

namespace dorvex::platform::sim {
namespace {

using testing::desktopFrom;
using testing::findByIdentifier;
using testing::readFile;
using testing::readJsonLines;
using testing::TempDir;

constexpr const char* secretText = "s3cret-Passw0rd";

//   AXApplication (pid 7)
//   ├─ AXTextField  name = "Ada"
//   ├─ AXTextField/AXSecureTextField  password = "initial-secret"
//   ├─ AXSecureTextField  pin
//   ├─ AXComboBox  combo  (holds a secure field)
//   │  └─ AXTextField/AXSecureTextField
//   └─ AXButton  ok
Json formScenario() {
    return Json{
        {"apps",
         {{{"pid", 7},
           {"name", "Form"},
           {"accessibility",
            {{"children",
              {{{"role", "AXTextField"},
                {"identifier", "name"},
                {"title", "Name"},
                {"value", "Ada"}},
               {{"role", "AXTextField"},
                {"subrole", "AXSecureTextField"},
                {"identifier", "password"},
                {"value", "initial-secret"}},
               {{"role", "AXSecureTextField"}, {"identifier", "pin"}, {"value", ""}},
               {{"role", "AXComboBox"},
                {"identifier", "combo"},
                {"value", ""},
                {"children",
                 {{{"role", "AXTextField"}, {"subrole", "AXSecureTextField"}, {"value", ""}}}}},
               {{"role", "AXButton"},
                {"identifier", "ok"},
                {"title", "OK"},
                {"actions", {"AXPress"}},
                {"actionErrors", {{"AXShowMenu", -25204}}}}}}}}}}},
        {"installedApps",
         {{{"bundleId", "com.example.Calc"}, {"name", "Calc"}, {"bundlePath", "/Apps/Calc.app"}}}},
        {"cursor", {{"mode", "follows"}, {"x", 1}, {"y", 2}}}};
}

class SimEventLog : public ::testing::Test {
protected:
    SimOptions withLog() {
        SimOptions options;
        options.eventLogPath = logPath;
        return options;
    }
    Element find(const std::string& identifier) {
        return findByIdentifier(*desktop, desktop->createApplicationElement(7), identifier);
    }

    TempDir dir;
    std::string logPath = dir.file("events.jsonl");
    std::unique_ptr<SimDesktop> desktop = desktopFrom(formScenario(), withLog());
};

TEST_F(SimEventLog, PostedInputIsLoggedAndMovesTheCursor) {
    Event key = desktop->createKeyboardEvent(0, true);
    desktop->setEventFlags(key, 0x100000);
    desktop->setKeyboardEventText(key, u"h\u00e9\U0001F600");
    desktop->postEvent(key);
    desktop->postEvent(
        desktop->createMouseEvent(MouseEventType::mouseMoved, {30, 40}, MouseButton::left));
    desktop->postEvent(
        desktop->createMouseEvent(MouseEventType::rightMouseDown, {31.5, 41}, MouseButton::right));

    std::vector<Json> lines = readJsonLines(logPath);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], (Json{{"event", "key"},
                              {"keyCode", 0},
                              {"down", true},
                              {"flags", 0x100000},
                              {"text", "h\u00e9\U0001F600"}}));
    EXPECT_EQ(lines[1], (Json{{"event", "mouse"},
                              {"type", "mouseMoved"},
                              {"x", 30.0},
                              {"y", 40.0},
                              {"button", "left"}}));
    EXPECT_EQ(lines[2]["type"], "rightMouseDown");
    EXPECT_EQ(lines[2]["button"], "right");
    EXPECT_EQ(desktop->cursorLocation(), (Point{31.5, 41}));
    EXPECT_EQ(desktop->events(), lines);
}

TEST_F(SimEventLog, CursorModesDecideWhatPostedMovesDo) {
    struct Case {
        std::string mode;
        std::optional<Point> after;
    };
    const Case cases[] = {
        {"follows", Point{50, 60}},
        {"fixed", Point{5, 6}},
        {"unreadable", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        auto sim = desktopFrom(Json{{"cursor", {{"mode", c.mode}, {"x", 5}, {"y", 6}}}});
        sim->postEvent(
            sim->createMouseEvent(MouseEventType::mouseMoved, {50, 60}, MouseButton::left));
        EXPECT_EQ(sim->cursorLocation(), c.after);
    }
}

TEST_F(SimEventLog, ActionsAndValuesAreLoggedWithTheirElementAndResult) {
    desktop->performAction(find("ok"), "AXPress");
    desktop->performAction(find("ok"), "AXShowMenu");
    desktop->setStringAttribute(find("name"), "AXValue", "Grace");

    std::vector<Json> lines = readJsonLines(logPath);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], (Json{{"event", "action"},
                              {"pid", 7},
                              {"role", "AXButton"},
                              {"title", "OK"},
                              {"identifier", "ok"},
                              {"action", "AXPress"},
                              {"result", 0}}));
    EXPECT_EQ(lines[1]["result"], -25204);
    EXPECT_EQ(lines[2], (Json{{"event", "setValue"},
                              {"pid", 7},
                              {"role", "AXTextField"},
                              {"title", "Name"},
                              {"identifier", "name"},
                              {"attribute", "AXValue"},
                              {"value", "Grace"},
                              {"result", 0}}));
}

TEST_F(SimEventLog, SecureValuesNeverReachTheLog) {
    // The secure field by subrole, by role, a field inside a secure container, and a handle that
    // no longer resolves (nothing is known about it, so it counts as secure).
    Element password = find("password");
    desktop->setStringAttribute(password, "AXValue", secretText);
    desktop->setStringAttribute(find("pin"), "AXValue", secretText);
    desktop->setStringAttribute(find("combo"), "AXValue", secretText);
    ASSERT_TRUE(desktop->reloadFromText(formScenario().dump()));
    desktop->setStringAttribute(password, "AXValue", secretText);

    std::string log = readFile(logPath);
    EXPECT_EQ(log.find(secretText), std::string::npos);
    EXPECT_EQ(log.find("initial-secret"), std::string::npos);
    std::vector<Json> lines = readJsonLines(logPath);
    ASSERT_EQ(lines.size(), 4u);
    for (const Json& line : lines) {
        EXPECT_FALSE(line.contains("value")) << line;
        EXPECT_EQ(line["secure"], true);
        EXPECT_EQ(line["length"], std::string(secretText).size());
    }
    EXPECT_EQ(lines[3]["result"], axerr::invalidUIElement);
    for (const Json& event : desktop->events()) {
        EXPECT_EQ(event.dump().find(secretText), std::string::npos);
    }
}

TEST_F(SimEventLog, LinksAndLaunchesAreLogged) {
    desktop->openURL("x-apple.systempreferences:com.apple.preference.security");
    desktop->openApplication("file:///Apps/Calc.app/", true, nullptr);

    std::vector<Json> lines = readJsonLines(logPath);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], (Json{{"event", "openURL"},
                              {"url", "x-apple.systempreferences:com.apple.preference.security"},
                              {"opened", true}}));
    EXPECT_EQ(lines[1]["event"], "launch");
    EXPECT_EQ(lines[1]["url"], "file:///Apps/Calc.app/");
    EXPECT_EQ(lines[1]["bundleId"], "com.example.Calc");
    EXPECT_EQ(lines[1]["launched"], true);
    EXPECT_TRUE(lines[1]["pid"].is_number_integer());
}

TEST_F(SimEventLog, LinesAreAppendedToWhatTheFileHeld) {
    std::string otherPath = dir.file("shared.jsonl");
    std::ofstream(otherPath) << "{\"event\":\"earlier\"}\n";
    SimOptions options;
    options.eventLogPath = otherPath;
    auto sim = desktopFrom(formScenario(), options);
    sim->postEvent(sim->createKeyboardEvent(36, false));

    std::vector<Json> lines = readJsonLines(otherPath);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0]["event"], "earlier");
    EXPECT_EQ(lines[1]["keyCode"], 36);
}

TEST_F(SimEventLog, EventCreationCanBeMadeToFail) {
    auto sim = desktopFrom(Json{{"faults", {{"eventCreation", true}}}});
    Event key = sim->createKeyboardEvent(1, true);
    EXPECT_FALSE(key);
    sim->setEventFlags(key, 1);
    sim->postEvent(key);
    EXPECT_FALSE(sim->createMouseEvent(MouseEventType::leftMouseDown, {1, 1}, MouseButton::left));
    EXPECT_TRUE(sim->events().empty());
}

} // namespace
} // namespace dorvex::platform::sim
