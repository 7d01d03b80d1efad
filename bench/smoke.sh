#!/usr/bin/env bash
# Keeps the benchmarks working: builds them, runs each benchmark once for a
# moment, and checks that the bulk-insert limit program still writes exactly
# what the program writes. No timing decides the result.
#
#   bench/smoke.sh [BUILD_DIR]
#
# BUILD_DIR (default: $LISTPOOL_BENCH_BUILD, or else build-bench/) gets a
# Release build.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=$(realpath -m "${1:-${LISTPOOL_BENCH_BUILD:-$root/build-bench}}")

"$root/scripts/deps.sh" libbenchmark-dev
(cd "$root" && cmake --preset bench -B "$build" >/dev/null)
cmake --build "$build" --target listpool listpool_bench bulk_limit sim_bench

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# libbenchmark 1.7 takes the minimum time as a plain number of seconds.
"$build/bench/listpool_bench" --benchmark_min_time=0.001 --benchmark_format=json \
    >"$work/micro.json"
# A benchmark that checks its own result reports a failure as an error.
python3 - "$work/micro.json" <<'EOF'
import json, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
failed = [run["name"] for run in runs if run.get("error_occurred")]
for run in runs:
    print("ran", run["name"], "" if not run.get("error_occurred") else "ERROR " + run["error_message"])
if not runs or failed:
    sys.exit("benchmarks failed: %s" % (", ".join(failed) or "none ran"))
EOF

"$build/bench/sim_bench" --benchmark_min_time=0.001

cd "$work"
{
    echo i
    seq 1 1000
    echo -1
    echo q
} >bulk.in
"$build/listpool" <bulk.in >bulk.out 2>/dev/null
"$build/bench/bulk_limit" 1000 >limit.out
cmp bulk.out limit.out
echo "bulk_limit writes what the program writes"
