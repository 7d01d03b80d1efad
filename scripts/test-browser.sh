#!/usr/bin/env bash
# CI stage of the explorer pages: the pages in docs/ opened in Debian's
# Chromium, headless (label browser, kept out of the plain suite for its
# minute of wall time), on the plain build that scripts/test.sh made.
#
#   scripts/test-browser.sh [CTEST ARGUMENTS...]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh chromium chromium-driver python3-selenium npm:axe-core@4.14.1
cmake --preset default >/dev/null
nice -n 10 cmake --build --preset default
ctest --preset browser "$@"
