#!/usr/bin/env bash
# Builds and runs the whole test suite. The argument picks the build:
# default (plain), tsan (ThreadSanitizer) or asan (AddressSanitizer and
# UndefinedBehaviorSanitizer).
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-default}
# relacy for the memory-model check; Chromium and selenium for the pages' check.
scripts/deps.sh relacy-dev chromium chromium-driver python3-selenium
cmake --preset "$preset"
cmake --build --preset "$preset"
ctest --preset "$preset"
