#!/usr/bin/env bash
# Runs listpool on this terminal as scripts/run.sh does and keeps what is
# typed, each line with the time it was typed, as a session that
# build/sim/listpool-sim replays (scripts/record.py says how).
#
#   scripts/record.sh [--svg PICTURE] SESSION
#
# --svg PICTURE also draws the session in virtual time once the program has
# ended, as the README's picture is drawn. Standard input may be a terminal
# or a pipe. LISTPOOL and LISTPOOL_SIM name the program and the simulator
# to use instead of building them in build/.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
picture=
if [ "${1:-}" = --svg ] && [ $# -ge 2 ]; then
  picture=$2
  shift 2
fi
if [ $# -ne 1 ]; then
  echo "usage: scripts/record.sh [--svg PICTURE] SESSION" >&2
  exit 2
fi
session=$1
program=${LISTPOOL:-}
sim=${LISTPOOL_SIM:-}
if [ -z "$program" ] || { [ -n "$picture" ] && [ -z "$sim" ]; }; then
  # Built quietly: what the terminal shows from here on is the program's.
  (
    cd "$here/.."
    scripts/deps.sh
    cmake --preset default >/dev/null
    log=$(mktemp)
    trap 'rm -f "$log"' EXIT
    cmake --build --preset default --target listpool listpool-sim >"$log" 2>&1 || {
      cat "$log" >&2
      exit 1
    }
  )
  program=${program:-$here/../build/listpool}
  sim=${sim:-$here/../build/sim/listpool-sim}
fi
status=0
python3 "$here/record.py" "$session" "$program" || status=$?
if [ -n "$picture" ]; then
  # Nothing but the program's own bytes on standard error, unless drawing fails.
  rm -f "$picture"
  said=$(mktemp)
  "$sim" --svg "$picture" "$session" >/dev/null 2>"$said" || true
  if [ ! -s "$picture" ]; then
    cat "$said" >&2
    echo "record.sh: could not draw $picture" >&2
    rm -f "$said"
    exit 1
  fi
  rm -f "$said"
fi
# Only a person at the terminal is told; a pipe gets the program's bytes alone.
if [ -t 2 ]; then
  printf '\nrecorded %s\n' "$session${picture:+, drew $picture}" >&2
fi
exit "$status"
