#!/usr/bin/env bash
# Checks run.sh with a stand-in loader: it runs again only a loader killed by
# a signal, and only once; every other status passes through unchanged.
set -u
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

# expect OUTCOMES STATUS RUNS: with the stand-in ending its runs as OUTCOMES
# says, run.sh must end with STATUS after RUNS runs.
expect() {
  rm -f "$work/runs"
  local status=0
  RUNS=$work/runs OUTCOMES=$1 "$here/run.sh" "$here/stand_in_wine.sh" test.exe \
    >"$work/out" 2>"$work/err" || status=$?
  local runs
  runs=$(cat "$work/runs")
  if [ "$status" -ne "$2" ] || [ "$runs" -ne "$3" ]; then
    echo "FAIL: outcomes '$1': status $status after $runs runs, expected $2 after $3" >&2
    cat "$work/out" "$work/err" >&2
    failed=1
  fi
}

expect "0" 0 1
expect "1" 1 1
expect "5" 5 1       # the program's own access violation: not run again
expect "segv 0" 0 2  # wine died once: the second run counts
expect "segv 3" 3 2
expect "segv segv 0" 139 2
grep -q "killed by signal 11: .*test.exe" "$work/err" ||
  { echo "FAIL: no word of the signal on standard error" >&2; failed=1; }
exit "$failed"
