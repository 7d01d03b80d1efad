#!/usr/bin/env bash
# Whole-program benchmark: times the built program from outside with public
# tools only (hyperfine for wall and CPU time, /usr/bin/time -v for peak
# resident memory, bench/timeline.py for the workers' completion lines) and
# prints one table, each figure beside what it is compared with.
#
#   bench/program.sh [BUILD_DIR]
#
# BUILD_DIR (default: $LISTPOOL_BENCH_BUILD, or else build-bench/) gets a
# Release build. COUNT (the integers of the bulk insert, default 1000000),
# RUNS (hyperfine runs of each case, default 10), ROUNDS (of the bulk cases,
# default 3) and SESSIONS (timeline sessions, default 5) may be set in the
# environment. Takes about eight
# minutes, most of it in the fixed pauses and in strace.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=$(realpath -m "${1:-${LISTPOOL_BENCH_BUILD:-$root/build-bench}}")
count=${COUNT:-1000000}
runs=${RUNS:-10}
rounds=${ROUNDS:-3}
sessions=${SESSIONS:-5}

"$root/scripts/deps.sh" libbenchmark-dev hyperfine time strace >/dev/null
(cd "$root" && cmake --preset bench -B "$build" >/dev/null)
cmake --build "$build" --target listpool bulk_limit >/dev/null
program=$build/listpool
limit=$build/bench/bulk_limit

# The program writes its log files into the current folder.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
{
    echo i
    seq 1 "$count"
    echo -1
    echo q
} >bulk.in
printf 'p\nq\n' >idle.in
printf 'q\n' >quit.in

# The limit must write exactly what the program writes, or it proves nothing.
"$program" <bulk.in >bulk.out 2>/dev/null
"$limit" "$count" >limit.out
cmp -s bulk.out limit.out || {
    echo "bulk_limit does not write what the program writes" >&2
    exit 1
}

# hyperfine NAME OPTIONS... COMMAND...: JSON export in NAME.json.
bench() {
    local name=$1
    shift
    hyperfine --style none --export-json "$name.json" "$@" >/dev/null 2>&1
}
# field NAME INDEX: "median_ms cpu_ms" of the INDEX-th command over every
# NAME*.json, CPU time being the mean user plus system time.
field() {
    python3 - "$2" "$1"*.json <<'EOF'
import json, statistics, sys
results = [json.load(open(f))["results"][int(sys.argv[1])] for f in sys.argv[2:]]
times = [t for r in results for t in r["times"]]
cpu = sum((r["user"] + r["system"]) * len(r["times"]) for r in results) / len(times)
print("%.1f %.1f" % (statistics.median(times) * 1000, cpu * 1000))
EOF
}
# rss COMMAND: peak resident memory in KiB of the program run by the shell
# command, whose /usr/bin/time -v report goes to rss.txt.
rss() {
    bash -c "$1" >/dev/null 2>&1
    awk -F': ' '/Maximum resident set size/ {print $2}' rss.txt
}
tv="/usr/bin/time -v -o rss.txt"

# The bulk cases run in rounds, the program and the limit taking turns, so
# that a change in what else the machine does falls on both alike.
for round in $(seq "$rounds"); do
    bench "bulk_null_$round" --output=null --warmup 1 --runs "$runs" \
        "exec $program <bulk.in" "exec $limit $count"
    bench "bulk_pipe_$round" --output=pipe --warmup 1 --runs "$runs" \
        "exec $program <bulk.in" "exec $limit $count"
done
bench idle --output=null --runs 3 "exec $program <idle.in"
bench quit --output=null --warmup 2 --runs $((runs * 2)) "exec $program <quit.in"

rss_bulk_null=$(rss "$tv $program <bulk.in >/dev/null")
rss_bulk_pipe=$(rss "$tv $program <bulk.in | cat >/dev/null")
rss_limit=$(rss "$tv $limit $count | cat >/dev/null")
rss_idle=$(rss "$tv $program <idle.in >/dev/null")
rss_quit=$(rss "$tv $program <quit.in >/dev/null")

# calls COMMAND...: "reads writes", the read(2) and write(2) calls the command
# makes on the bulk input.
calls() {
    strace -f -c -o strace.txt -e trace=read,write "$@" >/dev/null 2>&1 <bulk.in
    awk '$NF == "read" {reads = $(NF-1)} $NF == "write" {writes = $(NF-1)}
         END {print reads + 0, writes + 0}' strace.txt
}
read -r reads writes <<<"$(calls "$program")"
read -r _ limit_writes <<<"$(calls "$limit" "$count")"

timeline=$(python3 "$here/timeline.py" "$program" "$sessions")

python3 - "$count" "$(field bulk_null 0)" "$(field bulk_null 1)" "$(field bulk_pipe 0)" \
    "$(field bulk_pipe 1)" "$(field idle 0)" "$(field quit 0)" \
    "$rss_bulk_null $rss_bulk_pipe $rss_idle $rss_quit $rss_limit" "$timeline" \
    "$reads $writes $limit_writes $(stat -c %s bulk.in)" <<'EOF'
import sys

count = int(sys.argv[1])
def pair(text):
    wall, cpu = text.split()
    return float(wall), float(cpu)
null, null_limit, pipe, pipe_limit, idle, quit = (pair(a) for a in sys.argv[2:8])
rss = [int(v) for v in sys.argv[8].split()]
timeline = [line.split() for line in sys.argv[9].splitlines()]
reads, writes, limit_writes, input_bytes = (int(v) for v in sys.argv[10].split())

# The console's own pauses: 200 ms after i and after q, and after q alone.
PAUSES_BULK = 400.0
PAUSE_QUIT = 200.0
rows = []
def row(what, value, compared, ratio, target, met):
    rows.append((what, value, compared, ratio, target, "met" if met else "MISSED"))

for name, (wall, cpu), (lwall, lcpu) in (("/dev/null", null, null_limit), ("pipe", pipe, pipe_limit)):
    beyond = wall - PAUSES_BULK
    row("bulk insert of %d to %s: wall less the 400 ms of pauses" % (count, name),
        "%.0f ms (wall %.0f ms)" % (beyond, wall), "limit wall %.0f ms" % lwall,
        "%.2f" % (beyond / lwall), "<= 1.25", beyond / lwall <= 1.25)
    row("bulk insert of %d to %s: CPU time" % (count, name), "%.0f ms" % cpu,
        "limit CPU %.0f ms" % lcpu, "%.2f" % (cpu / lcpu), "<= 1.25", cpu / lcpu <= 1.25)
row("bulk insert: read(2) and write(2) calls", "%d reads, %d writes" % (reads, writes),
    "%.1f MB of input; limit %d writes" % (input_bytes / 1e6, limit_writes),
    "%.0f bytes a read" % (input_bytes / reads), "blocks, not characters",
    reads * 1000 < input_bytes)
row("idle, p then q: CPU time", "%.1f ms" % idle[1], "wall %.2f s" % (idle[0] / 1000), "",
    "<= 10 ms", idle[1] <= 10)
row("q alone: wall", "%.1f ms" % quit[0], "%.1f ms beyond the 200 ms pause" % (quit[0] - PAUSE_QUIT),
    "", "< 5 ms", quit[0] < 5)
for what, kib in zip(("bulk to /dev/null", "bulk to a pipe", "idle", "q alone"), rss):
    row("peak resident memory, %s" % what, "%.2f MiB" % (kib / 1024),
        "limit program %.2f MiB" % (rss[4] / 1024), "", "< 4 MiB", kib < 4096)
for name, nominal, median, worst, *_ in timeline:
    row("%s: completion line, late against %s s" % (name, nominal),
        "median %s ms, worst %s ms" % (median, worst), "%d sessions" % len(_), "",
        "<= 2 ms, <= 10 ms", float(median) <= 2 and float(worst) <= 10)

headers = ("measure", "value", "compared with", "ratio", "target", "")
widths = [max(len(str(r[i])) for r in rows + [headers]) for i in range(len(headers))]
def line(cells):
    return "| " + " | ".join(str(c).ljust(w) for c, w in zip(cells, widths)) + " |"
print(line(headers))
print("|" + "|".join("-" * (w + 2) for w in widths) + "|")
for r in rows:
    print(line(r))
EOF
