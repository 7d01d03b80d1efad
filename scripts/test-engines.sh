#!/usr/bin/env bash
# CI stage: the lab (docs/lab.html) in the other engines learners use, beside
# the browser stages' Chromium: Firefox ESR, driven over WebDriver BiDi by
# puppeteer-core (pinned, from npm, into build-npm/firefox/; it downloads no
# browser), and WebKitGTK's MiniBrowser under a virtual X display, driven by
# python3-selenium (tests/wasm/lab_engines.py), each against the native
# listpool-sim.
#
#   scripts/test-engines.sh [firefox|webkit]...
set -euo pipefail
cd "$(dirname "$0")/.."
engines=("$@")
[ $# -gt 0 ] || engines=(firefox webkit)
scripts/deps.sh firefox-esr webkit2gtk-driver xvfb xauth python3-selenium
LISTPOOL_NPM_ROOT=$PWD/build-npm/firefox scripts/deps.sh npm:puppeteer-core@26.1.0
cmake --preset default >/dev/null
nice -n 10 cmake --build --preset default --target listpool-sim
for engine in "${engines[@]}"; do
  echo "the lab in $engine"
  case $engine in
  firefox) /usr/bin/python3 tests/wasm/lab_engines.py firefox docs/lab.html \
             build/sim/listpool-sim build-npm/firefox ;;
  webkit) xvfb-run -a /usr/bin/python3 tests/wasm/lab_engines.py webkit docs/lab.html \
            build/sim/listpool-sim ;;
  *) echo "test-engines.sh: no engine $engine" >&2; exit 2 ;;
  esac
done
