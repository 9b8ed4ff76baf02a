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
Json waitFor(const std::function<Json()>& ready, std::chrono::milliseconds limit = 20s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (true) {
        Json value = ready();
        if (!value.is_null() || std::chrono::steady_clock::now() > deadline) return value;
        std::this_thread::sleep_for(100ms);
    }
}

Json listWindows(DriverProcess& driver) {
    return driver.execute({{"actionType", "desktop_list_windows"}});
}

// The on-screen window of the pid, once it is listed; null if it never is.
Json windowOf(DriverProcess& driver, int32_t pid) {
    return waitFor([&]() -> Json {
        Json answer = listWindows(driver);
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
                                 {"x", x - window["bounds"]["x"].get<double>()},
                                 {"y", y - window["bounds"]["y"].get<double>()}}));
}

Json clickNode(DriverProcess& driver, const Json& window, const Json& node) {
    const Json& b = node["bounds"];
    return clickAt(driver, window, b["x"].get<double>() + b["width"].get<double>() / 2,
                   b["y"].get<double>() + b["height"].get<double>() / 2);
}

class RealApps : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr || pidFrom("DORVEX_TEST_FACTORY_PID") == 0) {
            GTEST_SKIP() << "no desktop: run through scripts/linux-desktop.sh";
        }
    }
    const int32_t factory = pidFrom("DORVEX_TEST_FACTORY_PID");
    const int32_t entry = pidFrom("DORVEX_TEST_ENTRY_PID");
    const int32_t password = pidFrom("DORVEX_TEST_PASSWORD_PID");
};

TEST_F(RealApps, PingNamesLinuxAndWindowsAndAppsAreListed) {
    DriverProcess driver(onLinux());
    EXPECT_EQ(driver.request("system.ping")["result"]["platform"], "linux");
    Json window = windowOf(driver, factory);
    ASSERT_FALSE(window.is_null()) << listWindows(driver).dump();
    EXPECT_GT(window["bounds"]["width"].get<double>(), 100);
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
    Json box = nodeWhere(driver, window, [](const Json& node) {
        return node["role"] == "AXCheckBox" && node.value("valuePreview", Json()) == "0" &&
               node.contains("bounds");
    });
    ASSERT_FALSE(box.is_null());
    Json pressed = driver.execute({{"actionType", "desktop_invoke_element_action"},
                                   {"elementPath", box["path"]},
                                   {"elementAction", "AXPress"}});
    ASSERT_EQ(pressed["ok"], true) << pressed.dump();
    Json checked = nodeWhere(driver, window, [&](const Json& node) {
        return node.value("path", Json()) == box["path"] &&
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

    // A click at the middle of the short text puts the caret after it (GTK selects nothing on
    // a click); the typed text then follows what was set.
    ASSERT_EQ(clickNode(driver, window, field)["ok"], true);
    Json typed = driver.execute(input({{"mode", "text"}, {"text", " Lovelace-\u00e9"}}));
    ASSERT_EQ(typed["ok"], true) << typed.dump();
    EXPECT_FALSE(valueIs("Ada Lovelace-\u00e9").is_null())
        << treeOf(driver, window).dump().substr(0, 800);
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
    EXPECT_EQ(png->width, window["bounds"]["width"].get<double>());
    EXPECT_EQ(png->height, window["bounds"]["height"].get<double>());
    std::set<uint32_t> colours;
    for (size_t i = 0; i + 3 < png->rgba.size() && colours.size() < 16; i += 4 * 97) {
        colours.insert(uint32_t(png->rgba[i]) << 16 | uint32_t(png->rgba[i + 1]) << 8 |
                       png->rgba[i + 2]);
    }
    EXPECT_GE(colours.size(), 4u) << "the capture is nearly one colour";
}

TEST_F(RealApps, AClickLandsInItsWindowAndIsRefusedWhereAnotherCoversIt) {
    DriverProcess driver(onLinux());
    ASSERT_FALSE(windowOf(driver, factory).is_null());
    ASSERT_FALSE(windowOf(driver, entry).is_null());
    // Front to back: whichever of the two comes first covers the other where they overlap
    // (openbox centres the dialog over the factory's window).
    Json front, back;
    for (const Json& window : listWindows(driver)["result"]["windows"]) {
        const int32_t owner = window.value("ownerPid", 0);
        if (owner != factory && owner != entry) continue;
        (front.is_null() ? front : back) = window;
        if (!back.is_null()) break;
    }
    ASSERT_FALSE(back.is_null());
    const Json& f = front["bounds"];
    const Json& b = back["bounds"];
    const double left = std::max(f["x"].get<double>(), b["x"].get<double>());
    const double top = std::max(f["y"].get<double>(), b["y"].get<double>());
    const double right = std::min(f["x"].get<double>() + f["width"].get<double>(),
                                  b["x"].get<double>() + b["width"].get<double>());
    const double bottom = std::min(f["y"].get<double>() + f["height"].get<double>(),
                                   b["y"].get<double>() + b["height"].get<double>());
    ASSERT_LT(left + 20, right) << "the windows do not overlap";
    ASSERT_LT(top + 20, bottom);
    // A spot near the overlap's top left corner: window chrome, not a button.
    const double x = left + 10, y = top + 10;

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
    ASSERT_EQ(clickNode(driver, window, field)["ok"], true);
    ASSERT_EQ(send(input({{"mode", "text"}, {"text", secret}}))["ok"], true);
    send({{"actionType", "desktop_get_ui_tree"},
          {"windowId", window["windowId"]},
          {"maxDepth", 40}});
    send({{"actionType", "desktop_find_elements"},
          {"windowId", window["windowId"]},
          {"role", "AXSecureTextField"}});
    send({{"actionType", "desktop_list_windows"}});
    send({{"actionType", "desktop_list_apps"}});
    // The field holds something now (GTK shows it as bullets to AT-SPI, never the text).
    for (const std::string& line : lines) {
        EXPECT_EQ(line.find(secret), std::string::npos) << line.substr(0, 200);
        EXPECT_EQ(line.find("s3cret"), std::string::npos);
    }
}

} // namespace
} // namespace dorvex::testing
