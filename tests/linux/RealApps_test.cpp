// The built driver on a real Linux desktop: Xvfb, openbox and real GTK applications, started
// by scripts/linux-desktop.sh, which passes their pids in the environment. Nothing here is
// simulated: windows come from X, elements from AT-SPI, input goes through XTest.
#include "support/DriverProcess.h"
#include "support/PngFiles.h"
#include "support/Scenarios.h"

#include <chrono>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <thread>

namespace dorvex::testing {
namespace {

using namespace std::chrono_literals;

int32_t pidFrom(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::atoi(value) : 0;
}

DriverOptions onLinux() {
    DriverOptions options;
    options.env = {{"DORVEX_PLATFORM", "linux"}};
    return options;
}

// Polls until `ready` gives a non-null value, for at most `limit`.
Json waitFor(const std::function<Json()>& ready, std::chrono::milliseconds limit = 60s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (true) {
        Json value = ready();
        if (!value.is_null() || std::chrono::steady_clock::now() > deadline) return value;
        std::this_thread::sleep_for(100ms);
    }
}

Json listWindows(DriverProcess& driver, int32_t pid) {
    return driver.execute({{"actionType", "desktop_list_windows"}, {"appPid", pid}});
}

// A window row's bounds ("X", "Y", "Width", "Height") as the rectangle nodes use.
Json boundsOf(const Json& window) {
    const Json& b = window["bounds"];
    return {{"x", b["X"]}, {"y", b["Y"]}, {"width", b["Width"]}, {"height", b["Height"]}};
}

// The on-screen window of the pid, once it is listed; null if it never is.
Json windowOf(DriverProcess& driver, int32_t pid) {
    return waitFor([&]() -> Json {
        Json answer = listWindows(driver, pid);
        for (const Json& window : answer["result"].value("windows", Json::array())) {
            if (window.value("ownerPid", 0) == pid) return window;
        }
        return nullptr;
    });
}

Json treeOf(DriverProcess& driver, const Json& window, int depth = 40) {
    return driver.execute({{"actionType", "desktop_get_ui_tree"},
                           {"windowId", window["windowId"]},
                           {"maxDepth", depth}});
}

// The first node of the window's tree that `matches`, once the app shows one; null if never.
Json nodeWhere(DriverProcess& driver, const Json& window,
               const std::function<bool(const Json&)>& matches) {
    return waitFor([&]() -> Json {
        Json found;
        Json tree = treeOf(driver, window);
        eachNode(tree["result"]["tree"], [&](const Json& node) {
            if (found.is_null() && matches(node)) found = node;
        });
        return found;
    });
}

Json roleIs(DriverProcess& driver, const Json& window, const std::string& role) {
    return nodeWhere(driver, window, [&](const Json& node) { return node["role"] == role; });
}

Json input(Json fields) {
    Json action{{"actionType", "desktop_send_input"}};
    action.update(fields);
    return action;
}

// A click at the centre of a node, in the window's own coordinates.
Json clickAt(DriverProcess& driver, const Json& window, double x, double y) {
    return driver.execute(input({{"mode", "mouse_click"},
                                 {"coordinateSpace", "window"},
                                 {"windowId", window["windowId"]},
                                 {"x", x - boundsOf(window)["x"].get<double>()},
                                 {"y", y - boundsOf(window)["y"].get<double>()}}));
}

// Types once the window manager has given the app the keyboard (a click focuses its window
// a moment later); until then the driver refuses and types nothing.
Json typeInto(DriverProcess& driver, int32_t pid, const std::string& text) {
    Json last;
    Json typed = waitFor([&]() -> Json {
        last = driver.execute(
            input({{"mode", "text"}, {"text", text}, {"expectedFrontmostPid", pid}}));
        return last["ok"] == true ? last : Json();
    });
    return typed.is_null() ? last : typed;
}

// A click near a node's right end, half-way down: the part of the entry dialog that the
// factory's window never covers.
Json clickNode(DriverProcess& driver, const Json& window, const Json& node) {
    const Json& b = node["bounds"];
    return clickAt(driver, window, b["x"].get<double>() + b["width"].get<double>() - 6,
                   b["y"].get<double>() + b["height"].get<double>() / 2);
}

class RealApps : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr || pidFrom("DORVEX_TEST_FACTORY_PID") == 0) {
            GTEST_SKIP() << "no desktop: run through scripts/linux-desktop.sh";
        }
        // Once: every app's window is up before any test clicks or types.
        static const bool ready = [this] {
            DriverProcess driver(onLinux());
            return !windowOf(driver, factory).is_null() && !windowOf(driver, entry).is_null() &&
                   !windowOf(driver, password).is_null();
        }();
        ASSERT_TRUE(ready) << "the apps' windows never showed";
    }
    const int32_t factory = pidFrom("DORVEX_TEST_FACTORY_PID");
    const int32_t entry = pidFrom("DORVEX_TEST_ENTRY_PID");
    const int32_t password = pidFrom("DORVEX_TEST_PASSWORD_PID");
};

TEST_F(RealApps, PingNamesLinuxAndWindowsAndAppsAreListed) {
    DriverProcess driver(onLinux());
    EXPECT_EQ(driver.request("system.ping")["result"]["platform"], "linux");
    Json window = windowOf(driver, factory);
    ASSERT_FALSE(window.is_null()) << listWindows(driver, factory).dump();
    EXPECT_GT(boundsOf(window)["width"].get<double>(), 100);
    ASSERT_FALSE(windowOf(driver, entry).is_null());

    Json apps = waitFor([&]() -> Json {
        Json answer = driver.execute({{"actionType", "desktop_list_apps"}});
        for (const Json& app : answer["result"].value("apps", Json::array())) {
            if (app.value("pid", 0) == factory) return app;
        }
        return nullptr;
    });
    ASSERT_FALSE(apps.is_null());
    // GTK publishes its application id; the executable name stands in elsewhere.
    EXPECT_EQ(apps["bundleId"], "org.gtk.WidgetFactory") << apps.dump();
}

TEST_F(RealApps, TheTreeIsReadAndSearched) {
    DriverProcess driver(onLinux());
    Json window = windowOf(driver, factory);
    ASSERT_FALSE(window.is_null());
    Json button = roleIs(driver, window, "AXButton");
    ASSERT_FALSE(button.is_null());
    Json tree = treeOf(driver, window);
    EXPECT_EQ(tree["result"]["tree"]["role"], "AXWindow") << tree.dump().substr(0, 400);
    size_t nodes = 0;
    eachNode(tree["result"]["tree"], [&](const Json&) { ++nodes; });
    EXPECT_GT(nodes, 50u);

    Json found = driver.execute({{"actionType", "desktop_find_elements"},
                                 {"windowId", window["windowId"]},
                                 {"role", "AXCheckBox"},
                                 {"limit", 50}});
    ASSERT_EQ(found["ok"], true) << found.dump();
    Json matches = found["result"]["matches"];
    ASSERT_FALSE(matches.empty()) << found.dump().substr(0, 400);
    for (const Json& match : matches)
        EXPECT_EQ(match["role"], "AXCheckBox");
}

TEST_F(RealApps, PressingACheckBoxChecksIt) {
    DriverProcess driver(onLinux());
    Json window = windowOf(driver, factory);
    ASSERT_FALSE(window.is_null());
    ASSERT_FALSE(roleIs(driver, window, "AXCheckBox").is_null());
    // The first unchecked box that takes the press (the factory also shows disabled ones).
    Json pressedPath;
    eachNode(treeOf(driver, window)["result"]["tree"], [&](const Json& node) {
        if (!pressedPath.is_null() || node["role"] != "AXCheckBox" ||
            node.value("valuePreview", Json()) != "0") {
            return;
        }
        Json pressed = driver.execute({{"actionType", "desktop_invoke_element_action"},
                                       {"elementPath", node["path"]},
                                       {"elementAction", "AXPress"}});
        if (pressed["ok"] == true) pressedPath = node["path"];
    });
    ASSERT_FALSE(pressedPath.is_null()) << "no check box took the press";
    Json checked = nodeWhere(driver, window, [&](const Json& node) {
        return node.value("path", Json()) == pressedPath &&
               node.value("valuePreview", Json()) == "1";
    });
    EXPECT_FALSE(checked.is_null()) << "the check box never read as checked";
}

TEST_F(RealApps, AFieldIsSetAndTypedIntoAndReadBack) {
    DriverProcess driver(onLinux());
    Json window = windowOf(driver, entry);
    ASSERT_FALSE(window.is_null());
    Json field = roleIs(driver, window, "AXTextField");
    ASSERT_FALSE(field.is_null()) << treeOf(driver, window).dump().substr(0, 600);
    Json set = driver.execute({{"actionType", "desktop_set_element_value"},
                               {"elementPath", field["path"]},
                               {"value", "Ada"}});
    ASSERT_EQ(set["ok"], true) << set.dump();
    auto valueIs = [&](const std::string& value) {
        return nodeWhere(driver, window, [&](const Json& node) {
            return node["role"] == "AXTextField" && node.value("valuePreview", Json()) == value;
        });
    };
    EXPECT_FALSE(valueIs("Ada").is_null());

    Json click = clickNode(driver, window, field);
    ASSERT_EQ(click["ok"], true) << click.dump();
    Json typed = typeInto(driver, entry, " Lovelace-\u00e9");
    ASSERT_EQ(typed["ok"], true) << typed.dump();
    // Where the caret lands on the click is GTK's choice: the text must be in the field.
    Json withTyped = nodeWhere(driver, window, [](const Json& node) {
        return node["role"] == "AXTextField" && node.value("valuePreview", Json()).is_string() &&
               node["valuePreview"].get<std::string>().find(" Lovelace-\u00e9") !=
                   std::string::npos &&
               node["valuePreview"].get<std::string>().find("Ada") != std::string::npos;
    });
    EXPECT_FALSE(withTyped.is_null()) << roleIs(driver, window, "AXTextField").dump();
}

TEST_F(RealApps, ACapturedWindowIsItsSizeAndNotBlank) {
    DriverProcess driver(onLinux());
    Json window = windowOf(driver, factory);
    ASSERT_FALSE(window.is_null());
    Json capture = driver.execute(
        {{"actionType", "desktop_capture_screen"}, {"windowId", window["windowId"]}});
    ASSERT_EQ(capture["ok"], true) << capture.dump();
    std::optional<DecodedPng> png = decodePngFile(capture["result"]["filePath"].get<std::string>());
    ASSERT_TRUE(png.has_value());
    EXPECT_EQ(png->width, boundsOf(window)["width"].get<double>());
    EXPECT_EQ(png->height, boundsOf(window)["height"].get<double>());
    std::set<uint32_t> colours;
    for (size_t i = 0; i + 3 < png->rgba.size() && colours.size() < 16; i += 4 * 97) {
        colours.insert(uint32_t(png->rgba[i]) << 16 | uint32_t(png->rgba[i + 1]) << 8 |
                       png->rgba[i + 2]);
    }
    EXPECT_GE(colours.size(), 4u) << "the capture is nearly one colour";
}

TEST_F(RealApps, AClickLandsInItsWindowAndIsRefusedWhereAnotherCoversIt) {
    DriverProcess driver(onLinux());
    Json back = windowOf(driver, factory);
    Json front = windowOf(driver, entry);
    ASSERT_FALSE(back.is_null());
    ASSERT_FALSE(front.is_null());
    // The desktop puts the dialog across the factory window's right edge; a click into its
    // field brings it to the front (openbox raises on click).
    Json field = roleIs(driver, front, "AXTextField");
    ASSERT_FALSE(field.is_null());
    Json click = clickNode(driver, front, field);
    ASSERT_EQ(click["ok"], true) << click.dump();
    const Json f = boundsOf(front);
    const Json b = boundsOf(back);
    // Inside the part they share, level with the field: the dialog's own padding (the title bar
    // above it is openbox's, which a press could start dragging).
    const double x = std::max(f["x"].get<double>(), b["x"].get<double>()) + 10;
    const double y =
        field["bounds"]["y"].get<double>() + field["bounds"]["height"].get<double>() / 2;
    ASSERT_LT(x, b["x"].get<double>() + b["width"].get<double>()) << "the windows do not overlap";
    ASSERT_LT(y, b["y"].get<double>() + b["height"].get<double>());
    ASSERT_LT(x, f["x"].get<double>() + f["width"].get<double>());
    ASSERT_LT(y, f["y"].get<double>() + f["height"].get<double>());

    Json refused = clickAt(driver, back, x, y);
    EXPECT_EQ(refused["ok"], false) << refused.dump();
    EXPECT_EQ(refused["error"]["code"], "target_occluded") << refused.dump();
    Json fine = clickAt(driver, front, x, y);
    EXPECT_EQ(fine["ok"], true) << fine.dump();
}

TEST_F(RealApps, APasswordTypedIntoZenityNeverAppearsInAnyLine) {
    const std::string secret = "s3cret-Dorvex-PW";
    DriverProcess driver(onLinux());
    std::vector<std::string> lines;
    auto send = [&](Json action) {
        Json answer = driver.execute(std::move(action));
        lines.push_back(answer.dump());
        return answer;
    };
    Json window = windowOf(driver, password);
    ASSERT_FALSE(window.is_null());
    Json field = roleIs(driver, window, "AXSecureTextField");
    ASSERT_FALSE(field.is_null()) << treeOf(driver, window).dump().substr(0, 600);
    EXPECT_EQ(field["secure"], true);
    EXPECT_FALSE(field.contains("valuePreview"));
    Json click = clickNode(driver, window, field);
    ASSERT_EQ(click["ok"], true) << click.dump();
    Json typed = typeInto(driver, password, secret);
    lines.push_back(typed.dump());
    ASSERT_EQ(typed["ok"], true) << typed.dump() << listWindows(driver, password).dump()
                                 << click.dump() << field.dump();
    send({{"actionType", "desktop_get_ui_tree"},
          {"windowId", window["windowId"]},
          {"maxDepth", 40}});
    send({{"actionType", "desktop_find_elements"},
          {"windowId", window["windowId"]},
          {"role", "AXSecureTextField"}});
    send({{"actionType", "desktop_list_windows"}, {"appPid", password}});
    send({{"actionType", "desktop_list_apps"}});
    // The field holds something now (GTK shows it as bullets to AT-SPI, never the text).
    for (const std::string& line : lines) {
        EXPECT_EQ(line.find(secret), std::string::npos) << line.substr(0, 200);
        EXPECT_EQ(line.find("s3cret"), std::string::npos);
    }
}

} // namespace
} // namespace dorvex::testing
