#!/usr/bin/env python3
"""What script runs cost the driver: memory, threads and CPU while many runs sleep, and memory
while one runs away with its output.

Drives the built binary on the default simulated desktop (its interpreter is /bin/sh) through
pipes and reads the driver's figures from /proc. Usage:

  bench/script_load.py [--binary build/dorvex] concurrent --runs 1000 [--idle-seconds 10]
  bench/script_load.py [--binary build/dorvex] runaway --timeout-ms 300000

`concurrent` starts that many scripts that sleep, waits until every one is running, samples
the driver (resident memory, threads, CPU time over the idle window), then cancels them all and
checks that each is answered "cancelled" once. `runaway` starts one script that prints without
end (`yes`) with the given time-out, samples the driver's resident memory every 0.5 s until the
answer comes, and reports the peak, the answer's code and when it came.
"""

import argparse
import json
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time

RUNNING_APP = "com.apple.TextEdit"  # running on the default simulated desktop
TICKS = os.sysconf("SC_CLK_TCK")


class Driver:
    def __init__(self, binary):
        self.directory = tempfile.mkdtemp(prefix="dorvex-script-load-")
        env = dict(os.environ, TMPDIR=self.directory, DORVEX_PLATFORM="sim")
        self.process = subprocess.Popen([binary], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        env=env, bufsize=0)
        self.buffer = b""

    def send(self, request):
        self.process.stdin.write((json.dumps(request) + "\n").encode())

    def run_script(self, request_id, script, timeout_ms):
        self.send({"jsonrpc": "2.0", "id": request_id, "method": "automation.execute",
                   "params": {"action": {"actionType": "desktop_run_applescript",
                                         "targetBundleId": RUNNING_APP, "script": script,
                                         "timeout": timeout_ms}}})

    def read_lines(self, wait_seconds):
        """Every whole line that arrives within the wait."""
        lines = []
        deadline = time.monotonic() + wait_seconds
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                break
            ready, _, _ = select.select([self.process.stdout], [], [], left)
            if not ready:
                break
            chunk = os.read(self.process.stdout.fileno(), 1 << 20)
            if not chunk:
                break
            self.buffer += chunk
            *whole, self.buffer = self.buffer.split(b"\n")
            lines.extend(json.loads(line) for line in whole)
            if lines:
                break
        return lines

    def status(self):
        fields = {}
        with open(f"/proc/{self.process.pid}/status") as status:
            for line in status:
                key, _, value = line.partition(":")
                fields[key] = value.strip()
        return fields

    def rss_mb(self):
        return int(self.status()["VmRSS"].split()[0]) / 1024

    def peak_rss_mb(self):
        return int(self.status()["VmHWM"].split()[0]) / 1024

    def threads(self):
        return int(self.status()["Threads"])

    def cpu_seconds(self):
        with open(f"/proc/{self.process.pid}/stat") as stat:
            fields = stat.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / TICKS

    def children(self):
        found = 0
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open(f"/proc/{entry}/stat") as stat:
                    fields = stat.read().rsplit(")", 1)[1].split()
            except OSError:
                continue
            if int(fields[1]) == self.process.pid:
                found += 1
        return found

    def close(self):
        self.process.stdin.close()
        self.process.wait(timeout=30)
        shutil.rmtree(self.directory, ignore_errors=True)


def concurrent(driver, runs, idle_seconds):
    baseline = {"rss_mb": driver.rss_mb(), "threads": driver.threads()}
    started = time.monotonic()
    for index in range(runs):
        driver.run_script(f"run-{index}", "exec sleep 600", 300000)
    while (running := driver.children()) < runs:
        if time.monotonic() - started > 300:
            # Still measured: the figures then say how many ran.
            print(f"only {running} of {runs} scripts started", file=sys.stderr)
            break
        time.sleep(0.5)
    start_seconds = time.monotonic() - started
    time.sleep(1)
    cpu_before = driver.cpu_seconds()
    time.sleep(idle_seconds)
    idle_cpu = driver.cpu_seconds() - cpu_before
    loaded = {"rss_mb": driver.rss_mb(), "threads": driver.threads()}
    for index in range(runs):
        driver.send({"jsonrpc": "2.0", "id": f"cancel-{index}", "method": "automation.cancel",
                     "params": {"requestId": f"run-{index}"}})
    answers = {}
    deadline = time.monotonic() + 60
    while len(answers) < 2 * runs and time.monotonic() < deadline:
        for line in driver.read_lines(5):
            answers.setdefault(line["id"], []).append(line)
    cancelled = sum(1 for index in range(runs)
                    if [a["result"]["error"]["code"] for a in answers.get(f"run-{index}", [])]
                    == ["cancelled"])
    return {"runs": runs, "running_when_sampled": running,
            "seconds_to_start_all": round(start_seconds, 2),
            "baseline": baseline, "with_runs": loaded, "peak_rss_mb": driver.peak_rss_mb(),
            "idle_window_seconds": idle_seconds, "idle_cpu_seconds": round(idle_cpu, 3),
            "answered_cancelled_once": cancelled}


def runaway(driver, timeout_ms):
    baseline = driver.rss_mb()
    started = time.monotonic()
    driver.run_script("runaway", "exec yes runaway-output", timeout_ms)
    peak = baseline
    answer = None
    while answer is None:
        lines = driver.read_lines(0.5)
        peak = max(peak, driver.rss_mb())
        if lines:
            answer = lines[0]
        if time.monotonic() - started > timeout_ms / 1000 + 60:
            break
    result = (answer or {}).get("result", {})
    return {"timeout_ms": timeout_ms, "baseline_rss_mb": round(baseline, 1),
            "peak_rss_mb_sampled": round(peak, 1), "peak_rss_mb": driver.peak_rss_mb(),
            "answered_after_seconds": round(time.monotonic() - started, 2),
            "code": result.get("error", {}).get("code"),
            "answer_bytes": len(json.dumps(answer)) if answer else 0}


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--binary", default="build/dorvex")
    commands = parser.add_subparsers(dest="command", required=True)
    many = commands.add_parser("concurrent")
    many.add_argument("--runs", type=int, default=1000)
    many.add_argument("--idle-seconds", type=float, default=10)
    flood = commands.add_parser("runaway")
    flood.add_argument("--timeout-ms", type=int, default=300000)
    arguments = parser.parse_args()

    driver = Driver(arguments.binary)
    try:
        if arguments.command == "concurrent":
            figures = concurrent(driver, arguments.runs, arguments.idle_seconds)
        else:
            figures = runaway(driver, arguments.timeout_ms)
    finally:
        driver.close()
    print(json.dumps(figures, indent=2))


if __name__ == "__main__":
    main()
