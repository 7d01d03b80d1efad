#!/usr/bin/env bash
# Makes docs/lab.html, the lab's page, with the WebAssembly build
# (scripts/build-wasm.sh, build-wasm/sim/lab/lab.html), and the levels'
# list it holds (sim/lab/levels.json, from the native build's
# listpool-levels), or checks that the page is current:
#
#   scripts/make-lab.sh                # builds the page and copies it to docs/
#   scripts/make-lab.sh --check [PAGE] # fails if docs/lab.html is not PAGE
#
# docs/lab.png, the README's picture of it, comes from its browser check:
#   tests/wasm/lab_page_test.py docs/lab.html build/sim/listpool-sim \
#     build-npm/node_modules/axe-core/axe.min.js docs/lab.png
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = --check ]; then
  page=${2:-build-wasm/sim/lab/lab.html}
  if ! cmp -s "$page" docs/lab.html; then
    echo "docs/lab.html is not what the build makes now: run scripts/make-lab.sh" >&2
    exit 1
  fi
  echo "docs/lab.html is current"
  exit 0
fi
# The levels' list with their pars, found by the native search.
cmake --preset default >/dev/null
cmake --build --preset default --target listpool-levels >/dev/null
build/sim/listpool-levels >sim/lab/levels.json
scripts/build-wasm.sh lab-page
cp build-wasm/sim/lab/lab.html docs/lab.html
echo "made docs/lab.html"
