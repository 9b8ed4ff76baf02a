// The tree read of a real GTK window (gtk3-widget-factory) two ways, in one run: the driver's
// "desktop_get_ui_tree" through the Linux binding (attributes of a node travel together), and
// a plain walk of the same window through libatspi, one property per call, as a user would
// write it by hand. Prints nodes, round trips (calls for the plain walk) and wall time.
// Run it on a desktop: bash scripts/linux-desktop.sh build/bench/atspi_tree_bench
#include "BenchDriver.h"
#include "Dorvex/Actions.h"
#include "platform/linux/LinuxDesktop.h"

#include <atspi/atspi.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using dorvex::Json;
constexpr int iterations = 5;
constexpr int maxDepth = 40;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

size_t countNodes(const Json& node) {
    size_t count = 1;
    for (const Json& child : node.value("children", Json::array()))
        count += countNodes(child);
    return count;
}

// As the request loop does: the platform's pass, then the request.
Json execute(dorvex::bench::BenchDriver& bench, const Json& action) {
    bench.driver().platform.workspace.runMainRunLoopOnce();
    dorvex::Reply reply = bench.driver().shared.replyTo("1");
    dorvex::handleAutomationExecute(bench.driver(), Json{{"action", action}}, reply);
    return Json::parse(bench.transport().last())["result"];
}

// The plain walk: what one node costs when each property is its own call.
struct PlainWalk {
    size_t nodes = 0;
    size_t calls = 0;

    void walk(AtspiAccessible* node, int depth) {
        ++nodes;
        GError* error = nullptr;
        g_free(atspi_accessible_get_role_name(node, &error));
        g_clear_error(&error);
        g_free(atspi_accessible_get_name(node, &error));
        g_clear_error(&error);
        g_free(atspi_accessible_get_description(node, &error));
        g_clear_error(&error);
        g_free(atspi_accessible_get_accessible_id(node, &error));
        g_clear_error(&error);
        calls += 4;
        if (AtspiComponent* component = atspi_accessible_get_component_iface(node)) {
            g_free(atspi_component_get_extents(component, ATSPI_COORD_TYPE_SCREEN, &error));
            g_clear_error(&error);
            g_object_unref(component);
            ++calls;
        }
        if (AtspiAction* action = atspi_accessible_get_action_iface(node)) {
            const gint count = atspi_action_get_n_actions(action, &error);
            g_clear_error(&error);
            ++calls;
            for (gint i = 0; i < count; ++i) {
                g_free(atspi_action_get_action_name(action, i, &error));
                g_clear_error(&error);
                ++calls;
            }
            g_object_unref(action);
        }
        if (AtspiText* text = atspi_accessible_get_text_iface(node)) {
            g_free(atspi_text_get_text(text, 0, -1, &error));
            g_clear_error(&error);
            g_object_unref(text);
            ++calls;
        }
        calls += 2; // the interfaces and the child count
        const gint children = depth < maxDepth ? atspi_accessible_get_child_count(node, &error) : 0;
        g_clear_error(&error);
        for (gint i = 0; i < children; ++i) {
            AtspiAccessible* child = atspi_accessible_get_child_at_index(node, i, &error);
            g_clear_error(&error);
            ++calls;
            if (child == nullptr) continue;
            walk(child, depth + 1);
            g_object_unref(child);
        }
    }
};

// The factory's window as libatspi sees it.
AtspiAccessible* plainWindow(int32_t pid) {
    AtspiAccessible* desktop = atspi_get_desktop(0);
    const gint apps = atspi_accessible_get_child_count(desktop, nullptr);
    AtspiAccessible* found = nullptr;
    for (gint i = 0; i < apps && found == nullptr; ++i) {
        AtspiAccessible* app = atspi_accessible_get_child_at_index(desktop, i, nullptr);
        if (app == nullptr) continue;
        if (static_cast<int32_t>(atspi_accessible_get_process_id(app, nullptr)) == pid) {
            found = atspi_accessible_get_child_at_index(app, 0, nullptr);
        }
        g_object_unref(app);
    }
    g_object_unref(desktop);
    return found;
}

} // namespace

int main() {
    const char* pidText = std::getenv("DORVEX_TEST_FACTORY_PID");
    if (pidText == nullptr || std::getenv("DISPLAY") == nullptr) {
        std::printf("skipped: run on a desktop (scripts/linux-desktop.sh)\n");
        return 77;
    }
    const int32_t pid = std::atoi(pidText);
    dorvex::platform::linux_desktop::LinuxDesktop desktop;
    dorvex::bench::BenchDriver bench(desktop);

    // Wait (bounded) until the app shows its whole window.
    Json window;
    size_t nodes = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (nodes < 50 && Clock::now() < deadline) {
        for (const Json& row :
             execute(bench, {{"actionType", "desktop_list_windows"}})["result"].value(
                 "windows", Json::array())) {
            if (row.value("ownerPid", 0) == pid) window = row;
        }
        if (!window.is_null()) {
            Json tree = execute(bench, {{"actionType", "desktop_get_ui_tree"},
                                        {"windowId", window["windowId"]},
                                        {"maxDepth", maxDepth}});
            if (tree["ok"] == true) nodes = countNodes(tree["result"]["tree"]);
        }
        if (nodes < 50) std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    if (nodes < 50) {
        std::printf("the factory's window never showed its tree\n");
        return 1;
    }

    double driverMs = 0;
    double waitedMs = 0;
    uint64_t driverTrips = 0;
    for (int i = 0; i < iterations; ++i) {
        const uint64_t before = desktop.accessibilityRoundTrips();
        const uint64_t waitedBefore = desktop.accessibilityWaitNanos();
        const auto start = Clock::now();
        Json tree = execute(bench, {{"actionType", "desktop_get_ui_tree"},
                                    {"windowId", window["windowId"]},
                                    {"maxDepth", maxDepth}});
        driverMs += msSince(start);
        driverTrips += desktop.accessibilityRoundTrips() - before;
        waitedMs += double(desktop.accessibilityWaitNanos() - waitedBefore) / 1e6;
        nodes = countNodes(tree["result"]["tree"]);
    }

    atspi_init();
    AtspiAccessible* plainRoot = plainWindow(pid);
    if (plainRoot == nullptr) {
        std::printf("libatspi does not see the factory\n");
        return 1;
    }
    double plainMs = 0;
    PlainWalk plain;
    for (int i = 0; i < iterations; ++i) {
        // Each walk starts cold, as each request of the driver does.
        atspi_accessible_clear_cache(plainRoot);
        plain = PlainWalk{};
        const auto start = Clock::now();
        plain.walk(plainRoot, 0);
        plainMs += msSince(start);
    }
    g_object_unref(plainRoot);

    std::printf("%-28s %8s %14s %12s %14s\n", "tree read", "nodes", "round trips", "wall ms",
                "ms per node");
    std::printf("%-28s %8zu %14.0f %12.1f %14.3f\n", "driver (desktop_get_ui_tree)", nodes,
                double(driverTrips) / iterations, driverMs / iterations,
                driverMs / iterations / double(nodes));
    std::printf("%-28s %8zu %14zu %12.1f %14.3f\n", "plain libatspi walk (calls)", plain.nodes,
                plain.calls, plainMs / iterations, plainMs / iterations / double(plain.nodes));
    std::printf("driver: %.1f ms of its wall time waiting on the bus\n", waitedMs / iterations);
    std::printf("speed-up: %.2fx (means of %d reads each)\n", plainMs / driverMs, iterations);
    return 0;
}
