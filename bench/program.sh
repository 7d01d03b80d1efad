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
    python3 "$here/hyperfine_field.py" "$2" "$1"*.json
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

python3 "$here/program_table.py" "$count" "$(field bulk_null 0)" "$(field bulk_null 1)" "$(field bulk_pipe 0)" \
    "$(field bulk_pipe 1)" "$(field idle 0)" "$(field quit 0)" \
    "$rss_bulk_null $rss_bulk_pipe $rss_idle $rss_quit $rss_limit" "$timeline" \
    "$reads $writes $limit_writes $(stat -c %s bulk.in)"
