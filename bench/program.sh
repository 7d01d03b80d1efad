#!/usr/bin/env bash
# Whole-program figures: bulk insert against the minimal program that writes
# the same lines, idle CPU while a print runs, start-up and exit, peak memory,
# and how late the workers' completion lines arrive. Uses the Release build
# of bench/smoke.sh (build-bench/ unless LISTPOOL_BENCH_BUILD names another).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${LISTPOOL_BENCH_BUILD:-$root/build-bench}
"$root/scripts/deps.sh" libbenchmark-dev time python3
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLISTPOOL_TESTS=OFF \
  -DLISTPOOL_BENCHMARKS=ON >/dev/null
cmake --build "$build" >/dev/null
program=$build/listpool
limit=$build/bench/bulk_limit
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

python3 -c "import sys; sys.stdout.write('i ' + ' '.join(map(str, range(1, 1000001))) + ' -1\nq\n')" >bulk.in
printf 'p\nq\n' >idle.in
printf 'q\n' >quit.in

# measure NAME COMMAND...: wall, user and system time, peak resident memory.
measure() {
  local name=$1
  shift
  /usr/bin/time -f "$name|%e|%U|%S|%M" "$@" 2>>times.txt >/dev/null || true
}
echo "| run | wall s | user s | system s | peak KiB |"
echo "|---|---|---|---|---|"
for _ in 1 2 3; do
  measure "bulk insert to /dev/null" sh -c "'$program' <bulk.in >/dev/null"
  measure "bulk insert to a pipe" sh -c "'$program' <bulk.in | cat >/dev/null"
  measure "limit program to /dev/null" sh -c "'$limit' 1000000 >/dev/null"
  measure "limit program to a pipe" sh -c "'$limit' 1000000 | cat >/dev/null"
done
measure "p then q (idle)" sh -c "'$program' <idle.in 2>/dev/null"
measure "q alone" sh -c "'$program' <quit.in"
grep -v '^Command' times.txt | sed 's/|/ | /g; s/^/| /; s/$/ |/'
# /usr/bin/time measures the shell too; the peak memory of the program alone:
/usr/bin/time -f "| listpool alone, bulk insert | | | | %M |" "$program" <bulk.in 2>&1 >/dev/null | tail -1

# Completion lines: seconds from the command to its line on standard error.
python3 - "$program" <<'PY'
import subprocess, sys, time, threading
program = sys.argv[1]
for command, nominal in (("p", 5.0), ("F 1", 2.0), ("g", 8.0)):
    proc = subprocess.Popen([program], stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE)
    start = time.monotonic()
    proc.stdin.write((command + "\n").encode()); proc.stdin.flush()
    proc.stderr.readline()
    late = (time.monotonic() - start - nominal) * 1000
    proc.stdin.write(b"q\n"); proc.stdin.close(); proc.wait()
    print(f"| {command} completion line | nominal {nominal:.0f} s | late by {late:.1f} ms |")
PY
