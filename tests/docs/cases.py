"""Requests over the example desktops that reach every method and action, answered and refused.

Each call states what it expects ("ok", an action failure code, "fail" for a method's own
"ok" false, or a JSON-RPC error code) and whether its params must pass the document's schema
(True), must break it (False: the driver refuses them, so the schema must too) or are a
tolerated spelling the schema need not take (None).
"""

import json
import os

from protocol import Driver


class Session:
    def __init__(self, doc, driver, report):
        self.doc = doc
        self.driver = driver
        self.report = report

    def call(self, method, params=None, expect="ok", valid=True, request_id=None):
        label = f"{method} {params}"[:200]
        if valid is not None:
            errors = self.doc.check_params(method, params or {})
            if valid and errors:
                self.report.problem(f"{label}: params break the document: {errors}")
            if not valid and not errors:
                self.report.problem(f"{label}: the driver refuses these params, the document takes them")
        answer = self.driver.request(method, params, request_id)
        if answer is None:
            self.report.problem(f"{label}: no answer")
            return None
        self.check(method, answer, expect, label)
        return answer

    def execute(self, action, expect="ok", valid=True, request_id=None):
        return self.call("automation.execute", {"action": action}, expect, valid, request_id)

    def check(self, method, answer, expect, label):
        for error in self.doc.check_answer(method, answer):
            self.report.problem(f"{label}: answer {str(answer)[:300]} breaks the document: {error}")
        outcome, name = outcome_of(method, answer)
        self.report.seen(name, "success" if outcome == "ok" else "failure")
        self.report.seen(method, "failure" if "error" in answer else "success")
        if outcome != expect:
            self.report.problem(f"{label}: expected {expect}, got {outcome}: {str(answer)[:300]}")


def outcome_of(method, answer):
    """What the answer says, and the method or action type it is about."""
    if "error" in answer:
        return answer["error"]["code"], method
    result = answer["result"]
    if method == "automation.execute":
        return ("ok" if result["ok"] else result["error"]["code"]), result["actionType"]
    if result.get("ok") is False:
        return "fail", method
    return "ok", method


def run_all(doc, binary, scenarios, report):
    for cases, scenario, env in [
        (default_desktop, None, {}),
        (click_targets, "click-targets.json", {}),
        (faults, "faults.json", {"DORVEX_APP_INVENTORY_TIMEOUT_MS": "50"}),
        (automation, "automation.json", {}),
        (loops, "cyclic.json", {}),
    ]:
        driver = Driver(binary, scenario and f"{scenarios}/{scenario}", env)
        cases(Session(doc, driver, report))
        _, status, stderr = driver.finish()
        if status != 0 or stderr:
            report.problem(f"{cases.__name__}: exit {status}, standard error {stderr[:200]!r}")


def default_desktop(s):
    s.call("system.ping")
    capabilities = s.call("system.capabilities")
    s.report.capabilities = capabilities["result"]["supportedActionTypes"]
    s.call("no.such.method", expect=-32601, valid=None)

    s.execute({"actionType": "desktop_list_apps"})
    s.execute({"actionType": "desktop_list_monitors"})
    s.execute({"actionType": "desktop_list_windows"})
    s.execute({"actionType": "desktop_list_windows", "appBundleId": "com.apple.finder", "appPid": 312})
    s.execute({"actionType": "desktop_list_windows", "windowId": 217.5}, "invalid_input", False)
    s.execute({"actionType": "desktop_list_windows", "windowId": "217"}, valid=None)

    s.execute({"actionType": "desktop_get_ui_tree", "windowId": 217, "maxDepth": 4})
    s.execute({"actionType": "desktop_get_ui_tree", "appBundleId": "com.apple.finder"})
    s.execute({"actionType": "desktop_get_ui_tree", "windowId": 99999}, "window_not_found")
    s.execute({"actionType": "desktop_get_ui_tree", "appBundleId": "com.apple.calculator"},
              "app_not_running")
    s.execute({"actionType": "desktop_get_ui_tree", "appPid": "five"}, "invalid_input", False)

    found = s.execute({"actionType": "desktop_find_elements", "windowId": 217, "role": "button"})
    s.execute({"actionType": "desktop_find_elements", "appPid": 501, "limit": 3})
    s.execute({"actionType": "desktop_find_elements", "windowId": 217, "appPid": 312},
              "window_not_found")
    button = found["result"]["result"]["matches"][0]["path"] if found else ["identity:x"]
    fields = s.execute({"actionType": "desktop_find_elements", "windowId": 217, "role": "textfield"})
    name_field, password_field = (match["path"] for match in fields["result"]["result"]["matches"][:2])

    s.execute({"actionType": "desktop_invoke_element_action", "elementPath": button,
               "elementAction": "AXPress"})
    s.execute({"actionType": "desktop_invoke_element_action", "elementPath": button},
              "invalid_input", False)
    s.execute({"actionType": "desktop_invoke_element_action", "elementAction": "AXPress",
               "elementPath": button[:-1] + ["identity:AXButton:" + ":".join(["0" * 16] * 4)]},
              "element_not_found")
    s.execute({"actionType": "desktop_invoke_element_action", "elementPath": button,
               "elementAction": "AXNoSuchAction"}, "unsupported_action")
    s.execute({"actionType": "desktop_set_element_value", "elementPath": name_field, "value": "Grace"})
    s.execute({"actionType": "desktop_set_element_value", "elementPath": password_field,
               "value": "hunter2"})
    s.execute({"actionType": "desktop_set_element_value", "elementPath": name_field, "value": 5},
              "invalid_input", False)
    s.execute({"actionType": "desktop_set_element_value", "elementPath": ["nonsense"], "value": ""},
              "element_not_found")

    sub = s.execute({"actionType": "desktop_subscribe_ui_events",
                     "eventTypes": ["focused_app_changed", "focused_pid_changed", "state_changed"]})
    subscription = sub["result"]["result"]["subscriptionId"]
    s.execute({"actionType": "desktop_subscribe_ui_events", "eventTypes": []}, "invalid_input", False)
    s.execute({"actionType": "desktop_get_ui_events", "subscriptionId": subscription, "limit": 2})
    s.execute({"actionType": "desktop_get_ui_events", "subscriptionId": subscription, "cursor": 2})
    s.execute({"actionType": "desktop_get_ui_events", "subscriptionId": "sub_0"},
              "subscription_not_found")

    s.execute({"actionType": "desktop_capture_screen"})
    s.execute({"actionType": "desktop_capture_screen", "windowId": 217})
    s.execute({"actionType": "desktop_capture_screen", "monitorId": -1}, "monitor_not_found")
    s.execute({"actionType": "desktop_capture_screen", "windowId": 99999}, "window_not_found")
    # The capture directory must be a real directory of the user's: a link to one is refused.
    captures = os.path.join(s.driver.scratch.name, "nubo-desktop-captures")
    os.rename(captures, captures + ".real")
    os.symlink(captures + ".real", captures)
    s.execute({"actionType": "desktop_capture_screen"}, "io_failed")

    s.execute({"actionType": "desktop_send_input", "mode": "keystroke", "key": "cmd+a",
               "expectedFrontmostPid": 501})
    s.execute({"actionType": "desktop_send_input", "mode": "text", "text": " Byron"})
    s.execute({"actionType": "desktop_send_input", "mode": "mouse_click", "coordinateSpace": "window",
               "windowId": 217, "x": 730, "y": 564, "screenshotWindowWidth": 800,
               "screenshotWindowHeight": 600, "button": "right"})
    s.execute({"actionType": "desktop_send_input", "mode": "mouse_click", "x": 300, "y": 300})
    send_failures = [
        ({"mode": "keystroke", "key": "cmd+q"}, "policy_blocked", True),
        ({"mode": "keystroke", "key": "cmd+f5"}, "unsupported_key", True),
        ({"mode": "keystroke", "key": "a", "expectedFrontmostPid": 312}, "target_missing", True),
        ({"mode": "keystroke", "key": "a", "expectedFrontmostPid": "TextEdit"}, "invalid_input", False),
        ({"mode": "keystroke"}, "invalid_key", False),
        ({"mode": "text", "text": ""}, "invalid_text", False),
        ({"mode": "Keystroke", "key": "a"}, "invalid_mode", False),
        ({}, "invalid_input", False),
        ({"mode": "mouse_click", "x": 10}, "invalid_coordinates", False),
        ({"mode": "mouse_click", "x": -50, "y": 10}, "point_off_display", True),
        ({"mode": "mouse_click", "coordinateSpace": "window", "windowId": 217, "x": 10, "y": 10,
          "screenshotWindowWidth": 640, "screenshotWindowHeight": 480}, "stale_screenshot", True),
    ]
    for action, code, valid in send_failures:
        s.execute({"actionType": "desktop_send_input", **action}, code, valid)

    s.execute({"actionType": "desktop_run_applescript", "targetBundleId": "com.apple.TextEdit",
               "script": "echo hello", "timeout": 5000})
    s.execute({"actionType": "desktop_run_applescript", "targetBundleId": "com.apple.TextEdit",
               "script": "echo oops >&2; exit 3"}, "osascript_failed")
    s.execute({"actionType": "desktop_run_applescript", "targetBundleId": "com.apple.calculator",
               "script": "echo hi"}, "target_app_not_running")
    s.execute({"actionType": "desktop_run_applescript", "targetBundleId": "com.apple.TextEdit",
               "script": "sleep 10", "timeout": 1000}, "timeout")
    s.execute({"actionType": "desktop_run_applescript", "targetBundleId": "com.apple.TextEdit",
               "script": "  "}, "invalid_input", False)
    s.execute({"actionType": "desktop_run_applescript", "script": "echo hi"}, "invalid_input", False)
    # A run stopped by automation.cancel answers "cancelled" after the cancel's own answer.
    s.driver.send('{"jsonrpc":"2.0","id":"long","method":"automation.execute","params":{"action":'
                  '{"actionType":"desktop_run_applescript","targetBundleId":"com.apple.TextEdit",'
                  '"script":"sleep 20"}}}')
    s.call("automation.cancel", {"requestId": "long"})
    stopped = s.driver.answer("long")
    if stopped is None:
        s.report.problem("the cancelled run never answered")
    else:
        s.check("automation.execute", stopped, "cancelled", "cancelled run")
    s.call("automation.cancel", {"requestId": "nothing-running"})
    s.call("automation.cancel", {"requestId": "   "}, -32602, False)

    s.execute({"actionType": "desktop_no_such_action"}, "unsupported_action", False)
    s.call("automation.execute", {}, "invalid_input", False)

    s.call("system.appState", {"bundleId": "com.apple.TextEdit"})
    s.call("system.appState", {}, -32602, False)
    s.call("system.runningApps")
    s.call("system.automationTargetInfo", {"bundleId": "com.apple.TextEdit"})
    s.call("system.automationTargetInfo", {"bundleId": "com.apple.calculator"})
    s.call("system.automationTargetInfo", {"bundleId": ""}, -32602, False)
    s.call("system.requestAutomationPermission", {"bundleId": "com.apple.TextEdit"})
    s.call("system.requestAutomationPermission", {"bundleId": "com.apple.calculator"})
    s.call("system.requestAutomationPermission", {}, -32602, False)
    s.call("permissions.status")
    s.call("permissions.status", {"grantProbe": "throttled", "targets": [
        {"kind": "accessibility"}, {"kind": "screen_capture"}, {"kind": "post_event"},
        {"kind": "automation", "targetBundleId": "com.apple.TextEdit", "scope": "mine"}]})
    s.call("permissions.status", {"targets": [{"scope": "x"}]}, -32602, False)
    s.call("permissions.request", {"kind": "listen_event"})
    s.call("permissions.request", {"kind": "automation", "targetBundleId": "com.apple.TextEdit",
                                   "prompt": False})
    s.call("permissions.request", {"kind": "microphone"}, -32602, False)
    s.call("permissions.request", {"kind": "automation"}, -32602, None)
    s.call("permissions.openSettings", {"target": "Privacy_ScreenCapture"})
    s.call("permissions.openSettings")
    s.call("app.launch", {"bundleId": "com.apple.calculator", "waitForLaunchMs": 2000})
    s.call("app.launch", {"bundleId": "com.example.NotInstalled"}, "fail")
    s.call("app.launch", {"activate": True}, -32602, False)


def click_targets(s):
    # Preview's report window, where Notes covers it; the host's own shield does not count.
    s.execute({"actionType": "desktop_send_input", "mode": "mouse_click", "coordinateSpace": "window",
               "windowId": 701, "x": 780, "y": 100, "screenshotWindowWidth": 800,
               "screenshotWindowHeight": 600, "hostPid": 4000}, "target_occluded")
    s.execute({"actionType": "desktop_send_input", "mode": "mouse_click", "coordinateSpace": "window",
               "windowId": 701, "x": 100, "y": 100, "screenshotWindowWidth": 800,
               "screenshotWindowHeight": 600, "hostPid": 4000})


def faults(s):
    s.execute({"actionType": "desktop_list_apps"}, "app_inventory_timeout")
    s.call("system.runningApps", expect=-32000)
    s.execute({"actionType": "desktop_list_monitors"})
    s.execute({"actionType": "desktop_capture_screen", "monitorId": 5}, "monitor_not_found")
    s.execute({"actionType": "desktop_capture_screen", "windowId": 900}, "capture_failed")
    s.execute({"actionType": "desktop_get_ui_tree", "appPid": 601})
    s.execute({"actionType": "desktop_get_ui_tree", "appPid": 600})
    s.execute({"actionType": "desktop_find_elements", "appPid": 600,
               "appBundleId": "com.example.Partial"}, "invalid_input")
    s.execute({"actionType": "desktop_send_input", "mode": "mouse_click", "x": 400, "y": 300},
              "cursor_not_at_point")


def automation(s):
    s.call("system.requestAutomationPermission", {"bundleId": "com.apple.finder"})
    s.call("system.requestAutomationPermission", {"bundleId": "com.example.Legacy"})
    s.call("permissions.status", {"grantProbe": "now", "targets": [{"kind": "screen_capture"}]})
    s.call("app.launch", {"bundleId": "com.example.Damaged"}, "fail")
    s.call("system.runningApps")


def loops(s):
    # A window that lists itself among its children: repeated elements are marked, not walked.
    tree = s.execute({"actionType": "desktop_get_ui_tree", "windowId": 6001, "maxDepth": 3})
    if tree and '"repeatsAncestor": true' not in json.dumps(tree):
        s.report.problem("the looping tree has no repeated element marked")
    s.execute({"actionType": "desktop_find_elements", "windowId": 6001})
