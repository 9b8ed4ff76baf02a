// The simulated accessibility interface: trees, derived attributes, injected failures, handle
// lifetime across reloads, hit testing and value-read counting.
#include "support/SimDesktops.h"

#include <gtest/gtest.h>

namespace dorvex::platform::sim {
namespace {

using testing::desktopFrom;
using testing::elementsOf;
using testing::findByIdentifier;
using testing::stringOf;

Json frame(double x, double y, double width, double height) {
    return {{"x", x}, {"y", y}, {"width", width}, {"height", height}};
}

// Editor (pid 100):
//   AXApplication
//   └─ AXWindow "Doc" #10 (docWindow)           100,100 600x400
//      ├─ AXTextField  field   = "hello"        120,140 200x24
//      ├─ AXTextField/AXSecureTextField secret = "hunter2"
//      ├─ AXGroup      group                    120,200 400x200
//      │  └─ AXButton  ok "OK"                  140,220 80x30
//      ├─ AXSheet      #11 (sheet)
//      │  └─ AXButton  sheetButton
//      ├─ AXUnknown    table, cells: AXCell cell0
//      ├─ AXStaticText broken (AXValue, AXTitle fail)
//      ├─ (every read fails with -25204)
//      └─ AXImage      typed (values of every kind; AXRole unlisted)
// Viewer (pid 200): window #20 in front of part of the editor window.
// Window #30 belongs to pid 999, which is not running.
Json editorScenario() {
    Json window = {{"id", "docWindow"},
                   {"role", "AXWindow"},
                   {"identifier", "docWindow"},
                   {"title", "Doc"},
                   {"windowNumber", 10},
                   {"children",
                    {{{"role", "AXTextField"},
                      {"identifier", "field"},
                      {"value", "hello"},
                      {"frame", frame(120, 140, 200, 24)},
                      {"actions", {"AXConfirm"}}},
                     {{"role", "AXTextField"},
                      {"subrole", "AXSecureTextField"},
                      {"identifier", "secret"},
                      {"value", "hunter2"}},
                     {{"role", "AXGroup"},
                      {"identifier", "group"},
                      {"frame", frame(120, 200, 400, 200)},
                      {"children",
                       {{{"id", "okButton"},
                         {"role", "AXButton"},
                         {"identifier", "ok"},
                         {"title", "OK"},
                         {"frame", frame(140, 220, 80, 30)},
                         {"actions", {"AXPress"}},
                         {"actionErrors", {{"AXCancel", -25204}}}}}}},
                     {{"role", "AXSheet"},
                      {"identifier", "sheet"},
                      {"windowNumber", 11},
                      {"children", {{{"role", "AXButton"}, {"identifier", "sheetButton"}}}}},
                     {{"role", "AXUnknown"},
                      {"identifier", "table"},
                      {"cells", {{{"role", "AXCell"}, {"identifier", "cell0"}}}}},
                     {{"role", "AXStaticText"},
                      {"identifier", "broken"},
                      {"errors", {{"AXValue", -25212}, {"AXTitle", -25204}}}},
                     {{"identifier", "dead"}, {"error", -25204}},
                     {{"role", "AXImage"},
                      {"identifier", "typed"},
                      {"unlisted", {"AXRole"}},
                      {"attributes",
                       {{"AXURL", {{"otherType", "AXURL"}}},
                        {"AXLinkedUIElements", {{{"element", "okButton"}}}},
                        {"AXMixed", {1.5, true, "x"}},
                        {"AXCenter", {{"point", {{"x", 3}, {"y", 4}}}}},
                        {"AXExtent", {{"size", {{"width", 5}, {"height", 6}}}}},
                        {"AXNothing", nullptr}}}}}}};
    return Json{
        {"apps",
         {{{"pid", 100}, {"name", "Editor"}, {"accessibility", {{"windows", {window}}}}},
          {{"pid", 200},
           {"name", "Viewer"},
           {"accessibility",
            {{"windows",
              {{{"role", "AXWindow"}, {"identifier", "viewerWindow"}, {"windowNumber", 20}}}}}}},
          {{"pid", 300}, {"name", "Bare"}}}},
        {"windows",
         {{{"number", 20},
           {"ownerPid", 200},
           {"bounds", frame(500, 100, 300, 300)},
           {"onScreen", true}},
          {{"number", 21},
           {"ownerPid", 200},
           {"bounds", frame(0, 0, 2000, 2000)},
           {"alpha", 0},
           {"onScreen", true}},
          {{"number", 10},
           {"ownerPid", 100},
           {"bounds", frame(100, 100, 600, 400)},
           {"onScreen", true}},
          {{"number", 30},
           {"ownerPid", 999},
           {"bounds", frame(900, 100, 100, 100)},
           {"onScreen", true}}}},
        {"hitTest",
         {{{"rect", frame(0, 900, 10, 10)}, {"error", -25200}},
          {{"rect", frame(10, 900, 10, 10)}, {"element", "okButton"}}}}};
}

class SimAccessibility : public ::testing::Test {
protected:
    Element app() { return desktop->createApplicationElement(100); }
    Element find(const std::string& identifier) {
        Element found = findByIdentifier(*desktop, app(), identifier);
        EXPECT_TRUE(found) << identifier;
        return found;
    }
    bool same(const Element& a, const Element& b) { return desktop->sameElement(a, b); }
    Element elementAttribute(const Element& element, const std::string& attribute) {
        AXAttributeResult read = desktop->copyAttributeValue(element, attribute);
        return read.value.element() ? *read.value.element() : Element{};
    }

    std::unique_ptr<SimDesktop> desktop = desktopFrom(editorScenario());
};

TEST_F(SimAccessibility, TreeAttributesAreDerivedFromTheTree) {
    EXPECT_EQ(stringOf(*desktop, app(), "AXRole"), "AXApplication");
    EXPECT_EQ(stringOf(*desktop, app(), "AXTitle"), "Editor");
    Element window = find("docWindow");
    std::vector<Element> windows = elementsOf(*desktop, app(), "AXWindows");
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_TRUE(same(windows[0], window));
    EXPECT_TRUE(same(elementsOf(*desktop, app(), "AXChildren").at(0), window));

    Element button = find("ok");
    EXPECT_TRUE(same(elementAttribute(button, "AXParent"), find("group")));
    EXPECT_TRUE(same(elementAttribute(window, "AXParent"), app()));
    EXPECT_EQ(desktop->copyAttributeValue(app(), "AXParent").code, axerr::attributeUnsupported);

    // The top level is the nearest window-like ancestor, the element itself included.
    EXPECT_TRUE(same(elementAttribute(button, "AXTopLevelUIElement"), window));
    EXPECT_TRUE(same(elementAttribute(window, "AXTopLevelUIElement"), window));
    EXPECT_TRUE(same(elementAttribute(find("sheetButton"), "AXTopLevelUIElement"), find("sheet")));
    EXPECT_EQ(desktop->copyAttributeValue(app(), "AXTopLevelUIElement").code,
              axerr::attributeUnsupported);

    // Cells are reached through "AXCells" only, and know their parent.
    Element table = find("table");
    EXPECT_TRUE(elementsOf(*desktop, table, "AXChildren").empty());
    std::vector<Element> cells = elementsOf(*desktop, table, "AXCells");
    ASSERT_EQ(cells.size(), 1u);
    EXPECT_EQ(stringOf(*desktop, cells[0], "AXIdentifier"), "cell0");
    EXPECT_TRUE(same(elementAttribute(cells[0], "AXParent"), table));
    EXPECT_EQ(desktop->copyAttributeValue(button, "AXCells").code, axerr::attributeUnsupported);
}

TEST_F(SimAccessibility, AttributeNamesListWhatTheElementHas) {
    AXNamesResult button = desktop->copyAttributeNames(find("ok"));
    ASSERT_EQ(button.code, axerr::success);
    EXPECT_EQ(button.names, (std::vector<std::string>{
                                "AXRole", "AXTitle", "AXIdentifier", "AXPosition", "AXSize",
                                "AXActions", "AXParent", "AXChildren", "AXTopLevelUIElement"}));
    AXNamesResult app = desktop->copyAttributeNames(this->app());
    EXPECT_EQ(app.names,
              (std::vector<std::string>{"AXRole", "AXTitle", "AXChildren", "AXWindows"}));

    // An unlisted attribute still reads; an attribute that only fails is still listed.
    Element typed = find("typed");
    std::vector<std::string> typedNames = desktop->copyAttributeNames(typed).names;
    EXPECT_EQ(std::count(typedNames.begin(), typedNames.end(), "AXRole"), 0);
    EXPECT_EQ(stringOf(*desktop, typed, "AXRole"), "AXImage");
    std::vector<std::string> brokenNames = desktop->copyAttributeNames(find("broken")).names;
    EXPECT_EQ(std::count(brokenNames.begin(), brokenNames.end(), "AXValue"), 1);
}

TEST_F(SimAccessibility, InjectedErrorCodesAnswerReadsAndActions) {
    Element dead = elementsOf(*desktop, find("docWindow"), "AXChildren").at(6);
    struct Case {
        Element element;
        std::string attribute;
        int32_t code;
    };
    const Case cases[] = {
        {find("broken"), "AXValue", axerr::noValue},
        {find("broken"), "AXTitle", axerr::cannotComplete},
        {find("broken"), "AXRole", axerr::success},
        {find("ok"), "AXValue", axerr::attributeUnsupported},
        {dead, "AXRole", axerr::cannotComplete},
        {dead, "AXChildren", axerr::cannotComplete},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.attribute);
        EXPECT_EQ(desktop->copyAttributeValue(c.element, c.attribute).code, c.code);
    }
    EXPECT_EQ(desktop->copyAttributeNames(dead).code, axerr::cannotComplete);
    EXPECT_EQ(desktop->performAction(dead, "AXPress"), axerr::cannotComplete);
    EXPECT_EQ(desktop->elementWindowNumber(dead).code, axerr::cannotComplete);

    Element button = find("ok");
    EXPECT_EQ(desktop->performAction(button, "AXPress"), axerr::success);
    EXPECT_EQ(desktop->performAction(button, "AXCancel"), axerr::cannotComplete);
    EXPECT_EQ(desktop->performAction(button, "AXShowMenu"), axerr::actionUnsupported);
    EXPECT_EQ(desktop->copyAttributeValue(find("group"), "AXActions").code,
              axerr::attributeUnsupported);
}

TEST_F(SimAccessibility, ValuesKeepTheirAccessibilityTypes) {
    Element typed = find("typed");
    AXAttributeResult url = desktop->copyAttributeValue(typed, "AXURL");
    ASSERT_TRUE(std::holds_alternative<AXOtherType>(url.value.value));
    EXPECT_EQ(std::get<AXOtherType>(url.value.value).typeName, "AXURL");

    std::vector<Element> linked = elementsOf(*desktop, typed, "AXLinkedUIElements");
    ASSERT_EQ(linked.size(), 1u);
    EXPECT_TRUE(same(linked[0], find("ok")));

    AXValueList mixed = *desktop->copyAttributeValue(typed, "AXMixed").value.list();
    ASSERT_EQ(mixed.size(), 3u);
    EXPECT_EQ(mixed[0].number()->value, 1.5);
    EXPECT_FALSE(mixed[0].number()->isBoolean);
    EXPECT_TRUE(mixed[1].number()->isBoolean);
    EXPECT_EQ(mixed[1].number()->value, 1);
    EXPECT_EQ(*mixed[2].string(), "x");

    EXPECT_EQ(*desktop->copyAttributeValue(typed, "AXCenter").value.point(), (Point{3, 4}));
    EXPECT_EQ(*desktop->copyAttributeValue(typed, "AXExtent").value.size(), (Size{5, 6}));
    AXAttributeResult nothing = desktop->copyAttributeValue(typed, "AXNothing");
    EXPECT_EQ(nothing.code, axerr::success);
    EXPECT_TRUE(nothing.value.isNone());

    AXAttributeResult position = desktop->copyAttributeValue(find("field"), "AXPosition");
    EXPECT_EQ(*position.value.point(), (Point{120, 140}));
}

TEST_F(SimAccessibility, SettingAValueChangesWhatLaterReadsSee) {
    Element field = find("field");
    EXPECT_EQ(desktop->setStringAttribute(field, "AXValue", "changed"), axerr::success);
    EXPECT_EQ(stringOf(*desktop, field, "AXValue"), "changed");
    // Present but read-only, and absent altogether.
    EXPECT_EQ(desktop->setStringAttribute(field, "AXRole", "AXButton"), axerr::failure);
    EXPECT_EQ(desktop->setStringAttribute(field, "AXChildren", "x"), axerr::failure);
    EXPECT_EQ(desktop->setStringAttribute(field, "AXPlaceholder", "x"),
              axerr::attributeUnsupported);
    EXPECT_EQ(desktop->setStringAttribute(find("ok"), "AXValue", "x"), axerr::attributeUnsupported);

    auto custom = desktopFrom(Json{
        {"apps",
         {{{"pid", 1},
           {"accessibility",
            {{"children",
              {{{"identifier", "a"}, {"settable", {"AXTitle"}}, {"title", "old"}},
               {{"identifier", "b"}, {"value", "v"}, {"setErrors", {{"AXValue", -25204}}}}}}}}}}}});
    Element root = custom->createApplicationElement(1);
    Element a = findByIdentifier(*custom, root, "a");
    EXPECT_EQ(custom->setStringAttribute(a, "AXTitle", "new"), axerr::success);
    EXPECT_EQ(stringOf(*custom, a, "AXTitle"), "new");
    Element b = findByIdentifier(*custom, root, "b");
    EXPECT_EQ(custom->setStringAttribute(b, "AXValue", "w"), axerr::cannotComplete);
    EXPECT_EQ(stringOf(*custom, b, "AXValue"), "v");
}

TEST_F(SimAccessibility, HandlesGoStaleWhenTheScenarioReloads) {
    Element button = find("ok");
    Element window = find("docWindow");
    ASSERT_TRUE(desktop->reloadFromText(editorScenario().dump()));

    EXPECT_EQ(desktop->copyAttributeValue(button, "AXRole").code, axerr::invalidUIElement);
    EXPECT_EQ(desktop->copyAttributeNames(button).code, axerr::invalidUIElement);
    EXPECT_EQ(desktop->performAction(button, "AXPress"), axerr::invalidUIElement);
    EXPECT_EQ(desktop->setStringAttribute(button, "AXValue", "x"), axerr::invalidUIElement);
    EXPECT_EQ(desktop->elementWindowNumber(window).code, axerr::invalidUIElement);
    EXPECT_EQ(desktop->setMessagingTimeout(button, 1), axerr::invalidUIElement);
    // The pid is part of the reference, as on the real interface.
    EXPECT_EQ(desktop->elementPid(button).pid, 100);

    Element fresh = find("ok");
    EXPECT_FALSE(desktop->sameElement(button, fresh));
    EXPECT_EQ(stringOf(*desktop, fresh, "AXTitle"), "OK");

    // The system-wide element is one and the same across reloads; another desktop's handles
    // name nothing here, even where pid and position agree.
    Element systemWide = desktop->createSystemWideElement();
    ASSERT_TRUE(desktop->reloadFromText(editorScenario().dump()));
    EXPECT_TRUE(desktop->sameElement(systemWide, desktop->createSystemWideElement()));
    auto other = desktopFrom(editorScenario());
    Element foreign = other->createApplicationElement(100);
    EXPECT_EQ(desktop->copyAttributeValue(foreign, "AXRole").code, axerr::invalidUIElement);
    EXPECT_FALSE(desktop->sameElement(foreign, app()));
    fresh = find("ok");

    // A refused scenario changes nothing, so handles stay good.
    EXPECT_FALSE(desktop->reloadFromText("{\"apps\": 3}"));
    EXPECT_TRUE(desktop->lastLoadError().has_value());
    EXPECT_EQ(stringOf(*desktop, fresh, "AXTitle"), "OK");
}

TEST_F(SimAccessibility, ApplicationElementsWithoutATree) {
    Element bare = desktop->createApplicationElement(300);
    EXPECT_EQ(stringOf(*desktop, bare, "AXRole"), "AXApplication");
    EXPECT_EQ(stringOf(*desktop, bare, "AXTitle"), "Bare");
    EXPECT_TRUE(elementsOf(*desktop, bare, "AXWindows").empty());

    Element gone = desktop->createApplicationElement(4242);
    ASSERT_TRUE(gone);
    EXPECT_EQ(desktop->copyAttributeValue(gone, "AXRole").code, axerr::invalidUIElement);
    EXPECT_EQ(desktop->copyAttributeNames(gone).code, axerr::invalidUIElement);
    EXPECT_EQ(desktop->elementPid(gone).pid, 4242);
    EXPECT_EQ(desktop->copyAttributeValue(Element{}, "AXRole").code, axerr::illegalArgument);
}

TEST_F(SimAccessibility, WindowNumbersComeOnlyFromElementsThatHaveOne) {
    EXPECT_TRUE(desktop->hasWindowNumberFunction());
    AXWindowNumberResult window = desktop->elementWindowNumber(find("docWindow"));
    EXPECT_EQ(window.code, axerr::success);
    EXPECT_EQ(window.windowNumber, 10u);
    EXPECT_EQ(desktop->elementWindowNumber(find("sheet")).windowNumber, 11u);
    EXPECT_NE(desktop->elementWindowNumber(find("ok")).code, axerr::success);

    Json scenario = editorScenario();
    scenario["hasWindowNumberFunction"] = false;
    auto without = desktopFrom(scenario);
    EXPECT_FALSE(without->hasWindowNumberFunction());
    Element windowElement =
        findByIdentifier(*without, without->createApplicationElement(100), "docWindow");
    EXPECT_NE(without->elementWindowNumber(windowElement).code, axerr::success);
}

TEST_F(SimAccessibility, AXWindowsWithoutAFrameTakeTheirWindowServerBounds) {
    Element window = find("docWindow");
    EXPECT_EQ(*desktop->copyAttributeValue(window, "AXPosition").value.point(), (Point{100, 100}));
    EXPECT_EQ(*desktop->copyAttributeValue(window, "AXSize").value.size(), (Size{600, 400}));
}

TEST_F(SimAccessibility, HitTestFindsTheDeepestElementOfTheFrontWindow) {
    Element systemWide = desktop->createSystemWideElement();
    struct Case {
        Point point;
        int32_t code;
        std::string identifier;
    };
    const Case cases[] = {
        {{150, 230}, axerr::success, "ok"},           // button inside a group
        {{300, 350}, axerr::success, "group"},        // group, outside the button
        {{650, 450}, axerr::success, "docWindow"},    // window, no child there
        {{550, 150}, axerr::success, "viewerWindow"}, // the viewer covers the editor here
        {{950, 150}, axerr::cannotComplete, ""},      // owner process has exited
        {{1500, 1500}, axerr::noValue, ""},           // only a transparent window there
        {{5, 905}, axerr::failure, ""},               // forced error region
        {{15, 905}, axerr::success, "ok"},            // forced element region
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.point.x) + "," + std::to_string(c.point.y));
        AXElementResult hit = desktop->copyElementAtPosition(systemWide, c.point);
        EXPECT_EQ(hit.code, c.code);
        if (c.code == axerr::success) {
            EXPECT_EQ(stringOf(*desktop, hit.element, "AXIdentifier"), c.identifier);
        }
    }
    AXPidResult pid =
        desktop->elementPid(desktop->copyElementAtPosition(systemWide, {150, 230}).element);
    EXPECT_EQ(pid.code, axerr::success);
    EXPECT_EQ(pid.pid, 100);

    // Asked through an application element, only that application's windows count.
    AXElementResult ownOnly = desktop->copyElementAtPosition(app(), {550, 150});
    EXPECT_EQ(stringOf(*desktop, ownOnly.element, "AXIdentifier"), "docWindow");
}

TEST_F(SimAccessibility, CountsValueReadsPerElementAndCallsPerOperation) {
    Element field = find("field");
    Element secret = find("secret");
    desktop->copyAttributeValue(field, "AXValue");
    desktop->copyAttributeValue(field, "AXValue");
    desktop->copyAttributeValue(secret, "AXRole");

    Json stats = desktop->stats();
    ASSERT_EQ(stats["valueReads"].size(), 1u);
    const Json& reads = stats["valueReads"][0];
    EXPECT_EQ(reads["pid"], 100);
    EXPECT_EQ(reads["identifier"], "field");
    EXPECT_EQ(reads["role"], "AXTextField");
    EXPECT_EQ(reads["count"], 2);
    EXPECT_GT(stats["calls"]["copyAttributeValue"].get<int64_t>(), 3);
    int64_t sum = 0;
    for (const auto& [name, count] : stats["calls"].items())
        sum += count.get<int64_t>();
    // Calls the driver's process answers alone (creating, comparing) are no round trips.
    EXPECT_EQ(stats["roundTrips"].get<int64_t>() + stats["localCalls"].get<int64_t>(), sum);
    EXPECT_GT(stats["localCalls"].get<int64_t>(), 0);
}

TEST_F(SimAccessibility, MessagingTimeoutsAreRecorded) {
    EXPECT_EQ(desktop->setMessagingTimeout(desktop->createSystemWideElement(), 1), axerr::success);
    EXPECT_EQ(desktop->setMessagingTimeout(find("ok"), 0), axerr::success);
    EXPECT_EQ(desktop->setMessagingTimeout(find("ok"), -1), axerr::illegalArgument);
    std::vector<SimMessagingTimeout> recorded = desktop->messagingTimeouts();
    ASSERT_EQ(recorded.size(), 2u);
    EXPECT_EQ(recorded[0].target, "systemWide");
    EXPECT_EQ(recorded[0].seconds, 1);
    EXPECT_EQ(recorded[1].target, "100/AXButton/OK");
}

} // namespace
} // namespace dorvex::platform::sim
