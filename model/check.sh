#!/usr/bin/env bash
# Checks the guard's model (model/guard.pml) exhaustively with spin: the
# sequences as built must pass every check, and each sequence without one of
# its two fixes must fail the check that fix is for, which shows the checks
# can fail. Prints the figures of every run.
#
#   model/check.sh                 run every check
#   model/check.sh --trails DIR    also write each counterexample, replayed by
#                                  spin, to DIR/NAME.txt
#
# Exit status: 0 when every run gave its expected verdict, 1 when one did not,
# 2 when a search could not be completed or a tool failed.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
trails=""
if [ "${1:-}" = "--trails" ]; then
  mkdir -p "$2"
  trails=$(cd "$2" && pwd)
fi

"$here/../scripts/deps.sh" spin gcc

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$here/guard.pml" "$work/"
cd "$work"

runs=0
failures=0

# check NAME EXPECT KIND SPIN_DEFINES...
#   EXPECT: pass or fail.
#   KIND: safety  assertions and invalid end states.
#         reach   the same, and a run that passes must also reach every
#                 statement of the model (finite rounds only).
#         cycles  acceptance cycles of the ltl formula picked by PROPERTY,
#                 over every run.
#         fair    the same over the weakly fair runs only (pan -f).
check() {
  local name=$1 expect=$2 kind=$3
  shift 3
  rm -f pan pan.* ./*.trail
  spin -a "$@" guard.pml >spin.out 2>&1 || {
    cat spin.out
    exit 2
  }
  local cflags=(-O2 -w) panflags=(-m1000000)
  case $kind in
    safety | reach) cflags+=(-DSAFETY) ;;
    cycles) panflags+=(-a) ;;
    fair) cflags+=(-DNFAIR=3) panflags+=(-a -f) ;;
  esac
  gcc "${cflags[@]}" -o pan pan.c
  local start
  start=$(date +%s%N)
  timeout 600 ./pan "${panflags[@]}" >pan.out 2>&1 || {
    cat pan.out
    exit 2
  }
  local ms=$((($(date +%s%N) - start) / 1000000))
  # An error ends the search early by design; anything else that cuts it
  # short leaves a verdict that proves nothing.
  if grep -qiE 'depth too small|MEMLIM|out of memory|NFAIR' pan.out ||
    { grep -q 'errors: 0' pan.out && grep -qi 'search not completed' pan.out; }; then
    echo "$name: the search was not exhaustive"
    cat pan.out
    exit 2
  fi
  local errors states transitions depth
  errors=$(sed -nE 's/.*errors: ([0-9]+).*/\1/p' pan.out)
  states=$(sed -nE 's/^ *([0-9.e+]+) states, stored.*/\1/p' pan.out)
  transitions=$(sed -nE 's/^ *([0-9.e+]+) transitions.*/\1/p' pan.out)
  depth=$(sed -nE 's/.*depth reached ([0-9]+).*/\1/p' pan.out)
  if [ -z "$errors" ] || [ -z "$states" ]; then
    cat pan.out
    exit 2
  fi
  local got=pass found=""
  if [ "$errors" -ne 0 ]; then
    got=fail
    found="  [$(sed -nE 's/^pan:1: (.*) \(at depth.*/\1/p' pan.out | head -1)]"
  fi
  local status=ok
  if [ "$got" != "$expect" ]; then
    status=UNEXPECTED
  elif [ "$kind" = reach ] && [ "$got" = pass ] &&
    grep -E '^[[:space:]]*\([0-9]+ of [0-9]+ states\)' pan.out | grep -qvE '\(0 of '; then
    # A statement no run reaches is checked by nothing: a step the model
    # cannot take is as much a fault as a step the code cannot take.
    status=UNREACHED
  fi
  runs=$((runs + 1))
  printf '%-46s expected %-4s got %-4s %-9s states %9s  transitions %9s  depth %5s %6d ms%s\n' \
    "$name" "$expect" "$got" "$status" "$states" "$transitions" "$depth" "$ms" "$found"
  if [ "$status" != ok ]; then
    failures=$((failures + 1))
    sed -nE '/^pan:1:|^unreached|^[[:space:]]+guard.pml:/p' pan.out
  fi
  if [ -n "$trails" ] && [ "$got" = fail ]; then
    spin -t -p -g "$@" guard.pml >"$trails/$name.txt" 2>&1 || true
  fi
}

for events in posix kernel; do
  e=-DKERNEL_EVENTS=0
  [ "$events" = posix ] || e=-DKERNEL_EVENTS=1
  # The sequences as built.
  check "built.$events.safety.rounds2" pass reach "$e" -DREAD_ROUNDS=2 -DWRITE_ROUNDS=2
  check "built.$events.safety.forever" pass safety "$e" -DREAD_ROUNDS=0 -DWRITE_ROUNDS=0
  check "built.$events.finish.rounds2" pass cycles "$e" -DREAD_ROUNDS=2 -DWRITE_ROUNDS=2 \
    -DPROPERTY=1
  check "built.$events.writers-enter" pass fair "$e" -DREAD_ROUNDS=0 -DWRITE_ROUNDS=3 -DPROPERTY=2
  check "built.$events.readers-pass-gate" pass fair "$e" -DREAD_ROUNDS=0 -DWRITE_ROUNDS=3 \
    -DPROPERTY=3
  # Without the re-check of readerCount: a reader inside with the writer.
  check "no-window-fix.$events.safety" fail safety "$e" -DWINDOW_FIX=0 -DREAD_ROUNDS=1 \
    -DWRITE_ROUNDS=1
  # Without the second gate reset: still exclusive, but overlapping readers
  # keep a queued writer out.
  check "no-regate.$events.safety.forever" pass safety "$e" -DREGATE=0 -DREAD_ROUNDS=0 \
    -DWRITE_ROUNDS=0
  check "no-regate.$events.writers-enter" fail fair "$e" -DREGATE=0 -DREAD_ROUNDS=0 \
    -DWRITE_ROUNDS=2 -DPROPERTY=2
done
# The price of preferring writers: while writers keep coming, a reader can
# wait at the gate for ever (posix events: it can miss the short time between
# one writer's SetEvent and the next writer's reset).
check "built.posix.readers-pass-gate.writes-forever" fail fair -DKERNEL_EVENTS=0 -DREAD_ROUNDS=0 \
  -DWRITE_ROUNDS=0 -DPROPERTY=3
# Kernel events release every waiter at SetEvent, so there the readers get
# past the gate, and wait at countMutex instead.
check "built.kernel.readers-pass-gate.writes-forever" pass fair -DKERNEL_EVENTS=1 -DREAD_ROUNDS=0 \
  -DWRITE_ROUNDS=0 -DPROPERTY=3

if ((failures)); then
  echo "model check: $runs runs, $failures unexpected"
  exit 1
fi
echo "model check: $runs runs, all as expected"
