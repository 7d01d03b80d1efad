#!/usr/bin/env bash
# Makes the explorer pages in docs/: the guard's, with the test-side program
# that holds the broken guards (tests/sim/guard_pages.cpp), and the README's
# example session's, with listpool-sim --explore.
#
#   scripts/draw-explore.sh [GUARD_PAGES [LISTPOOL_SIM]]           # remakes them
#   scripts/draw-explore.sh --check [GUARD_PAGES [LISTPOOL_SIM]]   # fails if one is stale
#
# The programs are build/tests/sim/guard-pages and build/sim/listpool-sim if
# none are given.
set -euo pipefail
cd "$(dirname "$0")/.."
check=false
if [ "${1:-}" = --check ]; then
  check=true
  shift
fi
guard_pages=${1:-build/tests/sim/guard-pages}
sim=${2:-build/sim/listpool-sim}
pages=(explore-guard.html explore-guard-without-recheck.html
       explore-guard-without-second-reset.html explore-example.html)
make() {
  "$guard_pages" "$1"
  "$sim" --explore "$1/explore-example.html" docs/example.session
}
if ! $check; then
  make docs
  printf 'made docs/%s\n' "${pages[@]}"
  exit 0
fi
made=$(mktemp -d)
trap 'rm -rf "$made"' EXIT
make "$made"
stale=0
for page in "${pages[@]}"; do
  if ! cmp -s "$made/$page" "docs/$page"; then
    echo "docs/$page is not what the programs make now: run scripts/draw-explore.sh" >&2
    stale=1
  fi
done
[ $stale = 0 ] && echo "the explorer pages are current"
exit $stale
