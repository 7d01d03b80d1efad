#!/usr/bin/env bash
# Checks that the harness runs a case once more only when its launcher (wine)
# died of a signal, only once, and only for a launcher that may die so:
# launcher_retry_test.sh PROGRAM.
set -u
here=$(cd "$(dirname "$0")" && pwd)
stand_in=$(dirname "$here")/wine/stand_in_wine.sh
program=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

# expect OUTCOMES RESULT RUNS [CASE ARGS...]: with the stand-in for wine
# ending its runs as OUTCOMES says (see stand_in_wine.sh), the case (a short one,
# unless given) must end with RESULT (0 or 1) after RUNS runs of it.
expect() {
  rm -f "$work/runs"
  local result=0
  local -a case=("${@:4}")
  [ ${#case[@]} -gt 0 ] || case=(failed-read-first-integer)
  RUNS=$work/runs OUTCOMES=$1 python3 "$here/listpool_e2e.py" --program "$program" \
    --launcher "$stand_in" "${may_die[@]}" "${case[@]}" >"$work/out" 2>"$work/err" || result=$?
  local runs
  runs=$(cat "$work/runs")
  if [ "$result" -ne "$2" ] || [ "$runs" -ne "$3" ]; then
    echo "FAIL: ${case[*]}, outcomes '$1': result $result after $runs runs, expected $2 after $3" >&2
    cat "$work/out" "$work/err" >&2
    failed=1
  fi
}

may_die=(--launcher-may-die)
expect "" 0 1
expect "segv" 0 2   # wine died once: the second run counts
grep -q "the launcher died of signal 11" "$work/err" ||
  { echo "FAIL: no word of the signal on standard error" >&2; failed=1; }
expect "segv segv" 1 2   # and only once
expect "5" 1 1      # a program's own crash ends with a status: not run again
# The random inputs, one at a time: each input may run once more.
expect "segv" 0 2 --seed 1 --random-count 1 random-input
expect "segv segv" 1 2 --seed 1 --random-count 1 random-input
# Under a launcher that never dies of its own (qemu), its signal is the
# program's crash: no second run.
may_die=()
expect "segv" 1 1
exit "$failed"
