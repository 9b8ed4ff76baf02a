// What posted input does on the simulated desktop: the cursor follows, stays or lags; keys type
// into the focused field of the frontmost app; clicks focus fields and press buttons; overlays
// let clicks through; and nothing typed into a secure field reaches the log.
#include "support/SimDesktops.h"

#include <gtest/gtest.h>

namespace dorvex::platform::sim {
namespace {

using testing::desktopFrom;
using testing::findByIdentifier;
using testing::readFile;
using testing::stringOf;
using testing::TempDir;

constexpr uint64_t commandFlag = 0x00100000;
constexpr uint64_t shiftFlag = 0x00020000;
constexpr const char* secretText = "Tr0ub4dor&3";

Json field(const std::string& id, const std::string& role, Json extra) {
    Json node{{"id", id}, {"role", role}, {"identifier", id}};
    node.update(extra);
    return node;
}

Json frame(double x, double y, double width, double height) {
    return Json{{"x", x}, {"y", y}, {"width", width}, {"height", height}};
}

// Form (pid 7, frontmost) with window 70 at (0, 0, 400, 300):
//   name (text field, "Ada", focused)   pin (secure field)   notes (text area)
//   ok (button, AXPress)   label (static text)
// Other (pid 8, not frontmost) whose focused field "elsewhere" must never get keys.
Json formDesktop() {
    Json window{
        {"role", "AXWindow"},
        {"windowNumber", 70},
        {"children",
         {field("name", "AXTextField", {{"value", "Ada"}, {"frame", frame(10, 10, 100, 20)}}),
          field("pin", "AXSecureTextField", {{"value", ""}, {"frame", frame(10, 40, 100, 20)}}),
          field("notes", "AXTextArea", {{"frame", frame(10, 70, 100, 60)}}),
          field("ok", "AXButton", {{"actions", {"AXPress"}}, {"frame", frame(10, 140, 60, 20)}}),
          field("label", "AXStaticText", {{"value", "Hi"}, {"frame", frame(10, 170, 60, 20)}})}}};
    Json other{{"pid", 8},
               {"name", "Other"},
               {"focusedElement", "elsewhere"},
               {"accessibility",
                {{"children", {field("elsewhere", "AXTextField", {{"value", "untouched"}})}}}}};
    return Json{{"displays", {{{"id", 1}, {"bounds", frame(0, 0, 1000, 800)}}}},
                {"apps",
                 {{{"pid", 7},
                   {"name", "Form"},
                   {"active", true},
                   {"focusedElement", "name"},
                   {"accessibility", {{"windows", {window}}}}},
                  other}},
                {"windows",
                 {{{"number", 70},
                   {"ownerPid", 7},
                   {"bounds", frame(0, 0, 400, 300)},
                   {"onScreen", true}}}}};
}

class SimInput : public ::testing::Test {
protected:
    SimOptions withLog() {
        SimOptions options;
        options.eventLogPath = logPath;
        return options;
    }
    Element find(const std::string& identifier, int32_t pid = 7) {
        return findByIdentifier(*desktop, desktop->createApplicationElement(pid), identifier);
    }
    std::optional<std::string> valueOf(const std::string& identifier, int32_t pid = 7) {
        return stringOf(*desktop, find(identifier, pid), "AXValue");
    }
    void key(uint16_t code, uint64_t flags = 0) {
        for (bool down : {true, false}) {
            Event event = desktop->createKeyboardEvent(code, down);
            desktop->setEventFlags(event, flags);
            desktop->postEvent(event);
        }
    }
    void type(const std::u16string& text) {
        for (bool down : {true, false}) {
            Event event = desktop->createKeyboardEvent(0, down);
            desktop->setKeyboardEventText(event, text);
            desktop->postEvent(event);
        }
    }
    void mouse(MouseEventType type, Point point, MouseButton button = MouseButton::left) {
        desktop->postEvent(desktop->createMouseEvent(type, point, button));
    }
    void click(Point point) {
        mouse(MouseEventType::leftMouseDown, point);
        mouse(MouseEventType::leftMouseUp, point);
    }
    std::vector<Json> eventsNamed(const std::string& name) {
        std::vector<Json> found;
        for (const Json& event : desktop->events()) {
            if (event["event"] == name) found.push_back(event);
        }
        return found;
    }

    TempDir dir;
    std::string logPath = dir.file("events.jsonl");
    std::unique_ptr<SimDesktop> desktop = desktopFrom(formDesktop(), withLog());
};

TEST_F(SimInput, ALaggingCursorArrivesAfterItsReadings) {
    auto lagging =
        desktopFrom(Json{{"cursor", {{"mode", "lags"}, {"readings", 2}, {"x", 5}, {"y", 6}}}});
    lagging->postEvent(
        lagging->createMouseEvent(MouseEventType::mouseMoved, {50, 60}, MouseButton::left));
    EXPECT_EQ(lagging->cursorLocation(), (Point{5, 6}));
    EXPECT_EQ(lagging->cursorLocation(), (Point{5, 6}));
    EXPECT_EQ(lagging->cursorLocation(), (Point{50, 60}));
    EXPECT_EQ(lagging->cursorLocation(), (Point{50, 60}));
    // A new move starts over from where the cursor is.
    lagging->postEvent(
        lagging->createMouseEvent(MouseEventType::mouseMoved, {70, 80}, MouseButton::left));
    EXPECT_EQ(lagging->cursorLocation(), (Point{50, 60}));

    auto prompt = desktopFrom(Json{{"cursor", {{"mode", "lags"}, {"readings", 0}}}});
    prompt->postEvent(
        prompt->createMouseEvent(MouseEventType::mouseMoved, {1, 2}, MouseButton::left));
    EXPECT_EQ(prompt->cursorLocation(), (Point{1, 2}));
}

TEST_F(SimInput, KeysTypeIntoTheFocusedFieldOfTheFrontmostApp) {
    type(u" Lovelace \u00e9\U0001F44D");
    key(0);              // a
    key(0, shiftFlag);   // A
    key(18, shiftFlag);  // !
    key(0, commandFlag); // a shortcut types nothing
    key(36);             // return types nothing in a field
    key(51);             // delete: the "!"
    EXPECT_EQ(valueOf("name"), "Ada Lovelace \u00e9\U0001F44DaA");
    key(51);
    key(51);
    key(51); // the emoji goes whole
    EXPECT_EQ(valueOf("name"), "Ada Lovelace \u00e9");
    EXPECT_EQ(valueOf("elsewhere", 8), "untouched") << "keys only reach the frontmost app";

    std::vector<Json> keys = eventsNamed("key");
    ASSERT_FALSE(keys.empty());
    EXPECT_EQ(keys.front()["text"], " Lovelace \u00e9\U0001F44D");
    EXPECT_EQ(keys.front()["into"]["identifier"], "name");

    // Without a frontmost app, or with the focus on an element that takes no text, keys go
    // nowhere and the log says so by leaving "into" out.
    Json scenario = formDesktop();
    scenario["apps"][0]["focusedElement"] = "label";
    ASSERT_TRUE(desktop->reloadFromText(scenario.dump()));
    key(0);
    EXPECT_EQ(valueOf("label"), "Hi");
    scenario["frontmostPid"] = nullptr;
    ASSERT_TRUE(desktop->reloadFromText(scenario.dump()));
    type(u"x");
    EXPECT_FALSE(desktop->events().back().contains("into"));
}

TEST_F(SimInput, ASecureFieldTakesTypedTextButTheLogNeverHoldsIt) {
    click({20, 50}); // focus the secure field
    std::u16string secret(secretText, secretText + std::char_traits<char>::length(secretText));
    type(secret);
    key(0); // a letter typed by key code gives itself away just the same
    EXPECT_EQ(valueOf("pin"), std::string(secretText) + "a");

    std::vector<Json> keys = eventsNamed("key");
    ASSERT_EQ(keys.size(), 4u);
    EXPECT_EQ(
        keys[0],
        (Json{{"event", "key"},
              {"down", true},
              {"flags", 0},
              {"into",
               {{"pid", 7}, {"role", "AXSecureTextField"}, {"title", ""}, {"identifier", "pin"}}},
              {"secure", true},
              {"length", 11}}));
    EXPECT_EQ(keys[1]["length"], 0) << "a key-up types nothing";
    EXPECT_FALSE(keys[2].contains("keyCode"));
    EXPECT_EQ(keys[2]["length"], 1);
    EXPECT_EQ(readFile(logPath).find(secretText), std::string::npos);
}

TEST_F(SimInput, AClickFocusesAFieldAndPressesAButton) {
    click({20, 80}); // the text area
    type(u"line");
    EXPECT_EQ(valueOf("notes"), "line");
    AXAttributeResult focused =
        desktop->copyAttributeValue(desktop->createApplicationElement(7), "AXFocusedUIElement");
    ASSERT_TRUE(focused.value.element());
    EXPECT_EQ(stringOf(*desktop, *focused.value.element(), "AXIdentifier"), "notes");
    AXAttributeResult systemWide =
        desktop->copyAttributeValue(desktop->createSystemWideElement(), "AXFocusedUIElement");
    ASSERT_TRUE(systemWide.value.element());
    EXPECT_TRUE(desktop->sameElement(*systemWide.value.element(), *focused.value.element()));

    click({20, 150}); // the button
    std::vector<Json> actions = eventsNamed("action");
    ASSERT_EQ(actions.size(), 1u);
    EXPECT_EQ(actions[0]["identifier"], "ok");
    EXPECT_EQ(actions[0]["action"], "AXPress");
    EXPECT_EQ(actions[0]["result"], 0);
    EXPECT_EQ(actions[0]["by"], "click");

    // Not clicks: pressed on one element and released on another, a right click, a click on
    // a static text. The focus stays in the text area.
    mouse(MouseEventType::leftMouseDown, {20, 150});
    mouse(MouseEventType::leftMouseUp, {20, 20});
    mouse(MouseEventType::rightMouseDown, {20, 20}, MouseButton::right);
    mouse(MouseEventType::rightMouseUp, {20, 20}, MouseButton::right);
    click({20, 180});
    EXPECT_EQ(eventsNamed("action").size(), 1u);
    EXPECT_EQ(eventsNamed("focus").size(), 1u);
    type(u"s");
    EXPECT_EQ(valueOf("notes"), "lines");

    // Pressing a text field through accessibility focuses it too, when it supports the press.
    Json scenario = formDesktop();
    scenario["apps"][0]["accessibility"]["windows"][0]["children"][0]["actions"] = {"AXPress"};
    ASSERT_TRUE(desktop->reloadFromText(scenario.dump()));
    click({20, 80});
    EXPECT_EQ(desktop->performAction(find("name"), "AXPress"), axerr::success);
    type(u"!");
    EXPECT_EQ(valueOf("name"), "Ada!");
}

TEST_F(SimInput, OverlaysWithHitAreasLetClicksThrough) {
    Json scenario = formDesktop();
    scenario["apps"].push_back({{"pid", 90}, {"bundleId", "com.apple.dock"}});
    scenario["windows"].insert(scenario["windows"].begin(),
                               Json{{"number", 50},
                                    {"ownerPid", 90},
                                    {"bounds", frame(0, 0, 1000, 800)},
                                    {"hitAreas", {frame(0, 700, 1000, 100)}},
                                    {"layer", 20},
                                    {"onScreen", true}});
    ASSERT_TRUE(desktop->reloadFromText(scenario.dump()));
    Element systemWide = desktop->createSystemWideElement();
    AXElementResult through = desktop->copyElementAtPosition(systemWide, {20, 150});
    EXPECT_EQ(stringOf(*desktop, through.element, "AXIdentifier"), "ok");
    AXElementResult dock = desktop->copyElementAtPosition(systemWide, {20, 750});
    EXPECT_EQ(desktop->elementPid(dock.element).pid, 90);

    scenario["windows"][0]["hitAreas"] = Json::array();
    ASSERT_TRUE(desktop->reloadFromText(scenario.dump()));
    EXPECT_EQ(desktop->copyElementAtPosition(systemWide, {20, 750}).code, axerr::noValue);
}

TEST_F(SimInput, ProcessesThatAreNotAppsHaveExecutablePaths) {
    Json scenario = formDesktop();
    scenario["processes"] = {{{"pid", 88}, {"executablePath", "/System/Library/WindowServer"}}};
    scenario["apps"][0]["executablePath"] = "/Applications/Form.app/Contents/MacOS/Form";
    ASSERT_TRUE(desktop->reloadFromText(scenario.dump()));
    EXPECT_EQ(desktop->processExecutablePath(88), "/System/Library/WindowServer");
    EXPECT_EQ(desktop->processExecutablePath(7), "/Applications/Form.app/Contents/MacOS/Form");
    EXPECT_EQ(desktop->processExecutablePath(8), std::nullopt);
    EXPECT_EQ(desktop->processExecutablePath(99), std::nullopt);
    EXPECT_EQ(desktop->runningApplicationWithPid(88), std::nullopt);
}

} // namespace
} // namespace dorvex::platform::sim
