#!/usr/bin/env bash
# Draws how each broken guard fails, for docs/GUARD.md, with the test-side
# program that replays the guard search's schedules (tests/sim/guard_pictures.cpp):
# docs/guard-without-recheck.svg and docs/guard-without-second-reset.svg.
#
#   scripts/draw-guard.sh [GUARD_PICTURES]           # redraws them
#   scripts/draw-guard.sh --check [GUARD_PICTURES]   # fails if one is stale
#
# GUARD_PICTURES is the program, build/tests/sim/guard-pictures if none.
set -euo pipefail
cd "$(dirname "$0")/.."
check=false
if [ "${1:-}" = --check ]; then
  check=true
  shift
fi
drawer=${1:-build/tests/sim/guard-pictures}
pictures=(guard-without-recheck.svg guard-without-second-reset.svg)
if ! $check; then
  "$drawer" docs
  printf 'drew docs/%s\n' "${pictures[@]}"
  exit 0
fi
drawn=$(mktemp -d)
trap 'rm -rf "$drawn"' EXIT
"$drawer" "$drawn"
stale=0
for picture in "${pictures[@]}"; do
  if ! cmp -s "$drawn/$picture" "docs/$picture"; then
    diff "docs/$picture" "$drawn/$picture" | head -20 || true
    echo "docs/$picture is not what $drawer draws now: run scripts/draw-guard.sh" >&2
    stale=1
  fi
done
[ $stale = 0 ] && echo "the guard's pictures are current"
exit $stale
