#!/usr/bin/env bash
# Builds the WebAssembly targets (preset wasm, build-wasm/) with Debian's
# emscripten, which it installs through scripts/deps.sh:
#
#   scripts/build-wasm.sh [TARGET...]     # listpool-sim and the lab page if none
#
# emcc's optimiser runs under Node.js and finds Debian's acorn only on
# NODE_PATH=/usr/share/nodejs.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh emscripten nodejs
export NODE_PATH=/usr/share/nodejs
targets=("$@")
((${#targets[@]})) || targets=(listpool-sim lab-page)
cmake --preset wasm >/dev/null
nice -n 10 cmake --build --preset wasm --target "${targets[@]}"
