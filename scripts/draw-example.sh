#!/usr/bin/env bash
# Draws the README's example session (docs/example.session) in virtual time
# as docs/example-timeline.svg.
#
#   scripts/draw-example.sh [LISTPOOL_SIM]           # redraws the picture
#   scripts/draw-example.sh --check [LISTPOOL_SIM]   # fails if it is stale
#
# LISTPOOL_SIM is the simulator to draw with, build/sim/listpool-sim if none.
set -euo pipefail
cd "$(dirname "$0")/.."
check=false
if [ "${1:-}" = --check ]; then
  check=true
  shift
fi
sim=${1:-build/sim/listpool-sim}
picture=docs/example-timeline.svg
if ! $check; then
  "$sim" --svg "$picture" docs/example.session > /dev/null
  echo "drew $picture"
  exit 0
fi
drawn=$(mktemp)
trap 'rm -f "$drawn"' EXIT
"$sim" --svg "$drawn" docs/example.session > /dev/null
if ! cmp -s "$drawn" "$picture"; then
  diff "$picture" "$drawn" | head -20 || true
  echo "$picture is not what the simulator draws now: run scripts/draw-example.sh" >&2
  exit 1
fi
echo "$picture is current"
