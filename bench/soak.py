#!/usr/bin/env python3
"""A soak: drives the built binary for minutes with a random mix of every method and action,
valid and invalid, plus lines that are not requests, scenario reloads, script runs (quick,
sleeping, failing, flooding, timing out) and cancels, and checks what must hold all along:

- every request is answered exactly once (a second run under an id already running: twice,
  once at once and once by the run), a line that is not a request never, and within a bound;
- the driver never crashes and ends with status 0 at the end of its input;
- no zombie child stays behind, and no child at all once every run is answered;
- no script file is left in the temporary directory;
- memory stays flat: resident memory sampled every 5 s; the lowest sample of the last fifth
  may not be above the highest of the second fifth (the first is warm-up). Figures give
  [lowest, median, highest] of both fifths.

Usage: bench/soak.py [--binary build/dorvex] [--minutes 5] [--seed N] [--rate 200]
                     [--only methods|scripts]
Prints the figures as JSON and exits 1 when a check failed.
"""

import argparse
import json
import os
import random
import select
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SCENARIOS = ["default.json", "automation.json", "faults.json", "secure-fields.json",
             "two-displays.json"]
RUNNING_APPS = ["com.apple.TextEdit", "com.apple.finder", "com.apple.Safari",
                "com.apple.calculator", "com.example.nothing"]
ANSWER_BOUND_S = 60  # beyond a script's own time-out
TICKS = os.sysconf("SC_CLK_TCK")


def pick(*choices):
    return random.choice(choices)


def junk():
    return pick(None, -1, 0, 2 ** 40, "", " ", "x" * 300, [], {}, True, 1.5, ["a", 1],
                {"k": [1, {"n": None}]}, "\u00e9\u0000\ud7ff")


class Desktop:
    """What the driver answered about the desktop, to build requests that hit real things."""

    def __init__(self):
        self.window_ids = [1, 217]
        self.paths = [["window"], []]
        self.subscriptions = ["nope"]
        self.pids = [1, 99999]

    def learn(self, answer):
        result = answer.get("result")
        if not isinstance(result, dict):
            return
        inner = result.get("result")
        if isinstance(inner, dict):
            for window in inner.get("windows", [])[:20]:
                if isinstance(window, dict) and "windowId" in window:
                    self.window_ids = (self.window_ids + [window["windowId"]])[-30:]
                if isinstance(window, dict) and "ownerPid" in window:
                    self.pids = (self.pids + [window["ownerPid"]])[-30:]
            for node in inner.get("elements", [])[:20]:
                if isinstance(node, dict) and isinstance(node.get("path"), list):
                    self.paths = (self.paths + [node["path"]])[-50:]
            tree = inner.get("tree") or inner.get("root")
            if isinstance(tree, dict) and isinstance(tree.get("path"), list):
                self.paths = (self.paths + [tree["path"]])[-50:]
            if "subscriptionId" in inner:
                self.subscriptions = (self.subscriptions + [inner["subscriptionId"]])[-20:]


def element_path(desktop):
    if random.random() < 0.8:
        return random.choice(desktop.paths)
    return pick(junk(), ["AXWindow[0]", "AXButton[99]"], ["\u0000"], ["x"] * 200)


def window_id(desktop):
    return random.choice(desktop.window_ids) if random.random() < 0.8 else junk()


def script_action():
    """A script and its time-out: (action, expected to run long)."""
    kind = random.random()
    if kind < 0.35:
        script = pick("echo ok", "printf 'caf\\303\\251'", "echo out; echo err >&2; exit 3",
                      "exit 0", "printf '\\377\\376 bad'", "echo $$")
        timeout = 5000
    elif kind < 0.6:
        script = "sleep %.2f; echo slept" % random.uniform(0.1, 3)
        timeout = pick(1000, 2000, 10000)
    elif kind < 0.7:
        script = pick("yes soak | head -c 9000000", "yes soak >&2 | head -c 100; exit 1",
                      "head -c 5000000 /dev/zero | tr '\\0' y; exit 2")
        timeout = 20000
    elif kind < 0.8:
        script = pick("trap '' TERM; sleep 30", "sleep 60 & sleep 60", "exec yes flood")
        timeout = pick(1000, 1500)
    else:
        script = pick(junk(), "   \n", "echo not run")
        timeout = junk()
    action = {"actionType": "desktop_run_applescript",
              "targetBundleId": "com.apple.TextEdit" if random.random() < 0.8
              else pick(*RUNNING_APPS) if random.random() < 0.5 else junk(),
              "script": script}
    if random.random() < 0.9:
        action["timeout"] = timeout
    return action


def action_request(desktop):
    kind = random.choice([
        "desktop_list_apps", "desktop_list_windows", "desktop_get_ui_tree",
        "desktop_find_elements", "desktop_invoke_element_action", "desktop_set_element_value",
        "desktop_subscribe_ui_events", "desktop_get_ui_events", "desktop_list_monitors",
        "desktop_capture_screen", "desktop_send_input", "desktop_no_such_action"])
    action = {"actionType": kind}
    if kind == "desktop_list_windows":
        action.update(random.choice([{}, {"appBundleId": pick(*RUNNING_APPS)},
                                     {"appPid": random.choice(desktop.pids)}, {"appPid": junk()}]))
    elif kind in ("desktop_get_ui_tree", "desktop_find_elements"):
        action["windowId"] = window_id(desktop)
        if random.random() < 0.5:
            action["maxDepth"] = pick(1, 3, 8, 50, -1, junk())
        if kind == "desktop_find_elements":
            action.update(random.choice([{"role": "AXButton"}, {"title": "OK"},
                                         {"identifier": junk()}, {"limit": pick(1, 5, -3)}]))
    elif kind in ("desktop_invoke_element_action", "desktop_set_element_value"):
        action["windowId"] = window_id(desktop)
        action["elementPath"] = element_path(desktop)
        if kind == "desktop_invoke_element_action":
            action["elementAction"] = pick("AXPress", "AXRaise", "AXShowMenu", junk())
        else:
            action["value"] = pick("soak text", "", "\u00e9" * 50, junk())
    elif kind == "desktop_subscribe_ui_events":
        action["eventTypes"] = pick(["focused_app_changed"], ["focused_pid_changed"], [],
                                    ["nonsense"], junk())
    elif kind == "desktop_get_ui_events":
        action["subscriptionId"] = random.choice(desktop.subscriptions)
        if random.random() < 0.5:
            action["cursor"] = pick(0, 1, 10 ** 12, -5, junk())
    elif kind == "desktop_capture_screen":
        action.update(random.choice([{}, {"windowId": window_id(desktop)},
                                     {"monitorId": pick(0, 1, 2, junk())}]))
    elif kind == "desktop_send_input":
        action["mode"] = pick("keystroke", "text", "mouse_click", "swipe", junk())
        action.update(random.choice([
            {"key": pick("a", "cmd+shift+z", "return", "cmd+q", "F13", "", junk())},
            {"text": pick("hello", "\u00e9\u4e2d", "", junk())},
            {"windowId": window_id(desktop), "x": pick(1, 10, 5000, -1, junk()),
             "y": pick(1, 10, 5000, junk()), "coordinateSpace": pick("window", "screen", junk()),
             "button": pick("left", "right", junk()),
             "screenshotWindowWidth": pick(400, 800, junk()),
             "screenshotWindowHeight": pick(300, 600, junk())}]))
    return action


def method_request(desktop):
    method = random.choice([
        "system.ping", "system.capabilities", "system.appState", "system.runningApps",
        "system.automationTargetInfo", "system.requestAutomationPermission", "app.launch",
        "permissions.status", "permissions.request", "permissions.openSettings",
        "automation.execute", "no.such.method"])
    params = {}
    if method in ("system.appState", "system.automationTargetInfo",
                  "system.requestAutomationPermission", "app.launch"):
        params["bundleId"] = pick(*RUNNING_APPS) if random.random() < 0.8 else junk()
        if method == "app.launch":
            params["waitForLaunchMs"] = pick(0, 200, 1000, junk())
    elif method == "permissions.status":
        params = random.choice([{}, {"targets": [{"kind": "accessibility"},
                                                 {"kind": "screen_capture"}]},
                                {"targets": [{"kind": "automation",
                                              "targetBundleId": pick(*RUNNING_APPS)}]},
                                {"targets": junk()}, {"grantProbe": pick("throttled", junk())}])
    elif method == "permissions.request":
        params["kind"] = pick("accessibility", "screen_capture", "listen_event", "post_event",
                              "automation", junk())
    elif method == "permissions.openSettings":
        params["target"] = pick("Privacy_ScreenCapture", "Privacy_Accessibility", junk())
    elif method == "automation.execute":
        params["action"] = action_request(desktop) if random.random() < 0.95 else junk()
    if random.random() < 0.05:
        params = junk()
    request = {"jsonrpc": "2.0", "method": method}
    if params != {}:
        request["params"] = params
    return request


class Soak:
    def __init__(self, binary, directory):
        self.directory = directory
        self.tmp = os.path.join(directory, "tmp")
        os.makedirs(self.tmp)
        scenarios = os.path.join(directory, "scenarios")
        os.makedirs(scenarios)
        # Relative bundle paths in the scenarios start at the scenario's directory.
        os.symlink(os.path.join(SOURCE, "examples", "bundles"), os.path.join(directory, "bundles"))
        for name in SCENARIOS:
            shutil.copy(os.path.join(SOURCE, "examples", "scenarios", name),
                        os.path.join(scenarios, "source-" + name))
        self.scenario = os.path.join(scenarios, "scenario.json")
        shutil.copy(os.path.join(scenarios, "source-default.json"), self.scenario)
        self.scenarios = scenarios
        env = dict(os.environ, TMPDIR=self.tmp, DORVEX_PLATFORM="sim",
                   DORVEX_SIM_SCENARIO=self.scenario)
        self.process = subprocess.Popen([binary], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        env=env, bufsize=0)
        self.lock = threading.Lock()
        self.expected = {}  # id -> [answers expected, deadline, sent at]
        self.answers = {}   # id -> answers seen
        self.unknown = []   # answers for ids never sent (or to lines that were not requests)
        self.latencies = []
        self.running_scripts = set()
        self.script_ids = set()
        self.script_outcomes = {}  # "ok" or the failure code -> count
        self.desktop = Desktop()
        self.next_id = 0
        self.failures = []
        self.reader = threading.Thread(target=self.read_answers, daemon=True)
        self.reader.start()

    def read_answers(self):
        buffer = b""
        while True:
            chunk = os.read(self.process.stdout.fileno(), 1 << 20)
            if not chunk:
                return
            buffer += chunk
            *whole, buffer = buffer.split(b"\n")
            for line in whole:
                self.on_answer(line)

    def on_answer(self, line):
        try:
            answer = json.loads(line)
        except ValueError:
            self.failures.append("a line that is not JSON: %r" % line[:200])
            return
        key = json.dumps(answer.get("id"))
        with self.lock:
            if key not in self.expected:
                self.unknown.append(line[:200])
                return
            seen = self.answers.setdefault(key, 0) + 1
            self.answers[key] = seen
            if key in self.script_ids:
                result = answer.get("result") or {}
                code = "ok" if result.get("ok") else (result.get("error") or {}).get("code")
                self.script_outcomes[code] = self.script_outcomes.get(code, 0) + 1
            if seen == self.expected[key][0]:
                self.latencies.append(time.monotonic() - self.expected[key][2])
                self.running_scripts.discard(key)
        self.desktop.learn(answer)

    def send(self, request, answers=1, bound=ANSWER_BOUND_S):
        key = json.dumps(request.get("id")) if "id" in request else None
        with self.lock:
            if key is not None and answers:
                entry = self.expected.setdefault(key, [0, 0, time.monotonic()])
                entry[0] += answers
                entry[1] = max(entry[1], time.monotonic() + bound)
        self.write(json.dumps(request))

    def write(self, line):
        self.process.stdin.write((line + "\n").encode())

    def new_id(self):
        self.next_id += 1
        return pick(str(self.next_id), "s-%d" % self.next_id, "\u00e9-%d" % self.next_id)

    def step(self, counts, only=None):
        roll = random.random()
        # To tell where a cost comes from: methods and actions only, or script runs and
        # cancels only.
        if only == "methods":
            roll *= 0.55
        elif only == "scripts":
            roll = 0.55 + roll * 0.32
        if roll < 0.55:
            request = method_request(self.desktop)
            request["id"] = self.new_id()
            self.send(request, bound=40)
            counts["methods"] += 1
        elif roll < 0.75:
            request_id = self.new_id()
            action = script_action()
            self.send({"jsonrpc": "2.0", "id": request_id, "method": "automation.execute",
                       "params": {"action": action}})
            with self.lock:
                self.running_scripts.add(json.dumps(request_id))
                self.script_ids.add(json.dumps(request_id))
            counts["scripts"] += 1
            if random.random() < 0.05:
                # The same id again while it may run: answered at once as already running,
                # or run again if the first was answered already: two answers either way.
                self.send({"jsonrpc": "2.0", "id": request_id, "method": "automation.execute",
                           "params": {"action": {"actionType": "desktop_run_applescript",
                                                 "targetBundleId": "com.apple.TextEdit",
                                                 "script": "echo again"}}})
                counts["duplicate_ids"] += 1
        elif roll < 0.87:
            with self.lock:
                running = list(self.running_scripts)
            target = json.loads(random.choice(running)) if running and random.random() < 0.8 \
                else pick("nothing", junk())
            params = {"requestId": target} if random.random() < 0.95 else junk()
            self.send({"jsonrpc": "2.0", "id": self.new_id(), "method": "automation.cancel",
                       "params": params})
            counts["cancels"] += 1
        elif roll < 0.89:
            # Mostly desktops where the scripts' target runs, so scripts do run.
            name = random.choice(SCENARIOS[:2] * 3 + SCENARIOS)
            staged = os.path.join(self.scenarios, "staged.json")
            shutil.copy(os.path.join(self.scenarios, "source-" + name), staged)
            if random.random() < 0.1:
                with open(staged, "w") as broken:
                    broken.write(pick("{", "[]", '{"apps": 5}', ""))
            os.rename(staged, self.scenario)
            counts["reloads"] += 1
        else:
            # None of these is a request (no string id, or no string method): never answered.
            self.write(pick("", "   ", "not json", "[]", "{}", '{"jsonrpc":"2.0"}', "7",
                            '{"id":1,"method":"system.ping"}', '{"id":"n","method":3}',
                            '{"id":null,"method":"system.ping"}', "\u00e9" * 100,
                            '{"id":"half","method":"system.ping"',
                            json.dumps({"jsonrpc": "2.0", "method": "system.ping"})))
            counts["non_requests"] += 1

    def status(self):
        fields = {}
        with open("/proc/%d/status" % self.process.pid) as status:
            for line in status:
                key, _, value = line.partition(":")
                fields[key] = value.strip()
        return fields

    def children(self):
        found = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open("/proc/%s/stat" % entry) as stat:
                    fields = stat.read().rsplit(")", 1)[1].split()
            except OSError:
                continue
            if int(fields[1]) == self.process.pid:
                found.append((int(entry), fields[0]))
        return found

    def overdue(self):
        now = time.monotonic()
        with self.lock:
            return [key for key, (want, deadline, _) in self.expected.items()
                    if self.answers.get(key, 0) < want and now > deadline]


def run(arguments):
    random.seed(arguments.seed)
    directory = tempfile.mkdtemp(prefix="dorvex-soak-")
    soak = Soak(arguments.binary, directory)
    counts = dict.fromkeys(["methods", "scripts", "cancels", "reloads", "non_requests",
                            "duplicate_ids"], 0)
    samples = []
    zombie_sightings = {}
    most_children = 0
    started = time.monotonic()
    end = started + arguments.minutes * 60
    next_sample = started
    interval = 1.0 / arguments.rate
    while time.monotonic() < end:
        if soak.process.poll() is not None:
            soak.failures.append("the driver ended with status %s" % soak.process.returncode)
            break
        # Keep the backlog small: requests are served one at a time.
        with soak.lock:
            pending = sum(1 for key, (want, _, _) in soak.expected.items()
                          if soak.answers.get(key, 0) < want) - len(soak.running_scripts)
        if pending > 50:
            time.sleep(0.01)
            continue
        soak.step(counts, arguments.only)
        if time.monotonic() >= next_sample:
            next_sample += 5
            samples.append((time.monotonic() - started, int(soak.status()["VmRSS"].split()[0])))
            children = soak.children()
            most_children = max(most_children, len(children))
            for pid, state in children:
                if state == "Z":
                    zombie_sightings[pid] = zombie_sightings.get(pid, 0) + 1
            late = soak.overdue()
            if late:
                soak.failures.append("unanswered past their bound: %s" % late[:10])
                break
        time.sleep(interval)
    soak_seconds = time.monotonic() - started

    # Let every run end (the longest script time-out is 20 s, plus the stop sequence).
    drain_deadline = time.monotonic() + 90
    while time.monotonic() < drain_deadline:
        with soak.lock:
            missing = [key for key, (want, _, _) in soak.expected.items()
                       if soak.answers.get(key, 0) < want]
        if not missing:
            break
        time.sleep(0.2)
    settle_deadline = time.monotonic() + 15
    while soak.children() and time.monotonic() < settle_deadline:
        time.sleep(0.2)
    children_left = soak.children()
    peak_kb = int(soak.status()["VmHWM"].split()[0])
    cpu = open("/proc/%d/stat" % soak.process.pid).read().rsplit(")", 1)[1].split()
    cpu_seconds = (int(cpu[11]) + int(cpu[12])) / TICKS
    soak.process.stdin.close()
    try:
        status = soak.process.wait(timeout=30)
    except subprocess.TimeoutExpired:
        soak.process.kill()
        status = "did not end"
    soak.reader.join(timeout=5)

    with soak.lock:
        requests = len(soak.expected)
        unanswered = [k for k, (want, _, _) in soak.expected.items()
                      if soak.answers.get(k, 0) < want]
        over = [k for k, (want, _, _) in soak.expected.items() if soak.answers.get(k, 0) > want]
    leftovers = [name for name in os.listdir(soak.tmp) if name.startswith("nubo-script-")]
    rss = [kb / 1024 for _, kb in samples]
    fifth = max(1, len(rss) // 5)
    early = rss[fifth:2 * fifth] or rss
    late_rss = rss[-fifth:]
    lasting_zombies = [pid for pid, seen in zombie_sightings.items() if seen > 1]

    checks = {
        "every request answered": not unanswered,
        "none answered twice": not over and not soak.unknown,
        "exit status 0": status == 0,
        "no lasting zombie": not lasting_zombies,
        "no child left": not children_left,
        "no script file left": not leftovers,
        # Runs that keep 4 MiB of output come and go, so single samples swing by tens of
        # megabytes; a leak shows as a floor that keeps rising: the lowest sample of the last
        # fifth above the highest of the second fifth.
        "memory flat (late floor not above early ceiling)":
            bool(rss) and min(late_rss) <= max(early),
    }
    figures = {
        "seed": arguments.seed, "soak_seconds": round(soak_seconds, 1),
        "requests": requests, **counts,
        "answers": sum(soak.answers.values()),
        "script_answers": dict(sorted(soak.script_outcomes.items(), key=str)),
        "median_answer_ms": round(statistics.median(soak.latencies) * 1000, 1)
        if soak.latencies else None,
        "most_children_at_once": most_children,
        "rss_mb_second_fifth": [round(min(early), 1), round(statistics.median(early), 1),
                                round(max(early), 1)] if rss else None,
        "rss_mb_last_fifth": [round(min(late_rss), 1), round(statistics.median(late_rss), 1),
                              round(max(late_rss), 1)] if rss else None,
        "rss_mb_peak": round(peak_kb / 1024, 1),
        "rss_mb_every_30s": [round(mb, 1) for mb in rss[::6]], "driver_cpu_seconds": round(cpu_seconds, 1),
        "exit_status": status, "unanswered": unanswered[:10], "answered_too_often": over[:10],
        "answers_to_unknown_ids": soak.unknown[:5], "zombies_seen_twice": lasting_zombies[:10],
        "children_left": children_left[:10], "script_files_left": leftovers[:10],
        "failures": soak.failures, "checks": checks,
    }
    shutil.rmtree(directory, ignore_errors=True)
    return figures


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--binary", default="build/dorvex")
    parser.add_argument("--minutes", type=float, default=5)
    parser.add_argument("--seed", type=int, default=12)
    parser.add_argument("--rate", type=float, default=200, help="requests per second at most")
    parser.add_argument("--only", choices=["methods", "scripts"],
                        help="restrict the mix (to tell where a cost comes from)")
    figures = run(parser.parse_args())
    print(json.dumps(figures, indent=2))
    ok = all(figures["checks"].values()) and not figures["failures"]
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
