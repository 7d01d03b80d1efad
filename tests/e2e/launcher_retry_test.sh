#!/usr/bin/env bash
# Checks that the harness runs a case once more only when its launcher died
# of a signal, and only once: launcher_retry_test.sh PROGRAM.
set -u
here=$(cd "$(dirname "$0")" && pwd)
program=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

# Stands in for wine: counts its runs, dies of SIGSEGV on the first
# $CRASHES of them, then runs the program and ends with $STATUS (the
# program's own status if unset).
cat >"$work/launcher" <<'LAUNCHER'
#!/usr/bin/env bash
runs=$(($(cat "$COUNT" 2>/dev/null || echo 0) + 1))
echo "$runs" >"$COUNT"
if [ "$runs" -le "$CRASHES" ]; then kill -SEGV $$; fi
"$@"
status=$?
exit "${STATUS:-$status}"
LAUNCHER
chmod +x "$work/launcher"

# expect CRASHES STATUS RESULT RUNS [CASE ARGS...]: the case (delete unless
# given) must end with RESULT (0 or 1) after RUNS runs of the launcher.
expect() {
  rm -f "$work/count"
  local result=0
  local -a case=("${@:5}")
  [ ${#case[@]} -gt 0 ] || case=(delete)
  COUNT=$work/count CRASHES=$1 STATUS=$2 python3 "$here/listpool_e2e.py" --program "$program" \
    --launcher "$work/launcher" "${case[@]}" >"$work/out" 2>"$work/err" || result=$?
  local runs
  runs=$(cat "$work/count")
  if [ "$result" -ne "$3" ] || [ "$runs" -ne "$4" ]; then
    echo "FAIL: ${case[*]}, crashes $1, status '$2': result $result after $runs runs, expected $3 after $4" >&2
    cat "$work/out" "$work/err" >&2
    failed=1
  fi
}

expect 0 "" 0 1
expect 1 "" 0 2   # wine died once: the second run counts
grep -q "the launcher died of signal 11" "$work/err" ||
  { echo "FAIL: no word of the signal on standard error" >&2; failed=1; }
expect 2 "" 1 2   # and only once
expect 0 5 1 1    # a program's own crash ends with a status: not run again
# The random inputs, one at a time: each input may run once more.
expect 1 "" 0 2 --seed 1 --random-count 1 random-input
expect 2 "" 1 2 --seed 1 --random-count 1 random-input
exit "$failed"
