#!/usr/bin/env python3
"""The state search restoring copies of runs against replaying each pending
step from a run's start, in one run of this script, alternated: wall time
and peak resident memory (medians of several runs), states per second and
steps per transition. The ten workers also in the WebAssembly build under
Node.js, where one has been built (scripts/build-wasm.sh). Usage:
bench/search.py [BUILD] [RUNS] [WASM_BUILD]"""
import os
import re
import statistics
import subprocess
import sys
import tempfile

here = os.path.dirname(os.path.abspath(__file__))
subprocess.run([os.path.join(here, "..", "scripts", "deps.sh"), "spin", "gcc"], check=True,
               stdout=subprocess.DEVNULL)
build = sys.argv[1] if len(sys.argv) > 1 else "build"
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
wasm = os.path.join(sys.argv[3] if len(sys.argv) > 3 else "build-wasm", "sim", "listpool-sim.js")
ten = "i 1 2 -1\ng\ng\np\nF 2\ng\np\nF 9\ng\np\nF 1\nf\nd 2\nq\n"
with tempfile.NamedTemporaryFile("w", suffix=".session", delete=False) as f:
    f.write(ten)
command = [f"{build}/sim/listpool-sim", "--every-schedule", f.name]
guard = [f"{build}/tests/sim/listpool_sim_tests", "--gtest_filter=GuardSearchLargeTest.*"]
figures = re.compile(r"states ([\d,]+), transitions ([\d,]+), runs [\d,]+, steps ([\d,]+)")


def once(command, replay):
    env = dict(os.environ)
    env.pop("LISTPOOL_SEARCH_REPLAY", None)
    if replay:
        env["LISTPOOL_SEARCH_REPLAY"] = "1"
    out = subprocess.run(["/usr/bin/time", "-f", "%e %M"] + command, env=env,
                         capture_output=True, text=True, check=True)
    wall, rss = out.stderr.strip().splitlines()[-1].split()
    found = figures.search(out.stdout)
    states, transitions, steps = (int(g.replace(",", "")) for g in found.groups())
    return float(wall), int(rss) / 1024, states, transitions, steps


print("| scene | search | wall (median) | peak memory (median) | states/s | steps/transition |")
print("|---|---|---|---|---|---|")
results = {True: [], False: []}
for _ in range(runs):
    for replay in (True, False):
        results[replay].append(once(command, replay))
for replay in (True, False):
    rows = results[replay]
    wall = statistics.median(r[0] for r in rows)
    rss = statistics.median(r[1] for r in rows)
    states, transitions, steps = rows[0][2:]
    print(f"| ten workers, --every-schedule | {'replaying' if replay else 'restoring'} | "
          f"{wall:.2f} s | {rss:.1f} MB | {states / wall:,.0f} | {steps / transitions:.1f} |")
if os.path.exists(wasm):
    # Restoring only: a WebAssembly program does not see the environment that
    # would tell it to replay.
    node = ["node", "--no-experimental-fetch", wasm, "--every-schedule", f.name]
    rows = [once(node, False) for _ in range(runs)]
    wall = statistics.median(r[0] for r in rows)
    rss = statistics.median(r[1] for r in rows)
    states, transitions, steps = rows[0][2:]
    print(f"| ten workers, WebAssembly under Node.js | restoring | {wall:.2f} s | {rss:.1f} MB | "
          f"{states / wall:,.0f} | {steps / transitions:.1f} |")
# The guard's test searches its scene both ways and prints each one's time.
timed = re.compile(r"(replaying: )?.*states ([\d,]+), transitions ([\d,]+), runs [\d,]+, "
                   r"steps ([\d,]+) in ([\d.]+) s")
walls = {True: [], False: []}
counts = {}
for _ in range(runs):
    out = subprocess.run(guard, capture_output=True, text=True, check=True).stdout
    for found in timed.finditer(out):
        replay = found.group(1) is not None
        states, transitions, steps = (int(g.replace(",", "")) for g in found.groups()[1:4])
        walls[replay].append(float(found.group(5)))
        counts[replay] = (states, transitions, steps)
for replay in (True, False):
    wall = statistics.median(walls[replay])
    states, transitions, steps = counts[replay]
    print(f"| guard, 3 rounds each | {'replaying' if replay else 'restoring'} | {wall:.2f} s | "
          f"(one process) | {states / wall:,.0f} | {steps / transitions:.1f} |")
os.unlink(f.name)

# The same guard, two rounds each, beside spin on its model (model/guard.pml,
# the events as POSIX builds them): states per second of each, in this run.
two = [f"{build}/tests/sim/listpool_sim_tests",
       "--gtest_filter=GuardSearchTest.EveryStateKeepsWritersAloneAndEveryRunEnds"]
ours = []
for _ in range(runs):
    out = subprocess.run(two, capture_output=True, text=True, check=True).stdout
    found = next(f for f in timed.finditer(out) if f.group(1) is None)
    ours.append((int(found.group(2).replace(",", "")), float(found.group(5))))
model = os.path.join(here, "..", "model", "guard.pml")
with tempfile.TemporaryDirectory() as work:
    subprocess.run(["spin", "-a", "-DKERNEL_EVENTS=0", "-DREAD_ROUNDS=2", "-DWRITE_ROUNDS=2",
                    os.path.abspath(model)], cwd=work, check=True, capture_output=True)
    subprocess.run(["gcc", "-O2", "-w", "-DSAFETY", "-o", "pan", "pan.c"], cwd=work, check=True)
    spins = []
    for _ in range(runs):
        out = subprocess.run(["./pan", "-m1000000"], cwd=work, capture_output=True,
                             text=True).stdout
        states = float(re.search(r"([\d.e+]+) states, stored", out).group(1))
        seconds = float(re.search(r"elapsed time ([\d.e+-]+) seconds", out).group(1))
        spins.append((states, seconds))
print()
print("| guard, 2 rounds each | states | time (median) | states/s |")
print("|---|---|---|---|")
for name, rows in (("the simulator, restoring", ours), ("spin on the model", spins)):
    seconds = statistics.median(r[1] for r in rows)
    print(f"| {name} | {rows[0][0]:,.0f} | {seconds:.3f} s | "
          f"{rows[0][0] / max(seconds, 1e-3):,.0f} |")
