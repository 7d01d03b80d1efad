#!/usr/bin/env bash
# Builds the benchmarks and runs each once, briefly, so they keep working.
# No timing decides anything here.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${LISTPOOL_BENCH_BUILD:-$root/build-bench}
"$root/scripts/deps.sh" libbenchmark-dev
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLISTPOOL_TESTS=OFF \
  -DLISTPOOL_BENCHMARKS=ON >/dev/null
cmake --build "$build"
"$build/bench/listpool_bench" --benchmark_min_time=0.001
"$build/bench/bulk_limit" 100 >/dev/null
echo "benchmarks: built and run once"
