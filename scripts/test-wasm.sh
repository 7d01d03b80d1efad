#!/usr/bin/env bash
# CI stage of the WebAssembly build: builds the native listpool-sim (preset
# default) and the wasm preset's targets, then runs the wasm preset's checks:
# its listpool-sim under Node.js against the native one, and the lab page.
#
#   scripts/test-wasm.sh [CTEST ARGUMENTS...]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh chromium chromium-driver python3-selenium npm:axe-core@4.14.1
cmake --preset default >/dev/null
nice -n 10 cmake --build --preset default --target listpool-sim
scripts/build-wasm.sh
NODE_PATH=/usr/share/nodejs ctest --preset wasm "$@"
