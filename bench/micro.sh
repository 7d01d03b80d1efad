#!/usr/bin/env bash
# Runs the micro-benchmarks with repetitions and prints their medians with the
# ratios the guard is held to, and counts the system calls of Lock on a
# signalled event.
#
#   bench/micro.sh [BUILD_DIR]
#
# BUILD_DIR (default: $LISTPOOL_BENCH_BUILD, or else build-bench/) gets a
# Release build. REPETITIONS (default 10) may be set in the environment.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=$(realpath -m "${1:-${LISTPOOL_BENCH_BUILD:-$root/build-bench}}")
repetitions=${REPETITIONS:-10}

"$root/scripts/deps.sh" libbenchmark-dev strace >/dev/null
(cd "$root" && cmake --preset bench -B "$build" >/dev/null)
cmake --build "$build" --target listpool_bench >/dev/null
bench=$build/bench/listpool_bench

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$bench" --benchmark_repetitions="$repetitions" --benchmark_report_aggregates_only=true \
    --benchmark_format=json >"$work/micro.json"

# System calls made by the whole benchmark process for a short and for a
# long run of Lock on a signalled event, leaving out the clock reads by which
# the library times its batches: a Lock that made a call of its own, or
# waited on a mutex (futex), would show as a count that grows with the run.
syscalls() {
    strace -f -c -o "$work/strace.txt" "$bench" --benchmark_filter='^EventLockSignalled' \
        --benchmark_min_time="$1" >/dev/null 2>&1
    awk '$NF == "total" {total = $(NF-2)} $NF == "clock_gettime" {clock = $(NF-1)}
         $NF == "futex" {futex = $(NF-1)}
         END {printf "%d calls (%d futex)", total - clock, futex}' "$work/strace.txt"
}
short=$(syscalls 0.01)
long=$(syscalls 1)

python3 - "$work/micro.json" "$short" "$long" <<'EOF'
import json, sys

runs = json.load(open(sys.argv[1]))["benchmarks"]
median = {}
for run in runs:
    if run.get("aggregate_name") == "median":
        median[run["run_name"].replace("/real_time", "")] = run

def ns(name):
    return median[name]["real_time"]  # all in ns but the scanner's

print("%-44s %12s %12s" % ("benchmark (median of repetitions)", "real ns", "CPU ns"))
to_ns = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}
for name, run in median.items():
    scale = to_ns[run["time_unit"]]
    line = "%-44s %12.2f %12.2f" % (name, run["real_time"] * scale, run["cpu_time"] * scale)
    if "bytes_per_second" in run:
        line += "   %.0f MB/s" % (run["bytes_per_second"] / 1e6)
    print(line)
print()
print("%-48s %8s %8s" % ("ratio of real times", "value", "target"))
def ratio(what, a, b, target):
    value = ns(a) / ns(b)
    print("%-48s %8.2f %8s  %s" % (what, value, "<= %.1f" % target,
                                    "met" if value <= target else "MISSED"))
for kind in ("Read", "Write"):
    ratio("guard %s pair / shared_mutex, 1 thread" % kind.lower(),
          "Guard%sPair/threads:1" % kind, "SharedMutex%sPair/threads:1" % kind, 2.5)
    ratio("guard %s pair / shared_mutex, 2 threads" % kind.lower(),
          "Guard%sPair/threads:2" % kind, "SharedMutex%sPair/threads:2" % kind, 2.5)
    ratio("guard %s pair / floor (two std::mutex pairs)" % kind.lower(),
          "Guard%sPair/threads:1" % kind, "FloorTwoMutexPairs", 1.3)
    ratio("guard %s pair / contended floor, 2 threads" % kind.lower(),
          "Guard%sPair/threads:2" % kind, "ContendedFloorTwoPairs/threads:2", 1.3)
# With two threads on two cores the CPU time is about twice the real time;
# much less means the threads took turns on one core, so that their pairs
# hardly contended and the 2-thread ratios say little.
alone = ["%s (%.2f)" % (name, run["cpu_time"] / run["real_time"])
         for name, run in median.items()
         if name.endswith("threads:2") and run["cpu_time"] < 1.7 * run["real_time"]]
if alone:
    print()
    print("2-thread runs with CPU time under 1.7 times real time (another job held a core;")
    print("run again on a quiet machine): " + ", ".join(alone))
print()
print("system calls of the whole process around Lock on a signalled event:")
print("  %s in a 0.01 s run, %s in a 1 s run" % (sys.argv[2], sys.argv[3]))
EOF
