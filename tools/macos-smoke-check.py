#!/usr/bin/env python3
"""One-command smoke check of the driver on a real Mac.

    tools/macos-smoke-check.py [path/to/dorvex]      (default: build/dorvex)

Starts the driver on the macOS desktop, pings it, asks which permissions it holds, lists the
running apps and the on-screen windows, reads the frontmost window's accessibility tree and
captures the main display. Prints one line per step, PASS or FAIL with the reason, names any
permission that is missing and where to grant it, and exits 0 only when every step passed.
"""
import json
import os
import select
import subprocess
import sys

ANSWER_WAIT_S = 30
SETTINGS = {
    "accessibility": "System Settings > Privacy & Security > Accessibility",
    "screen_capture": "System Settings > Privacy & Security > Screen & System Audio Recording",
    "post_event": "System Settings > Privacy & Security > Accessibility",
}


class Driver:
    def __init__(self, path):
        env = dict(os.environ)
        env.setdefault("DORVEX_PLATFORM", "macos")  # another binding only to try the script
        self.process = subprocess.Popen(
            [path], stdin=subprocess.PIPE, stdout=subprocess.PIPE, env=env, text=True, bufsize=1
        )
        self.next_id = 0

    def ask(self, method, params=None):
        self.next_id += 1
        request = {"jsonrpc": "2.0", "id": str(self.next_id), "method": method}
        if params is not None:
            request["params"] = params
        self.process.stdin.write(json.dumps(request) + "\n")
        self.process.stdin.flush()
        ready, _, _ = select.select([self.process.stdout], [], [], ANSWER_WAIT_S)
        if not ready:
            raise RuntimeError(f"no answer to {method} within {ANSWER_WAIT_S} s")
        line = self.process.stdout.readline()
        if not line:
            raise RuntimeError(f"the driver ended (status {self.process.wait()}) before answering")
        answer = json.loads(line)
        if "error" in answer:
            raise RuntimeError(f"{method}: {answer['error'].get('message')}")
        return answer["result"]

    def act(self, action):
        envelope = self.ask("automation.execute", {"action": action})
        if not envelope.get("ok"):
            error = envelope.get("error", {})
            raise RuntimeError(f"{error.get('code')}: {error.get('message')}")
        return envelope["result"]

    def close(self):
        self.process.stdin.close()
        try:
            self.process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            self.process.kill()


def frontmost_window(windows, frontmost_pid):
    normal = [w for w in windows if w.get("layer") == 0]
    mine = [w for w in normal if w.get("ownerPid") == frontmost_pid]
    return (mine or normal or [None])[0]


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else "build/dorvex"
    if not os.access(path, os.X_OK):
        print(f"FAIL  no driver at {path}: build it first (README, Building on macOS)")
        return 1
    driver = Driver(path)
    results = []
    missing = []
    state = {}

    def step(name, run):
        try:
            detail = run()
            results.append(True)
            print(f"PASS  {name}" + (f": {detail}" if detail else ""))
        except Exception as error:  # every failure is reported, then the next step runs
            results.append(False)
            print(f"FAIL  {name}: {error}")

    def ping():
        answer = driver.ask("system.ping")
        if answer.get("platform") != "darwin":
            raise RuntimeError(f"answered for {answer.get('platform')!r}, not the macOS desktop")
        return "darwin"

    def permissions():
        targets = [{"kind": kind} for kind in ("accessibility", "screen_capture", "post_event")]
        answer = driver.ask("permissions.status", {"grantProbe": "now", "targets": targets})
        for item in answer.get("items", []):
            if item.get("status") != "granted":
                missing.append(item.get("kind"))
        if missing:
            raise RuntimeError("missing: " + ", ".join(missing))
        return "accessibility, screen capture and input posting granted"

    def apps():
        listed = driver.act({"actionType": "desktop_list_apps"})
        return f"{len(listed.get('apps', []))} apps"

    def windows():
        listed = driver.act({"actionType": "desktop_list_windows"})
        state["window"] = frontmost_window(listed.get("windows", []), listed.get("frontmostPid"))
        return f"{len(listed.get('windows', []))} windows"

    def tree():
        window = state.get("window")
        if window is None:
            raise RuntimeError("no on-screen window to read")
        read = driver.act(
            {"actionType": "desktop_get_ui_tree", "windowId": window["windowId"], "maxDepth": 2}
        )
        root = read.get("tree") or {}
        return f"{window.get('ownerName')} window {window['windowId']}, role {root.get('role')}"

    def capture():
        captured = driver.act({"actionType": "desktop_capture_screen"})
        return f"{captured.get('width')}x{captured.get('height')} pixels in {captured.get('filePath')}"

    try:
        step("driver answers a ping", ping)
        step("permissions", permissions)
        step("list apps", apps)
        step("list windows", windows)
        step("frontmost window's accessibility tree", tree)
        step("capture the main display", capture)
    finally:
        driver.close()

    for kind in dict.fromkeys(missing):
        where = SETTINGS.get(kind, "System Settings > Privacy & Security")
        print(f"      grant {kind} to {os.path.abspath(path)} in {where}, then run again")
    passed = sum(results)
    print(f"{passed} of {len(results)} steps passed")
    return 0 if passed == len(results) else 1


if __name__ == "__main__":
    sys.exit(main())
