#!/usr/bin/env bash
# Builds the program with clang's thread-safety analysis, its warnings as
# errors: who holds which CMutex, and readerCount touched only under
# countMutex. The tests are left out: they reach into the guard on purpose.
# The build folder is build-thread-safety/ unless LISTPOOL_TSA_BUILD names
# another.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${LISTPOOL_TSA_BUILD:-$root/build-thread-safety}

"$root/scripts/deps.sh" clang
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DLISTPOOL_TESTS=OFF \
  -DCMAKE_CXX_FLAGS="-Wthread-safety" >/dev/null
cmake --build "$build"
echo "thread-safety analysis: clean"
