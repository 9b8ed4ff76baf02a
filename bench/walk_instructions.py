#!/usr/bin/env python3
"""Instructions and CPU time per node of the element walks, the driver's share apart from the
simulated desktop's.

The machine the benchmarks run on is shared, so CPU seconds swing with its load; instruction
counts do not. For each walk this runs build/bench/walk_instructions once under callgrind,
collecting only the measured run, and splits its instructions at the platform boundary: the
simulated desktop's share is the inclusive cost of every call the driver makes into a function
of dorvex::platform::sim (the boundary's virtual calls, and the release of the element handles
it hands out); everything else is the driver's (handlers, walks, verdicts, the answer's
encoding). It then runs the same walk natively several times and takes the least CPU time of
one run, the run least disturbed by other work: that run's instructions divided by its time
give this machine's instructions per second on this very code, which turns each share into
microseconds.

    bench/walk_instructions.py [--build DIR | --binary PATH ...] [--runs N] [walk ...]
    (walks: tree search matches lookup; default all). Several --binary (builds of the same
    program against different code) are measured one after the other, walk by walk, so their
    figures come from one run.
"""

import argparse
import os
import re
import subprocess
import sys
import tempfile

SIM = "dorvex::platform::sim::"
WALKS = {
    "tree": '"desktop_get_ui_tree", maxDepth 20, per node',
    "search": '"desktop_find_elements", every element visited, per element',
    "matches": '"desktop_find_elements", 100 matches, per match',
    "lookup": "lookup by path (invoke on 100 leaves), per path element",
}


def parse_callgrind(path):
    """Total instructions, and the inclusive instructions of calls from functions outside the
    simulated desktop into it. Also names the functions outside it that both it and the driver
    call and that call into it, where the split could count twice."""
    names = {}
    total = 0
    into_sim = 0
    fn = None
    pending_call = None  # callee name while the next cost line is a call's inclusive cost
    callee = None
    called_by_sim = set()
    calls_sim = set()

    def name_of(spec):
        m = re.match(r"\((\d+)\)(?: (.*))?", spec)
        if not m:
            return spec
        if m.group(2) is not None:
            names[m.group(1)] = m.group(2)
        return names.get(m.group(1), spec)

    with open(path) as f:
        for line in f:
            line = line.rstrip("\n")
            if not line:
                continue
            if line.startswith("fn="):
                fn = name_of(line[3:])
                continue
            if line.startswith("cfn="):
                callee = name_of(line[4:])
                continue
            if line.startswith("calls="):
                pending_call = callee
                continue
            if line[0] in "0123456789+-*":
                parts = line.split()
                if len(parts) < 2:
                    continue
                cost = int(parts[1])
                if pending_call is not None:
                    caller_sim = SIM in fn
                    callee_sim = SIM in pending_call
                    if callee_sim and not caller_sim:
                        into_sim += cost
                        calls_sim.add(fn)
                    if caller_sim and not callee_sim:
                        called_by_sim.add(pending_call)
                    pending_call = None
                else:
                    total += cost
                continue
            # fl=, fi=, fe=, cfi=, cfl=, ob=, cob=, headers: nothing to count
    return total, into_sim, sorted(called_by_sim & calls_sim)


def callgrind(binary, walk):
    with tempfile.TemporaryDirectory() as directory:
        out = os.path.join(directory, "callgrind.out")
        subprocess.run(
            ["valgrind", "--tool=callgrind", "--callgrind-out-file=" + out,
             "--collect-atstart=no", "--toggle-collect=*measuredWalks*", binary, walk, "1"],
            check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return parse_callgrind(out)


def native(binary, walk, runs):
    result = subprocess.run([binary, walk, str(runs)], check=True, capture_output=True,
                            text=True).stdout
    figures = dict(line.split() for line in result.splitlines())
    return int(figures["nodes"]), float(figures["least_cpu_seconds"])


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default="build")
    parser.add_argument("--runs", type=int, default=30)
    parser.add_argument("--binary", action="append",
                        help="a walk_instructions to measure (default: the build's)")
    parser.add_argument("walks", nargs="*", default=list(WALKS))
    args = parser.parse_args()
    binaries = args.binary or [os.path.join(args.build, "bench", "walk_instructions")]
    print("| Walk | build | instr./node driver | instr./node sim | Ginstr./s | µs/node driver "
          "| µs/node sim | least CPU µs/node |")
    print("|---|---|---|---|---|---|---|---|")
    for walk in args.walks:
        for binary in binaries:
            total, sim, doubtful = callgrind(binary, walk)
            nodes, least = native(binary, walk, args.runs)
            rate = total / least
            driver = total - sim
            print(f"| {WALKS[walk]} | {binary} | {driver / nodes:,.0f} | {sim / nodes:,.0f} | "
                  f"{rate / 1e9:.2f} | {driver / nodes / rate * 1e6:.2f} | "
                  f"{sim / nodes / rate * 1e6:.2f} | {least / nodes * 1e6:.2f} |", flush=True)
            if doubtful:
                print(f"  (called from both sides and calling into the desktop: "
                      f"{', '.join(doubtful)[:300]})", file=sys.stderr)


if __name__ == "__main__":
    main()
