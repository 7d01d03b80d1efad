#!/usr/bin/env bash
# Checks the guard's model exhaustively with spin: the sequences as built must
# pass every check, and each sequence without one of its two fixes must fail
# the check that fix is for, which shows the checks can fail.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
"$here/../scripts/deps.sh" spin gcc
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$here/guard.pml" "$work/"
cd "$work"

failures=0
# check NAME EXPECT(pass|fail) PAN_FLAGS GCC_FLAGS SPIN_DEFINES...
check() {
    local name=$1 expect=$2 panFlags=$3 gccFlags=$4
    shift 4
    spin -a "$@" guard.pml >/dev/null
    # shellcheck disable=SC2086
    gcc -O2 $gccFlags -o pan pan.c
    # shellcheck disable=SC2086
    local out
    out=$(./pan -m2000000 $panFlags 2>&1 || true)
    local errors
    errors=$(sed -n 's/.*errors: \([0-9]*\).*/\1/p' <<<"$out")
    local stored transitions depth
    stored=$(sed -n 's/^ *\([0-9e.+]*\) states, stored.*/\1/p' <<<"$out")
    transitions=$(sed -n 's/^ *\([0-9e.+]*\) transitions.*/\1/p' <<<"$out")
    depth=$(sed -n 's/.*depth reached \([0-9]*\).*/\1/p' <<<"$out")
    local got=pass
    [ "${errors:-1}" = 0 ] || got=fail
    if grep -q 'max search depth too small' <<<"$out"; then
        got=incomplete
    fi
    printf '%-44s expected %-4s got %-10s states %-8s transitions %-8s depth %s\n' \
        "$name" "$expect" "$got" "${stored:-?}" "${transitions:-?}" "${depth:-?}"
    if [ "$got" != "$expect" ]; then
        failures=$((failures + 1))
        grep -E 'assertion|acceptance|invalid end' <<<"$out" || true
    fi
    rm -f pan pan.* guard.pml.trail
}

safety="-DSAFETY"
live="-DNFAIR=3"
check "as built: exclusion, no deadlock"        pass ""     "$safety"
check "as built: every process finishes"        pass "-a"   ""       -DPROPERTY=1
check "as built: writers get in (weak fairness)" pass "-a -f" "$live" -DPROPERTY=2 -DREAD_ROUNDS=0
check "kernel events: exclusion, no deadlock"   pass ""     "$safety" -DKERNEL_EVENTS=1
check "kernel events: writers get in"           pass "-a -f" "$live" -DPROPERTY=2 -DREAD_ROUNDS=0 -DKERNEL_EVENTS=1
check "no window fix: exclusion must fail"      fail ""     "$safety" -DWINDOW_FIX=0
check "no gate re-reset: writers must starve"   fail "-a -f" "$live" -DPROPERTY=2 -DREAD_ROUNDS=0 -DREGATE=0
if ((failures)); then
    echo "model check: $failures unexpected result(s)"
    exit 1
fi
echo "model check: all results as expected"
