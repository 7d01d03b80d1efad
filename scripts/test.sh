#!/usr/bin/env bash
# Builds and runs the whole test suite. The argument picks the build:
# default (plain), tsan (ThreadSanitizer) or asan (AddressSanitizer and
# UndefinedBehaviorSanitizer).
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-default}
# relacy for the memory-model check. (The pages' check in Chromium is a
# stage of its own: scripts/test-browser.sh.)
scripts/deps.sh relacy-dev
cmake --preset "$preset"
cmake --build --preset "$preset"
ctest --preset "$preset"
